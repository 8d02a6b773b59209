// `veldrin --report`: the report of a recorder written by the program without any display, read
// back with pdftotext. Real time, one run per language. Before it, a report of many events made
// in-process.

#include "e2e/programs.h"

#include "core/clock.h"
#include "core/date_time.h"
#include "core/export_file.h"
#include "lang/language_table.h"
#include "report/pdf_report.h"
#include "report/report_content.h"
#include "store/data_file.h"
#include "store/data_store.h"
#include "store/ini_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <unistd.h>

// Sanitizers reserve their shadow memory as data: no memory bound under them (GCC says so by a
// macro, clang by a feature).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELDRIN_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VELDRIN_TEST_SANITIZED 1
#endif
#endif

namespace veldrin {
namespace {

using testing::ProgramRun;
using testing::runProgram;

// 40 records a minute apart from 10:00: 20 °C, except 30 °C for the ten from 10:20 on.
RecordList cellarRecords() {
    RecordList records;
    for (int i = 0; i < 40; ++i) {
        HistoryRecord r;
        r.setTime(DateTime::fromFields(2011, 6, 15, 10, i));
        r.setDownloadTime(DateTime::fromFields(2011, 6, 15, 11, 0));
        r.temperature = i >= 20 && i < 30 ? 30.0 : 20.0;
        r.humidity = 55;
        r.interval = 1;
        records.push_back(r);
    }
    return records;
}

// The mean kinetic temperature of those records, worked out here from its definition.
std::string expectedMkt() {
    constexpr double kActivation = 10000.0; // ΔH/R in kelvin
    double sum = 0;
    for (const HistoryRecord& r : cellarRecords()) {
        sum += std::exp(-kActivation / (r.temperature + 273.15));
    }
    const double kelvin = kActivation / -std::log(sum / 40);
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", kelvin - 273.15);
    return text;
}

// The chart of a report is drawn from the period's records only, so that its latest-reading box
// names the newest record inside the period, or nothing for a period without records.
TEST(ReportContent, ThePeriodsRecordsOnly) {
    ReportContent content;
    content.records = cellarRecords();
    const struct {
        DateTime from, to;
        std::size_t count;
    } cases[] = {
        {DateTime::fromFields(2011, 6, 15, 10, 5), DateTime::fromFields(2011, 6, 15, 10, 9), 5},
        {DateTime::fromFields(2030, 1, 1), DateTime::fromFields(2030, 1, 2), 0}};
    for (const auto& c : cases) {
        content.from = c.from;
        content.to = c.to;
        const RecordList inside = periodRecords(content);
        ASSERT_EQ(inside.size(), c.count);
        if (c.count > 0) {
            EXPECT_EQ(inside.back().time(), c.to);
        }
    }
}

// Export > Report works its figures out from the records the window's store holds, not from a
// copy in the report: the period's fingerprint and record count are those of the store's records,
// and the description is the store's.
TEST(ReportContent, TheWindowsReportIsMadeFromTheStoresRecords) {
    testing::TempDir dir;
    RecorderSettings settings;
    settings.description = u"Cellar";
    std::string error;
    ASSERT_TRUE(
        writeExportFile(dir.file("0.dat"), encodeDataFile(settings, cellarRecords(), 0), error))
        << error;
    IniFile ini(dir.file("main.ini"));
    ManualClock clock;
    DataStore store(dir.path(), ini, clock);
    ASSERT_EQ(store.loadDisplayedDocument(dir.file("0.dat")), 1);
    DisplaySnapshot shown;
    shown.store = &store;
    shown.from = DateTime::fromFields(2011, 6, 15, 10, 5);
    shown.to = DateTime::fromFields(2011, 6, 15, 10, 9);
    const QByteArray pdf = renderShownReport(shown, clock.nowLocal(), ini.snapshot());
    ASSERT_TRUE(writeReportFile(dir.file("r.pdf"), pdf, error)) << error;
    const std::string text =
        runProgram({"/usr/bin/pdftotext", "-layout", dir.file("r.pdf"), "-"}, dir.path()).out;
    EXPECT_NE(text.find(recordFingerprint(cellarRecords(), shown.from, shown.to)),
              std::string::npos)
        << text;
    EXPECT_TRUE(std::regex_search(text, std::regex("\\b5 ?/ ?5\\b"))) << text; // present / expected
    EXPECT_NE(text.find("Cellar"), std::string::npos) << text;
}

std::set<std::string> folderEntries(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// 150 events of ten minutes at 30 °C, 20 minutes apart, over some pages; the cells are drawn
// together per page: every event still on a line of its own, the last page numbered, and a
// description in another script still printed.
TEST(ReportPages, EveryEventListedOverNumberedPages) {
    ReportContent content;
    content.settings.description = u"\u0425\u043E\u043B\u043E\u0434 north";
    for (int i = 0; i < 3000; ++i) {
        HistoryRecord& r = content.records.emplace_back();
        r.setTime(DateTime::fromFields(2011, 6, 15).plusSeconds(60LL * i));
        r.temperature = i % 20 < 10 ? 30.0 : 20.0;
        r.interval = 1;
    }
    content.from = DateTime::fromValue(content.records.front().timeValue);
    content.to = DateTime::fromValue(content.records.back().timeValue);
    content.limits.tempHigh = 25.0;
    testing::TempDir dir;
    std::string error;
    ASSERT_TRUE(writePdfReport(dir.file("r.pdf"), content, error)) << error;
    const std::string text =
        runProgram({"/usr/bin/pdftotext", "-layout", dir.file("r.pdf"), "-"}, dir.path()).out;
    EXPECT_NE(text.find("\u0425\u043E\u043B\u043E\u0434 north"), std::string::npos) << text;
    const std::regex row(
        "2011-06-1\\d \\d\\d:\\d\\d:00 +2011-06-1\\d \\d\\d:\\d\\d:00 +10 +30\\.0 ");
    EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), row), {}), 150) << text;
    EXPECT_TRUE(
        std::regex_search(text, std::regex("2011-06-17 01:40:00[\\s\\S]*\\b(\\d) ?/ ?\\1\\s*$")))
        << text;
}

