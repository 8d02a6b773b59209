#include "export/record_list.h"

#include "lang/language_table.h"

#include <gtest/gtest.h>

namespace veldrin {
namespace {

// Distinct short texts for the list's language strings, so that remarks can be told apart.
class RecordListTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = LanguageTable::instance().strings(kEnglish);
        savedLanguage_ = CurrentLanguage::stored();
        LanguageStrings s{};
        s[109] = u"Time";
        s[89] = u"Temp  "; // trailing blanks are trimmed at fetch
        s[45] = u"Hum";
        s[48] = u"Int";
        s[66] = u"Fetched";
        s[70] = u"Remarks";
        s[123] = u"[Tmax]";
        s[55] = u"[Tmin]";
        s[51] = u"[Hmax]";
        s[54] = u"[Hmin]";
        s[25] = u"[new]";
        LanguageTable::instance().setStrings(kEnglish, s);
        CurrentLanguage::set(kEnglish);
    }
    void TearDown() override {
        LanguageTable::instance().setStrings(kEnglish, saved_);
        CurrentLanguage::set(savedLanguage_);
    }

    static HistoryRecord record(int hour, int minute, double celsius, int humidity,
                                int interval = 10) {
        HistoryRecord r;
        r.setTime(DateTime::fromFields(2011, 6, 15, hour, minute));
        r.setDownloadTime(DateTime::fromFields(2011, 6, 15, 23, 5));
        r.temperature = celsius;
        r.humidity = static_cast<int8_t>(humidity);
        r.interval = interval;
        return r;
    }
    static DateTime at(int hour, int minute, int second = 0) {
        return DateTime::fromFields(2011, 6, 15, hour, minute, second);
    }
    static std::vector<std::u16string> remarks(const std::vector<RecordRow>& rows) {
        std::vector<std::u16string> out;
        for (const RecordRow& row : rows) {
            out.push_back(row[5]);
        }
        return out;
    }

    RecorderSettings celsius;

private:
    LanguageStrings saved_{};
    int savedLanguage_ = 0;
};

TEST_F(RecordListTest, WindowIsInclusiveAtBothEndsAndComparedToTheSecond) {
    const RecordList records = {record(12, 0, 20, 50), record(12, 10, 21, 51),
                                record(12, 20, 22, 52)};
    EXPECT_EQ(recordListRows(celsius, records, at(12, 0), at(12, 20)).size(), 3u);
    const auto inner = recordListRows(celsius, records, at(12, 0, 1), at(12, 19, 59));
    ASSERT_EQ(inner.size(), 1u);
    EXPECT_EQ(inner[0][0], u"2011-6-15 12:10");
    EXPECT_TRUE(recordListRows(celsius, records, at(13, 0), at(14, 0)).empty());
}

TEST_F(RecordListTest, RowTextsFollowTheListFormats) {
    HistoryRecord r = record(8, 5, 5.0, 7, 240);
    r.setTime(DateTime::fromFields(2011, 1, 2, 8, 5));
    r.setDownloadTime(DateTime::fromFields(2012, 12, 31, 0, 0));
    const auto rows = recordListRows(celsius, {r}, DateTime::fromFields(2000, 1, 1),
                                     DateTime::fromFields(2100, 1, 1));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], u"2011-1-2 8:05");
    EXPECT_EQ(rows[0][1], u" 5.0");
    EXPECT_EQ(rows[0][2], u"7");
    EXPECT_EQ(rows[0][3], u"240");
    EXPECT_EQ(rows[0][4], u"2012-12-31 0:00");
}

