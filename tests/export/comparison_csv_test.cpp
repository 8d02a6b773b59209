#include "export/comparison_csv.h"

#include "core/paths.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace veldrin {
using testing::readFile;
using testing::TempDir;
namespace {

HistoryRecord at(int minute, int second, double celsius, int humidity) {
    HistoryRecord r;
    r.setTime(DateTime::fromFields(2011, 6, 15, 12, minute, second));
    r.temperature = celsius;
    r.humidity = static_cast<int8_t>(humidity);
    return r;
}

const DateTime kFrom = DateTime::fromFields(2011, 6, 15, 12, 0);
const DateTime kTo = DateTime::fromFields(2011, 6, 15, 13, 0);

// Rows as "minute:second=temperature|temperature|..." with "-" for an empty cell.
std::vector<std::string> rowsOf(const std::vector<RecordList>& lists) {
    std::vector<ComparedSeries> series;
    for (const RecordList& l : lists) {
        series.push_back({u"r", false, &l});
    }
    std::vector<std::string> rows;
    forEachComparisonRow(series, kFrom, kTo, [&](const ComparisonRow& row) {
        CalendarFields f;
        DateTime::fromLinearSeconds(row.second).fields(f);
        std::string text = std::to_string(f.minute) + ':' + std::to_string(f.second) + '=';
        for (std::size_t k = 0; k < row.records.size(); ++k) {
            const auto i = row.records[k];
            text += (k > 0 ? "|" : "") +
                    (i < 0 ? std::string("-")
                           : std::to_string(static_cast<int>(
                                 lists[k][static_cast<std::size_t>(i)].temperature)));
        }
        rows.push_back(text);
    });
    return rows;
}

TEST(ComparisonRows, OneRowPerDistinctTimeWithEachRecorderInItsColumn) {
    HistoryRecord before = at(0, 0, 1, 0);
    before.setTime(DateTime::fromFields(2011, 6, 15, 11, 59, 59));
    struct Case {
        const char* what;
        std::vector<RecordList> lists;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"a second before the window", {{before}}, {}},
        {"interleaved times",
         {{at(1, 0, 10, 0), at(3, 0, 11, 0)}, {at(2, 0, 20, 0), at(4, 0, 21, 0)}},
         {"1:0=10|-", "2:0=-|20", "3:0=11|-", "4:0=-|21"}},
        {"equal times share a row", {{at(1, 0, 10, 0)}, {at(1, 0, 20, 0)}}, {"1:0=10|20"}},
        {"the later record of one second", {{at(1, 0, 10, 0), at(1, 0, 12, 0)}}, {"1:0=12"}},
        {"a list whose times go back",
         {{at(5, 0, 15, 0), at(2, 0, 12, 0), at(2, 30, 13, 0)}},
         {"2:0=12", "2:30=13", "5:0=15"}},
        {"a recorder with nothing in the window, ends inclusive",
         {{at(0, 0, 10, 0), at(59, 59, 11, 0)}, {at(0, 0, 1, 0)}, {}},
         {"0:0=10|1|-", "59:59=11|-|-"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rowsOf(c.lists), c.rows) << c.what;
    }
}

TEST(ComparisonRows, MoreThanEightRecordersAreRefusedBeforeAnythingIsWritten) {
    const RecordList one{at(1, 0, 10, 0)};
    for (const std::size_t count : {kMaxComparedRecorders, kMaxComparedRecorders + 1}) {
        const std::vector<ComparedSeries> series(count, ComparedSeries{u"r", false, &one});
        const bool allowed = count <= kMaxComparedRecorders;
        int rows = 0;
        EXPECT_EQ(forEachComparisonRow(series, kFrom, kTo, [&](const ComparisonRow&) { ++rows; }),
                  allowed);
        EXPECT_EQ(rows, allowed ? 1 : 0);
        TempDir dir;
        std::string error;
        EXPECT_EQ(writeComparisonCsvFile(dir.file("c.csv"), series, ComparedQuantity::humidity,
                                         kFrom, kTo, u"Time", error),
                  allowed);
        EXPECT_EQ(fileExists(dir.file("c.csv")), allowed) << error;
    }
}

TEST(ComparisonFile, HeadingsUnitsAndCellsAsTheListFileWritesThem) {
    const RecordList a{at(1, 5, 4.25, 41), at(2, 0, -12.0, 42)};
    const RecordList b{at(2, 0, 25.0, 55)};
    const std::vector<ComparedSeries> series{{u"1, \"Fridge\"", false, &a},
                                             {u"2 K\u00FChlraum \u2603", true, &b}};
    struct Case {
        ComparedQuantity quantity;
        std::string text;
    };
    const Case cases[] = {
        {ComparedQuantity::temperature, "Zeit,1   Fridge ( C),2 K\xFChlraum ?( F)\n"
                                        "\"2011-6-15 12:01:05\", 4.2,\n"
                                        "\"2011-6-15 12:02:00\",-12.0,77.0\n"},
        {ComparedQuantity::humidity, "Zeit,1   Fridge (%),2 K\xFChlraum ?(%)\n"
                                     "\"2011-6-15 12:01:05\",41,\n"
                                     "\"2011-6-15 12:02:00\",42,55\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::string error;
        ASSERT_TRUE(writeComparisonCsvFile(dir.file("c.csv"), series, c.quantity, kFrom, kTo,
                                           u"Zeit", error))
            << error;
        EXPECT_EQ(readFile(dir.file("c.csv")), c.text);
    }
}

} // namespace
} // namespace veldrin