// Every word of every heading of the report's tables fits its column in each language (headings
// wrap at their spaces only), with all four limits on, events and a gap.
TEST(ReportPages, EveryHeadingWordFitsItsColumnInEachLanguage) {
    std::string error;
    ASSERT_TRUE(LanguageTable::instance().load(testing::sourcePath("resources/lang"), error))
        << error;
    ReportContent content;
    content.records = cellarRecords();
    content.records.back().setTime(content.records.back().time().plusMinutes(30));
    content.from = content.records.front().time();
    content.to = content.records.back().time();
    content.limits = {25.0, 10.0, 80.0, 20.0, 5};
    for (const Language language : {kEnglish, kGerman, kFrench}) {
        CurrentLanguage::set(language);
        EXPECT_EQ(reportHeadingsCut(content).join(QLatin1Char('\n')).toStdString(), "") << language;
    }
    CurrentLanguage::set(kEnglish);
}

// A record time of 1e307 days (a damaged file): the report stays within bounds far beyond a normal
// one (0.25 s, 90 MB) and far below what the chart once took (20 s, gigabytes).
TEST(ReportEndToEnd, AHugeRecordTimeStaysWithinAMemoryBound) {
    testing::TempDir dir;
    const std::string data = dir.file("data");
    std::filesystem::create_directory(data);
    testing::writeFile(data + "/main.ini", "[Drive ID]\nMaxID=1\nID0000000=6,2,3\n");
    RecordList records = cellarRecords();
    records[20].timeValue = 1e307;
    testing::writeFile(data + "/0.dat", encodeDataFile(RecorderSettings{}, records, 0));
#ifdef VELDRIN_TEST_SANITIZED
    const std::string bound = "";
    const int timeBoundMs = 30000;
#else
    const std::string bound = "ulimit -d 1048576; "; // KiB: 1 GiB of data
    const int timeBoundMs = 10000;
#endif
    const ProgramRun report = runProgram(
        {"/bin/sh", "-c", bound + "exec \"$@\"", "sh", "/usr/bin/env", "-u", "DISPLAY", "-u",
         "WAYLAND_DISPLAY", "QT_QPA_PLATFORM=offscreen", testing::binaryPath("veldrin"), "--report",
         dir.file("r.pdf"), "--recorder", "0", "--data-dir", data},
        dir.path(), timeBoundMs);
    EXPECT_EQ(report.status, 0) << report.err; // -1: stopped at the time bound
    EXPECT_TRUE(std::filesystem::exists(dir.file("r.pdf")));
}

