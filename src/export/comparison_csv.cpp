#include "export/comparison_csv.h"

#include "core/export_file.h"
#include "core/record_window.h"
#include "export/record_list.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>

namespace veldrin {
namespace {

// The records of one series that the window holds, in time order. A list already in order (every
// history the recorder wrote) is walked in place; only one whose times go back is sorted, as
// (second, index) pairs, stably, so that the later record of a second stays the later one.
class SeriesCursor {
public:
    SeriesCursor(const RecordList& records, const RecordWindow& window)
        : records_(records), window_(window) {
        ordered_ = inOrder();
        if (!ordered_) {
            for (std::size_t i = 0; i < records.size(); ++i) {
                if (window.holds(records[i])) {
                    sorted_.emplace_back(secondOf(i), i);
                }
            }
            std::stable_sort(sorted_.begin(), sorted_.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        }
        position_ = 0;
        skipUnheld();
    }

    bool atEnd() const {
        return ordered_ ? position_ >= records_.size() : position_ >= sorted_.size();
    }
    int64_t second() const { return ordered_ ? secondOf(position_) : sorted_[position_].first; }
    std::size_t index() const { return ordered_ ? position_ : sorted_[position_].second; }
    void advance() {
        ++position_;
        skipUnheld();
    }

private:
    int64_t secondOf(std::size_t i) const { return records_[i].time().linearSeconds(); }
    bool inOrder() const {
        int64_t last = std::numeric_limits<int64_t>::min();
        for (std::size_t i = 0; i < records_.size(); ++i) {
            if (!window_.holds(records_[i])) {
                continue;
            }
            const int64_t s = secondOf(i);
            if (s < last) {
                return false;
            }
            last = s;
        }
        return true;
    }
    void skipUnheld() {
        while (ordered_ && position_ < records_.size() && !window_.holds(records_[position_])) {
            ++position_;
        }
    }

    const RecordList& records_;
    const RecordWindow& window_;
    bool ordered_ = true;
    std::vector<std::pair<int64_t, std::size_t>> sorted_;
    std::size_t position_ = 0;
};

std::string ascii(std::u16string_view text) {
    return toLatin1(text);
}

std::string timeText(int64_t second) {
    CalendarFields f;
    if (!DateTime::fromLinearSeconds(second).fields(f)) {
        return {};
    }
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, "%d-%d-%d %d:%02d:%02d", f.year, f.month,
                                f.day, f.hour, f.minute, f.second);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::u16string headingName(std::u16string_view name) {
    std::u16string plain(name);
    for (char16_t& c : plain) {
        if (c == u',' || c == u'"' || c == u'\n' || c == u'\r') {
            c = u' ';
        }
    }
    return plain;
}

std::u16string unitOf(const ComparedSeries& s, ComparedQuantity quantity) {
    if (quantity == ComparedQuantity::humidity) {
        return u"(%)";
    }
    return s.fahrenheit ? u"( F)" : u"( C)";
}

std::string valueText(const HistoryRecord& r, const ComparedSeries& s, ComparedQuantity quantity) {
    if (quantity == ComparedQuantity::humidity) {
        return std::to_string(static_cast<int>(r.humidity));
    }
    return ascii(recordListTemperature(r.temperature, s.fahrenheit));
}

} // namespace

bool forEachComparisonRow(const std::vector<ComparedSeries>& series, const DateTime& from,
                          const DateTime& to,
                          const std::function<void(const ComparisonRow&)>& visit) {
    if (series.size() > kMaxComparedRecorders) {
        return false;
    }
    const RecordWindow window(from, to);
    static const RecordList kNone;
    std::vector<SeriesCursor> cursors;
    cursors.reserve(series.size());
    for (const ComparedSeries& s : series) {
        cursors.emplace_back(s.records != nullptr ? *s.records : kNone, window);
    }
    ComparisonRow row;
    row.records.assign(series.size(), -1);
    for (;;) {
        bool any = false;
        int64_t earliest = std::numeric_limits<int64_t>::max();
        for (const SeriesCursor& c : cursors) {
            if (!c.atEnd()) {
                any = true;
                earliest = std::min(earliest, c.second());
            }
        }
        if (!any) {
            return true;
        }
        row.second = earliest;
        for (std::size_t k = 0; k < cursors.size(); ++k) {
            row.records[k] = -1;
            while (!cursors[k].atEnd() && cursors[k].second() == earliest) {
                row.records[k] = static_cast<std::ptrdiff_t>(cursors[k].index());
                cursors[k].advance();
            }
        }
        visit(row);
    }
}

std::string comparisonHeadingLine(const std::vector<ComparedSeries>& series,
                                  ComparedQuantity quantity, std::u16string_view timeHeading) {
    std::string line = ascii(timeHeading.substr(0, kListTextLimit));
    for (const ComparedSeries& s : series) {
        line += ',';
        line += ascii(headingName(s.name).substr(0, kListTextLimit) + unitOf(s, quantity));
    }
    line += '\n';
    return line;
}

std::string comparisonDataLine(const ComparisonRow& row, const std::vector<ComparedSeries>& series,
                               ComparedQuantity quantity) {
    std::string line = '"' + timeText(row.second) + '"';
    for (std::size_t k = 0; k < series.size() && k < row.records.size(); ++k) {
        line += ',';
        if (row.records[k] >= 0 && series[k].records != nullptr) {
            const HistoryRecord& r = (*series[k].records)[static_cast<std::size_t>(row.records[k])];
            line += valueText(r, series[k], quantity);
        }
    }
    line += '\n';
    return line;
}

bool writeComparisonCsv(const std::vector<ComparedSeries>& series, ComparedQuantity quantity,
                        const DateTime& from, const DateTime& to, std::u16string_view timeHeading,
                        const CsvSink& write, std::string& error) {
    if (series.size() > kMaxComparedRecorders) {
        error = "At most " + std::to_string(kMaxComparedRecorders) + " recorders can be compared";
        return false;
    }
    error.clear();
    bool ok = write(comparisonHeadingLine(series, quantity, timeHeading));
    // Lines gathered into larger pieces: eight long histories give millions of rows.
    constexpr std::size_t kPiece = 64 * 1024;
    std::string pending;
    forEachComparisonRow(series, from, to, [&](const ComparisonRow& row) {
        if (!ok) {
            return;
        }
        pending += comparisonDataLine(row, series, quantity);
        if (pending.size() >= kPiece) {
            ok = write(pending);
            pending.clear();
        }
    });
    if (ok && !pending.empty()) {
        ok = write(pending);
    }
    if (!ok && error.empty()) {
        error = "Cannot write the comparison";
    }
    return ok;
}

bool writeComparisonCsvFile(const std::string& path, const std::vector<ComparedSeries>& series,
                            ComparedQuantity quantity, const DateTime& from, const DateTime& to,
                            std::u16string_view timeHeading, std::string& error) {
    if (series.size() > kMaxComparedRecorders) {
        error = "At most " + std::to_string(kMaxComparedRecorders) + " recorders can be compared";
        return false; // checked before the file is touched
    }
    ExportFileWriter writer(path);
    const bool ok =
        writer.open() &&
        writeComparisonCsv(
            series, quantity, from, to, timeHeading,
            [&writer](std::string_view piece) { return writer.write(piece.data(), piece.size()); },
            error) &&
        writer.commit();
    if (!ok) {
        error = !writer.error().empty() ? writer.error() : "Cannot write " + path;
    }
    return ok;
}

} // namespace veldrin
