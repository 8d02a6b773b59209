#pragma once
// A history in time order, so that the record at a time is found by binary search (the readout
// under the cursor over a million records). Every history a recorder wrote is in order already
// and is searched in place; only one whose times go back (a damaged or hand-made file) gets an
// index, sorted stably, so that of records with equal times the later in the list stays the later.
// Only the records the whole history counts (core/record_window.h) take part.

#include "core/record_window.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace veldrin {

class TimeOrder {
public:
    TimeOrder() = default; // an empty history
    // One pass over the records; the index is made only for a history out of order.
    explicit TimeOrder(const std::vector<HistoryRecord>& records);

    std::size_t size() const { return size_; }
    // The list index of the record at `position` in time order.
    std::size_t record(std::size_t position) const {
        return index_.empty() ? position : index_[position];
    }

    // Of the records `window` holds, the one nearest in time to `time` (a time the window spans);
    // of two equally near the later. None when the window holds none. `records` are those the
    // order was made from.
    std::optional<std::size_t> nearest(const std::vector<HistoryRecord>& records,
                                       const RecordWindow& window, double time) const;

private:
    std::size_t size_ = 0;
    std::vector<std::size_t> index_;
};

} // namespace veldrin
