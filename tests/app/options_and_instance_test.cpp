// The command line, and one window program per data folder.

#include "app/app_options.h"
#include "app/single_instance.h"
#include "app_test_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLocalSocket>

namespace veldrin {
namespace {

using testing::processEventsUntil;
using testing::TempDir;

TEST(AppOptions, ParsesTheCommandLine) {
    struct Case {
        QStringList args;
        AppOptionsOutcome::Kind kind;
        QString dataDir;
        QString device;
        int language;
        QString document;
    };
    const Case cases[] = {
        {{}, AppOptionsOutcome::Run, "", "hid", -1, ""},
        {{"--data-dir", "/d", "--device", "sim", "--lang", "2", "a.vrn"},
         AppOptionsOutcome::Run,
         "/d",
         "sim",
         2,
         "a.vrn"},
        {{"--device=socket:/tmp/r.sock"}, AppOptionsOutcome::Run, "", "socket:/tmp/r.sock", -1, ""},
        {{"--device", "socket-dir:/tmp/r"},
         AppOptionsOutcome::Run,
         "",
         "socket-dir:/tmp/r",
         -1,
         ""},
        {{"--device", "socket:"}, AppOptionsOutcome::Invalid, "", "", -1, ""},
        {{"--device", "usb"}, AppOptionsOutcome::Invalid, "", "", -1, ""},
        {{"--lang", "3"}, AppOptionsOutcome::Invalid, "", "", -1, ""},
        {{"--lang", "-1"}, AppOptionsOutcome::Invalid, "", "", -1, ""},
        {{"--data-dir="}, AppOptionsOutcome::Invalid, "", "", -1, ""},
        {{"a.vrn", "b.vrn"}, AppOptionsOutcome::Invalid, "", "", -1, ""},
        {{"--frobnicate"}, AppOptionsOutcome::Invalid, "", "", -1, ""},
        {{"--help"}, AppOptionsOutcome::Help, "", "", -1, ""},
        {{"--version"}, AppOptionsOutcome::Version, "", "", -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const AppOptionsOutcome outcome = parseAppOptions(QStringList{"veldrin"} + c.args);
        ASSERT_EQ(outcome.kind, c.kind) << outcome.text.toStdString();
        if (c.kind == AppOptionsOutcome::Run) {
            EXPECT_EQ(outcome.options.dataDir, c.dataDir);
            EXPECT_EQ(outcome.options.device, c.device);
            EXPECT_EQ(outcome.options.language, c.language);
            EXPECT_EQ(outcome.options.documentPath, c.document);
        } else {
            EXPECT_FALSE(outcome.text.isEmpty());
        }
    }
    EXPECT_TRUE(parseAppOptions({"veldrin", "--help"}).text.contains("--data-dir"));
    EXPECT_FALSE(parseAppOptions({"veldrin", "--help"}).text.contains("<executable_name>"));
}

TEST(AppOptions, ReportNeedsARecorderAndTakesTimesAsTheExportDoes) {
    const struct {
        QStringList args;
        bool valid;
        std::optional<DateTime> from, to;
    } cases[] = {
        {{"--report", "r.pdf", "--recorder", "2"}, true, {}, {}},
        {{"--report", "r.pdf", "--recorder", "0", "--from", "2011-06-15 10:00", "--to",
          "2011-06-15 11:00"},
         true,
         DateTime::fromFields(2011, 6, 15, 10, 0),
         DateTime::fromFields(2011, 6, 15, 11, 0, 59)}, // the end's whole minute
        {{"--report", "r.pdf", "--recorder", "0", "--to", "2011-06-15 11:00:30"},
         true,
         {},
         DateTime::fromFields(2011, 6, 15, 11, 0, 30)},
        // A date alone, and the form stats --json prints.
        {{"--report", "r.pdf", "--recorder", "0", "--from", "2026-11-27", "--to", "2026-11-27"},
         true,
         DateTime::fromFields(2026, 11, 27),
         DateTime::fromFields(2026, 11, 27, 23, 59, 59)},
        {{"--report", "r.pdf", "--recorder", "0", "--from", "2026-11-27T08:15:00"},
         true,
         DateTime::fromFields(2026, 11, 27, 8, 15),
         {}},
        {{"--report", "r.pdf", "--recorder", "0", "--from", "2026-11-28", "--to", "2026-11-27"},
         false,
         {},
         {}},
        {{"--report", "r.pdf"}, false, {}, {}},
        {{"--report", "", "--recorder", "0"}, false, {}, {}},
        {{"--report", "r.pdf", "--recorder", "x"}, false, {}, {}},
        {{"--report", "r.pdf", "--recorder", "0", "--from", "2011-02-30 10:00"}, false, {}, {}},
        {{"--recorder", "0"}, false, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const AppOptionsOutcome outcome = parseAppOptions(QStringList{"veldrin"} + c.args);
        ASSERT_EQ(outcome.kind == AppOptionsOutcome::Run, c.valid) << outcome.text.toStdString();
        if (c.valid) {
            EXPECT_EQ(outcome.options.reportPath, "r.pdf");
            EXPECT_EQ(outcome.options.from, c.from);
            EXPECT_EQ(outcome.options.to, c.to);
        }
    }
}

// Qt's own options are kept out of the program's, so that those are read before Qt starts.
TEST(AppOptions, QtOptionsAreLeftToQt) {
    const QStringList kept = withoutQtOptions(
        {"veldrin", "-platform", "xcb", "--report", "r.pdf", "-reverse", "--recorder", "1"});
    EXPECT_EQ(kept, QStringList({"veldrin", "--report", "r.pdf", "--recorder", "1"}));
    EXPECT_EQ(parseAppOptions(withoutQtOptions({"veldrin", "--lang", "5", "-platform", "xcb"}))
                  .text.toStdString(),
              "--lang: \"5\" is not 0, 1 or 2");
}

TEST(SingleInstance, ASecondClaimOnOneFolderRaisesTheFirstAnotherFolderRunsBeside) {
    TempDir runtime;
    TempDir folderA;
    TempDir folderB;
    SingleInstance first(QString::fromStdString(folderA.path()),
                         QString::fromStdString(runtime.path()));
    ASSERT_EQ(first.claim(), SingleInstance::Outcome::First) << first.errorText().toStdString();
    int raises = 0;
    QObject::connect(&first, &SingleInstance::raiseRequested, [&raises] { ++raises; });

    // Another spelling of the same folder is the same folder.
    SingleInstance second(QString::fromStdString(folderA.path()) + "/./",
                          QString::fromStdString(runtime.path()));
    EXPECT_EQ(second.claim(), SingleInstance::Outcome::AlreadyRunning);
    EXPECT_TRUE(processEventsUntil([&raises] { return raises == 1; }));

    SingleInstance beside(QString::fromStdString(folderB.path()),
                          QString::fromStdString(runtime.path()));
    EXPECT_EQ(beside.claim(), SingleInstance::Outcome::First);
    EXPECT_NE(beside.serverPath(), first.serverPath());
    EXPECT_EQ(raises, 1);
}

TEST(SingleInstance, AFolderIsFreeAgainOnceItsHolderHasGone) {
    TempDir runtime;
    TempDir folder;
    const QString data = QString::fromStdString(folder.path());
    const QString run = QString::fromStdString(runtime.path());
    {
        SingleInstance first(data, run);
        ASSERT_EQ(first.claim(), SingleInstance::Outcome::First);
    }
    SingleInstance next(data, run);
    EXPECT_EQ(next.claim(), SingleInstance::Outcome::First);

    // A lock file left behind by a process that no longer runs is taken over, and its socket
    // file does not stand in the way.
    SingleInstance afterCrash(QString::fromStdString(folder.path()) + "x", run);
    testing::writeFile(afterCrash.lockPath().toStdString(), "999999999\nveldrin\n\n");
    testing::writeFile(afterCrash.serverPath().toStdString(), "");
    EXPECT_EQ(afterCrash.claim(), SingleInstance::Outcome::First)
        << afterCrash.errorText().toStdString();
}

TEST(SingleInstance, ARequestOtherThanRaiseIsIgnored) {
    TempDir runtime;
    TempDir folder;
    SingleInstance first(QString::fromStdString(folder.path()),
                         QString::fromStdString(runtime.path()));
    ASSERT_EQ(first.claim(), SingleInstance::Outcome::First);
    int raises = 0;
    QObject::connect(&first, &SingleInstance::raiseRequested, [&raises] { ++raises; });
    QLocalSocket socket;
    socket.connectToServer(first.serverPath());
    ASSERT_TRUE(socket.waitForConnected(2000));
    socket.write("quit\nraise\n");
    socket.waitForBytesWritten(2000);
    EXPECT_TRUE(processEventsUntil([&raises] { return raises == 1; }));
    EXPECT_EQ(raises, 1);
}

} // namespace
} // namespace veldrin