TEST_F(RecordListTest, TemperatureWidthAndFahrenheit) {
    EXPECT_EQ(recordListTemperature(25.0, true), u"77.0");
    EXPECT_EQ(recordListTemperature(25.0, false), u"25.0");
    EXPECT_EQ(recordListTemperature(0.0, false), u" 0.0");
    EXPECT_EQ(recordListTemperature(-10.0, false), u"-10.0");
    EXPECT_EQ(recordListTemperature(-40.0, true), u"-40.0");
    // Stored values come from raw x 0.1 - 40 and are not exact in binary.
    EXPECT_EQ(recordListTemperature(650 * 0.1 - 40.0, false), u"25.0");
    EXPECT_EQ(recordListTemperature(404 * 0.1 - 40.0, false), u" 0.4");
}

TEST_F(RecordListTest, HeadingsNameTheUnit) {
    const RecordRow c = recordListHeadings(celsius);
    EXPECT_EQ(c, (RecordRow{u"Time", u"Temp(\u00B0C)", u"Hum", u"Int", u"Fetched", u"Remarks"}));
    RecorderSettings fahrenheit;
    fahrenheit.tempUnit = 1;
    EXPECT_EQ(recordListHeadings(fahrenheit)[1], u"Temp(\u00B0F)");
    const auto rows = recordListRows(fahrenheit, {record(12, 0, 25.0, 50)}, at(0, 0), at(23, 0));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], u"77.0");
}

TEST_F(RecordListTest, SingleRecordCarriesEveryRemarkInOrder) {
    const auto rows = recordListRows(celsius, {record(12, 0, 20, 50)}, at(0, 0), at(23, 0));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][5], u"[Tmax][Tmin][Hmax][Hmin][new]");
}

TEST_F(RecordListTest, OnEqualValuesTheNewerRowWins) {
    const RecordList records = {record(12, 0, 30, 40), record(12, 10, 10, 60),
                                record(12, 20, 30, 40), record(12, 30, 10, 60),
                                record(12, 40, 20, 50)};
    const auto rows = recordListRows(celsius, records, at(0, 0), at(23, 0));
    EXPECT_EQ(remarks(rows),
              (std::vector<std::u16string>{u"", u"", u"[Tmax][Hmin]", u"[Tmin][Hmax]", u"[new]"}));
}

TEST_F(RecordListTest, ExtremesAreThoseOfTheListedRowsOnly) {
    const RecordList records = {record(10, 0, 99, 99), record(12, 0, 20, 50),
                                record(12, 10, 21, 49), record(14, 0, -30, 1)};
    const auto rows = recordListRows(celsius, records, at(12, 0), at(12, 10));
    // The newest record of the history lies outside the window: no row is marked newest.
    EXPECT_EQ(remarks(rows), (std::vector<std::u16string>{u"[Tmin][Hmax]", u"[Tmax][Hmin]"}));
}

TEST_F(RecordListTest, TemperatureExtremesUseTheStoredCelsiusValue) {
    RecorderSettings fahrenheit;
    fahrenheit.tempUnit = 1;
    const RecordList records = {record(12, 0, -5.0, 50), record(12, 10, 5.0, 50)};
    const auto rows = recordListRows(fahrenheit, records, at(0, 0), at(23, 0));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], u"23.0");
    EXPECT_EQ(rows[0][5], u"[Tmin]");
    EXPECT_EQ(rows[1][5], u"[Tmax][Hmax][Hmin][new]");
}

TEST_F(RecordListTest, RecordsWithoutAValidTimeAreNotListed) {
    HistoryRecord broken = record(12, 5, 50, 50);
    broken.setTime(DateTime::invalidValue());
    HistoryRecord far = record(12, 6, 60, 60);
    far.timeValue = 1e300;
    const auto rows =
        recordListRows(celsius, {record(12, 0, 20, 50), broken, far}, at(0, 0), at(23, 0));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][5], u"[Tmax][Tmin][Hmax][Hmin]");
}

TEST_F(RecordListTest, InvalidDownloadTimeShowsEmpty) {
    HistoryRecord r = record(12, 0, 20, 50);
    r.setDownloadTime(DateTime::invalidValue());
    const auto rows = recordListRows(celsius, {r}, at(0, 0), at(23, 0));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][4], u"");
}

} // namespace
} // namespace veldrin
