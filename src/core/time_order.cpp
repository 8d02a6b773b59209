#include "core/time_order.h"

#include <algorithm>

namespace veldrin {
namespace {

bool inOrder(const std::vector<HistoryRecord>& records, const RecordWindow& counted) {
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!counted.holds(records[i]) ||
            (i > 0 && records[i].timeValue < records[i - 1].timeValue)) {
            return false;
        }
    }
    return true;
}

} // namespace

TimeOrder::TimeOrder(const std::vector<HistoryRecord>& records) {
    const RecordWindow counted = RecordWindow::wholeHistory();
    if (inOrder(records, counted)) {
        size_ = records.size();
        return;
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (counted.holds(records[i])) {
            index_.push_back(i);
        }
    }
    std::stable_sort(index_.begin(), index_.end(), [&records](std::size_t a, std::size_t b) {
        return records[a].timeValue < records[b].timeValue;
    });
    size_ = index_.size();
}

// The window's records are one stretch of the order: those before it come first (earlier than
// any time the window holds), those after it last.
std::optional<std::size_t> TimeOrder::nearest(const std::vector<HistoryRecord>& records,
                                              const RecordWindow& window, double time) const {
    const auto at = [&](std::size_t position) -> const HistoryRecord& {
        return records[record(position)];
    };
    // The first position of the range [first, last) where `before` stops holding.
    const auto partition = [](std::size_t first, std::size_t last, const auto& before) {
        while (first < last) {
            const std::size_t middle = first + (last - first) / 2;
            if (before(middle)) {
                first = middle + 1;
            } else {
                last = middle;
            }
        }
        return first;
    };
    const std::size_t first = partition(
        0, size_, [&](std::size_t p) { return !window.holds(at(p)) && at(p).timeValue < time; });
    const std::size_t last =
        partition(first, size_, [&](std::size_t p) { return window.holds(at(p)); });
    if (first == last) {
        return std::nullopt;
    }
    const std::size_t next =
        partition(first, last, [&](std::size_t p) { return at(p).timeValue < time; });
    if (next == last) {
        return record(last - 1);
    }
    // The later of several records at the time of the one that follows.
    const double later = at(next).timeValue;
    const std::size_t after =
        partition(next, last, [&](std::size_t p) { return at(p).timeValue <= later; }) - 1;
    if (next > first && time - at(next - 1).timeValue < later - time) {
        return record(next - 1);
    }
    return record(after);
}

} // namespace veldrin