// A data folder whose recorder 0 has an upper temperature limit of 25 °C with five minutes' delay.
std::string dataFolderWithLimits(const testing::TempDir& dir) {
    const std::string data = dir.file("data");
    std::filesystem::create_directory(data);
    testing::writeFile(data + "/main.ini", "[Drive ID]\nMaxID=1\nID0000000=6,2,3\n"
                                           "[Alarm Limits 0]\nTempHigh=25\nDelayMinutes=5\n");
    return data;
}

// A period that opens and closes inside the excursion (10:20 to 10:29, beyond the five minutes'
// delay only as a whole): the event is in the report with both marks and their notes, and stats
// --json of the same period gives it as open at both ends with the same minutes.
TEST(ReportEndToEnd, AnEventCutByThePeriodIsMarkedAsStatsGivesIt) {
    testing::ScopedTimeZone tz("UTC0");
    testing::TempDir dir;
    const std::string data = dataFolderWithLimits(dir);
    testing::writeFile(data + "/0.dat", encodeDataFile(RecorderSettings{}, cellarRecords(), 0));
    const std::vector<std::string> period{
        "--recorder",       "0",    "--data-dir",         data, "--from",
        "2011-06-15 10:25", "--to", "2011-06-15T10:27:00"};
    std::vector<std::string> stats{testing::binaryPath("veldrin-cli"), "stats", "--json"};
    stats.insert(stats.end(), period.begin(), period.end());
    const ProgramRun json = runProgram(stats, dir.path());
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_TRUE(
        std::regex_search(json.out, std::regex("\"start\": \"2011-06-15T10:25:00\",\\s+"
                                               "\"end\": \"2011-06-15T10:27:00\",\\s+"
                                               "\"records\": 3,\\s+\"minutes\": 3,[^}]*"
                                               "\"open_start\": true,\\s+\"open_end\": true")))
        << json.out;

    std::vector<std::string> report{"/usr/bin/env",
                                    "QT_QPA_PLATFORM=offscreen",
                                    testing::binaryPath("veldrin"),
                                    "--report",
                                    dir.file("r.pdf"),
                                    "--lang",
                                    "1"};
    report.insert(report.end(), period.begin(), period.end());
    const ProgramRun made = runProgram(report, dir.path());
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string text =
        runProgram({"/usr/bin/pdftotext", "-layout", dir.file("r.pdf"), "-"}, dir.path()).out;
    EXPECT_TRUE(std::regex_search(
        text, std::regex("\u2026 2011-06-15 10:25:00 +2011-06-15 10:27:00 \u2026 +3 ")))
        << text;
    EXPECT_NE(text.find("\u2026 vor einem Beginn"), std::string::npos) << text;
    EXPECT_NE(text.find("\u2026 nach einem Ende"), std::string::npos) << text;
}

