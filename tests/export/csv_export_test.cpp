#include "export/csv_export.h"

#include "lang/language_table.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace veldrin {
namespace {

class CsvExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = LanguageTable::instance().strings(kEnglish);
        savedLanguage_ = CurrentLanguage::stored();
        LanguageStrings s{};
        s[109] = u"Date and time";
        s[89] = u"Temperature";
        s[45] = u"Humidity";
        s[48] = u"Interval (min)";
        s[66] = u"Download time";
        s[70] = u"Remarks";
        s[123] = u"Hi";
        s[55] = u"Lo";
        s[51] = u"H+";
        s[54] = u"H-";
        s[25] = u"New";
        LanguageTable::instance().setStrings(kEnglish, s);
        CurrentLanguage::set(kEnglish);
    }
    void TearDown() override {
        LanguageTable::instance().setStrings(kEnglish, saved_);
        CurrentLanguage::set(savedLanguage_);
    }

    static HistoryRecord record(int minute, double celsius, int humidity) {
        HistoryRecord r;
        r.setTime(DateTime::fromFields(2011, 6, 15, 12, minute));
        r.setDownloadTime(DateTime::fromFields(2011, 6, 15, 12, 30));
        r.temperature = celsius;
        r.humidity = static_cast<int8_t>(humidity);
        r.interval = 10;
        return r;
    }
    static std::string csv(const RecorderSettings& settings, const RecordList& records,
                           const DateTime& start, const DateTime& end) {
        std::string out;
        EXPECT_TRUE(writeRecordCsv(settings, records, start, end, [&out](std::string_view piece) {
            out += piece;
            return true;
        }));
        return out;
    }

    const DateTime dayStart = DateTime::fromFields(2011, 6, 15);
    const DateTime dayEnd = DateTime::fromFields(2011, 6, 16);

private:
    LanguageStrings saved_{};
    int savedLanguage_ = 0;
};

TEST_F(CsvExportTest, WholeFileQuotesColumnsZeroFourAndFiveOnly) {
    RecorderSettings settings;
    const std::string out =
        csv(settings, {record(0, 5.0, 40), record(10, 25.0, 60)}, dayStart, dayEnd);
    EXPECT_EQ(out, "Date and time,Temperature( C),Humidity,Interval (min),Download time,Remarks\n"
                   "\"2011-6-15 12:00\", 5.0,40,10,\"2011-6-15 12:30\",\"LoH-\"\n"
                   "\"2011-6-15 12:10\",25.0,60,10,\"2011-6-15 12:30\",\"HiH+New\"\n");
}

TEST_F(CsvExportTest, EmptyWindowGivesTheHeadingLineOnly) {
    RecorderSettings fahrenheit;
    fahrenheit.tempUnit = 1;
    const std::string out = csv(fahrenheit, {record(0, 5.0, 40)}, dayEnd, dayEnd);
    EXPECT_EQ(out, "Date and time,Temperature( F),Humidity,Interval (min),Download time,Remarks\n");
}

TEST_F(CsvExportTest, EmptyRemarkIsTwoQuotesAndInnerQuotesStandAsTheyAre) {
    RecordRow row{u"a\"b", u" 1.0", u"2", u"3", u"d", u""};
    EXPECT_EQ(csvDataLine(row), "\"a\"b\", 1.0,2,3,\"d\",\"\"\n");
}

TEST_F(CsvExportTest, EightBitConversion) {
    EXPECT_EQ(toLatin1(u"Temp\u00E9rature \u00B0"), "Temp\xE9rature \xB0");
    EXPECT_EQ(toLatin1(u"5 \u20AC"), "5 ?");
    EXPECT_EQ(toLatin1(u"x\U0001F600y"), "x?y"); // one character, one mark
    EXPECT_EQ(toLatin1(std::u16string(1, char16_t(0xD800))), "?");
}

TEST_F(CsvExportTest, OnlyTheDegreeSignOfTheTemperatureHeadingBecomesABlank) {
    const RecordRow headings{
        u"Zeit \u00E4", u"Temp\u00E9rature(\u00B0C)\u0080", u"\u00DF", u"i", u"t", u"r"};
    EXPECT_EQ(csvHeadingLine(headings), "Zeit \xE4,Temp\xE9rature( C)\x80,\xDF,i,t,r\n");
}

TEST_F(CsvExportTest, TextsAreReadAsTheListHoldsThem) {
    const std::u16string longText(300, u'x');
    const RecordRow row{longText, u"", u"", u"", u"", u""};
    EXPECT_EQ(csvDataLine(row), "\"" + std::string(kListTextLimit, 'x') + "\",,,,\"\",\"\"\n");
}

TEST_F(CsvExportTest, FileIsWrittenWholeAndReplacesAnOldOne) {
    testing::TempDir dir;
    const std::string path = dir.file("out.csv");
    testing::writeFile(path, "old content that is longer than the new file\n\n\n\n");
    std::string error;
    RecorderSettings settings;
    ASSERT_TRUE(writeRecordCsvFile(path, settings, {}, dayStart, dayEnd, error)) << error;
    EXPECT_EQ(testing::readFile(path),
              "Date and time,Temperature( C),Humidity,Interval (min),Download time,Remarks\n");
}

TEST_F(CsvExportTest, UnwritableFileIsReportedWithItsName) {
    testing::TempDir dir;
    const std::string path = dir.file("missing/out.csv");
    std::string error;
    RecorderSettings settings;
    EXPECT_FALSE(writeRecordCsvFile(path, settings, {}, dayStart, dayEnd, error));
    EXPECT_NE(error.find("missing/out.csv"), std::string::npos) << error;
}

} // namespace
} // namespace veldrin
