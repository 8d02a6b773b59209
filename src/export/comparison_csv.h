#pragma once
// Several recorders' histories side by side in one comma-separated file: a column per recorder,
// a row per distinct record time within a time window (rounded to the second, as the window
// counts records), and an empty cell where a recorder has no record at that time. The file keeps
// the conventions of the record list's file (csv_export.h): ISO 8859-1, commas, a lone line feed
// after every line, the time quoted, numbers unquoted and locale-free. Pure, so that the window
// and the command-line tool write the same file.

#include "core/date_time.h"
#include "export/csv_export.h"
#include "store/data_file.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace veldrin {

// More curves than this cannot be told apart in one chart; more columns are refused.
constexpr std::size_t kMaxComparedRecorders = 8;

enum class ComparedQuantity { temperature, humidity };

// One recorder's column: its name in the heading and its records (not owned).
struct ComparedSeries {
    std::u16string name;
    bool fahrenheit = false;
    const RecordList* records = nullptr;
};

// One row: the time in whole seconds (DateTime::linearSeconds) and, per series, the index of its
// record at that time, or -1. Several records of one recorder in the same second give one cell:
// the later one in its list, as everywhere else that one value must be chosen.
struct ComparisonRow {
    int64_t second = 0;
    std::vector<std::ptrdiff_t> records;
};

// Visits the rows of the records the window [from, to] holds (core/record_window.h), oldest
// first, whatever order the lists are in. False, visiting nothing, for more than
// kMaxComparedRecorders series.
bool forEachComparisonRow(const std::vector<ComparedSeries>& series, const DateTime& from,
                          const DateTime& to,
                          const std::function<void(const ComparisonRow&)>& visit);

// The heading line: `timeHeading`, then each series' name with its unit in parentheses (the
// degree sign written as a blank, as in the list's file). Commas, quotes and line breaks of a name
// become blanks, so that a description never shifts the columns.
std::string comparisonHeadingLine(const std::vector<ComparedSeries>& series,
                                  ComparedQuantity quantity, std::u16string_view timeHeading);
// "YYYY-M-D H:MM:SS" quoted, then each series' value ("%4.1f" or "%d") or nothing.
std::string comparisonDataLine(const ComparisonRow& row, const std::vector<ComparedSeries>& series,
                               ComparedQuantity quantity);

// The whole file piece by piece; false with `error` for too many series or a failed write.
bool writeComparisonCsv(const std::vector<ComparedSeries>& series, ComparedQuantity quantity,
                        const DateTime& from, const DateTime& to, std::u16string_view timeHeading,
                        const CsvSink& write, std::string& error);
// Written as an export target is (core/export_file.h): replaced atomically, never half-written.
bool writeComparisonCsvFile(const std::string& path, const std::vector<ComparedSeries>& series,
                            ComparedQuantity quantity, const DateTime& from, const DateTime& to,
                            std::u16string_view timeHeading, std::string& error);

} // namespace veldrin