TEST(ReportEndToEnd, WrittenWithoutDisplayInTheChosenLanguage) {
    const std::string pdftotext = "/usr/bin/pdftotext";
    if (::access(pdftotext.c_str(), X_OK) != 0) {
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    }
    testing::ScopedTimeZone tz("UTC0");
    testing::TempDir dir;
    const std::string data = dataFolderWithLimits(dir);
    RecorderSettings settings;
    settings.interval = 1;
    settings.description = u"Wine cellar north";
    // The last five records ten minutes late: a gap from 10:34 to 10:45.
    RecordList records = cellarRecords();
    for (std::size_t i = 35; i < records.size(); ++i) {
        records[i].setTime(records[i].time().plusMinutes(10));
    }
    testing::writeFile(data + "/0.dat", encodeDataFile(settings, records, 0));
    const std::set<std::string> before = folderEntries(data);
    // The fingerprint anyone can work out from the data file.
    const ProgramRun stats = runProgram({testing::binaryPath("veldrin-cli"), "--data-dir", data,
                                         "stats", "--recorder", "0", "--json"},
                                        dir.path());
    ASSERT_EQ(stats.status, 0) << stats.err;
    const std::size_t at = stats.out.find("\"fingerprint\": \"");
    ASSERT_NE(at, std::string::npos) << stats.out;
    const std::string fingerprint = stats.out.substr(at + 16, 64);

    const struct {
        const char* language;
        const char* mktTitle;
        const char* extremeRule; // which of equal readings an extreme's time names
        const char* verdict;     // of the high temperature limit; French sets off its colons
        const char* reviewedBy;
        char decimalSign;
    } runs[] = {{"0", "Mean kinetic temperature", "the latest reading at that value",
                 "Upper temperature limit: excursions; time", "Reviewed by:", '.'},
                {"1", "Mittlere kinetische Temperatur", "die letzte Messung mit diesem Wert",
                 "Obere Temperaturgrenze: Überschreitungen; Zeit", "Geprüft von:", ','},
                {"2", "Température cinétique moyenne", "la dernière mesure à cette valeur",
                 "Seuil haut de température : dépassements ; durée", "Vérifié par :", ','}};
    for (const auto& run : runs) {
        const std::string pdf = dir.file(std::string("report") + run.language + ".pdf");
        // No display of any kind: the program chooses its platform itself.
        const ProgramRun report =
            runProgram({"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u",
                        "QT_QPA_PLATFORM", testing::binaryPath("veldrin"), "--report", pdf,
                        "--recorder", "0", "--data-dir", data, "--lang", run.language},
                       dir.path());
        ASSERT_EQ(report.status, 0) << report.err;
        const ProgramRun text = runProgram({pdftotext, "-layout", pdf, "-"}, dir.path());
        ASSERT_EQ(text.status, 0) << text.err;
        EXPECT_NE(text.out.find("Wine cellar north"), std::string::npos) << text.out;
        EXPECT_NE(text.out.find(run.mktTitle), std::string::npos) << text.out;
        // In the language's decimal sign: the MKT with two places, a reading (the maximum) with
        // one, a humidity reading whole.
        std::string mkt = expectedMkt();
        mkt[mkt.find('.')] = run.decimalSign;
        EXPECT_NE(text.out.find(mkt + " \u00B0C"), std::string::npos) << text.out;
        EXPECT_NE(
            text.out.find(std::string("30") + run.decimalSign + "0 \u00B0C 2011-06-15 10:29:00"),
            std::string::npos)
            << text.out;
        EXPECT_NE(text.out.find("55 % 2011-06-15 10:49:00"), std::string::npos) << text.out;
        // The metadata: title, creator and date in the information dictionary; the author and
        // the subject (recorder and period) beside them in the XMP packet of PDF/A-1b.
        const std::string info = runProgram({"/usr/bin/pdfinfo", pdf}, dir.path()).out +
                                 runProgram({"/usr/bin/pdfinfo", "-meta", pdf}, dir.path()).out;
        for (const std::string& field :
             {std::string("Creator:         Veldrin "), std::string("CreationDate:    "),
              std::string("Title:           "), std::string("<rdf:li>Veldrin "),
              std::string("<dc:description>"), std::string("pdfaid:part=\"1\""),
              std::string("pdfaid:conformance=\"B\"")}) {
            EXPECT_NE(info.find(field), std::string::npos) << field << info;
        }
        EXPECT_TRUE(std::regex_search(
            info, std::regex("x-default\">[^<]*Wine cellar north[^<]*2011-06-15 10:00:00")))
            << info;
        EXPECT_NE(text.out.find(run.extremeRule), std::string::npos) << text.out;
        // The excursion above 25 °C, from 10:20 to 10:29, lasted longer than the delay: its row
        // in the table of events.
        EXPECT_TRUE(std::regex_search(text.out,
                                      std::regex("2011-06-15 10:20:00 +2011-06-15 10:29:00 +10 ")))
            << text.out;
        // Every page headed by the recorder, the last one with the fingerprint and the review.
        EXPECT_NE(text.out.find("Wine cellar north \u00B7 2011-06-15 10:00:00 \u2013 "
                                "2011-06-15 10:49:00"),
                  std::string::npos)
            << text.out;
        EXPECT_TRUE(std::regex_search(text.out, std::regex(" 2 / 2\n"))) << text.out;
        EXPECT_TRUE(
            std::regex_search(text.out, std::regex("2011-06-15 10:34:00 +2011-06-15 10:45:00 +11")))
            << text.out;
        EXPECT_NE(text.out.find(run.verdict), std::string::npos) << text.out;
        EXPECT_NE(text.out.find(run.reviewedBy), std::string::npos) << text.out;
        EXPECT_NE(text.out.find(fingerprint), std::string::npos) << text.out;
    }
    // Only read: no lock, no file of its own left in the data folder.
    EXPECT_EQ(folderEntries(data), before);

    const ProgramRun unknown =
        runProgram({testing::binaryPath("veldrin"), "--report", dir.file("x.pdf"), "--recorder",
                    "3", "--data-dir", data},
                   dir.path());
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("not registered"), std::string::npos) << unknown.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.pdf")));
}

} // namespace
} // namespace veldrin
