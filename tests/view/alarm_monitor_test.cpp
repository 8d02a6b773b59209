// Following the connected recorder: the records present when the window starts are history and
// notify nothing; an event that begins later notifies once, after its delay; the status text
// stands while an attached recorder's newest record is out of range.

#include "view_rig.h"

#include "qlang/qlang.h"
#include "store/data_store.h"
#include "view/alarm_monitor.h"

#include <gtest/gtest.h>

namespace veldrin {
namespace {

using testing::recordAt;

class AlarmFollowing : public ::testing::Test {
protected:
    void SetUp() override {
        testing::writeFile(dir.file("main.ini"),
                           "[Drive ID]\nMaxID=1\nID0000000=6,2,3\n"
                           "[Alarm Limits 0]\nTempHigh=25\nDelayMinutes=20\n");
    }
    // The connected recorder's file holds these temperatures, ten minutes apart.
    void recorded(const std::vector<double>& temperatures) {
        RecordList records;
        for (std::size_t i = 0; i < temperatures.size(); ++i) {
            records.push_back(recordAt(
                DateTime::fromFields(2011, 6, 15, 10, 0).plusMinutes(10 * static_cast<int64_t>(i)),
                temperatures[i], 50));
        }
        testing::writeDataFile(dir.file("0.dat"), RecorderSettings{}, records);
        ASSERT_EQ(store.loadBothSets(0), 1);
        store.setCurrentRecorder(0);
        monitor.setDisplayedRecorder(0); // the status names the recorder shown only
    }

    testing::ScopedTimeZone tz{"UTC0"};
    testing::TempDir dir;
    ManualClock clock;
    IniFile ini{dir.file("main.ini")};
    DataStore store{dir.path(), ini, clock};
    QStringList notified;
    AlarmMonitor monitor{store,
                         dir.file("main.ini"),
                         [this](const QString&, const QString& body) { notified << body; },
                         {}};
};

TEST_F(AlarmFollowing, HistoryIsSilentNewEventsNotifyOnceAfterTheirDelay) {
    const struct {
        std::vector<double> temperatures;
        bool attached;
        bool statusShown;
        int notifications;
    } steps[] = {
        {{20, 20, 30, 31}, true, true, 0},               // an event in progress at start: history
        {{20, 20, 30, 31, 20, 26}, true, true, 0},       // a new run, ten minutes: not yet an event
        {{20, 20, 30, 31, 20, 26, 27}, false, false, 1}, // twenty minutes: it begins
        {{20, 20, 30, 31, 20, 26, 27, 28, 24}, true, false, 1}, // over, and in range again
    };
    for (const auto& step : steps) {
        recorded(step.temperatures);
        const QString status = monitor.follow(step.attached);
        EXPECT_EQ(!status.isEmpty(), step.statusShown) << step.temperatures.size();
        EXPECT_EQ(notified.size(), step.notifications) << step.temperatures.size();
    }
    ASSERT_EQ(notified.size(), 1);
    EXPECT_TRUE(notified[0].contains("2011-06-15 11:00:00")) << notified[0].toStdString();
    EXPECT_EQ(notified[0].count(QLatin1Char(':')), notified[0].count(QStringLiteral(":00")) + 1)
        << notified[0].toStdString(); // "Recorder no.: 0 – ...", no second colon
}

// A limit changed while the connected recorder lies beyond it: the delay runs from the first
// reading beyond the limit now in force, so an event already said is never said a second time, and
// a run shorter than the delay becomes an event when the delay has passed since its first reading.
TEST_F(AlarmFollowing, ALimitChangedDuringAnExcursionCountsTheDelayFromTheFirstReadingBeyondIt) {
    const struct {
        const char* what;
        std::vector<double> before; // then the limit moves from 25 to 27
        std::vector<double> after;
        int notifications;
        const char* beganAt; // of the last notification
    } cases[] = {
        {"raised during an event", {20, 20, 30, 30, 30}, {30, 30, 30, 30}, 1, "10:40:00"},
        {"raised before the delay had passed", {20, 20, 30}, {30, 30}, 1, "10:40:00"},
    };
    for (const auto& c : cases) {
        SetUp(); // the limit back at 25
        monitor.limitsChanged(0);
        notified.clear();
        recorded({20});
        monitor.follow(true); // the history
        std::vector<double> temperatures{20};
        temperatures.insert(temperatures.end(), c.before.begin(), c.before.end());
        recorded(temperatures);
        monitor.follow(true);
        testing::writeFile(dir.file("main.ini"),
                           "[Drive ID]\nMaxID=1\nID0000000=6,2,3\n"
                           "[Alarm Limits 0]\nTempHigh=27\nDelayMinutes=20\n");
        monitor.limitsChanged(0);
        for (const double t : c.after) {
            temperatures.push_back(t);
            recorded(temperatures);
            monitor.follow(true);
        }
        EXPECT_EQ(notified.size(), c.notifications) << c.what;
        if (!notified.isEmpty()) {
            EXPECT_TRUE(notified.back().contains(c.beganAt)) << c.what;
        }
    }
}

// Two recorders followed at once, each on the store of its own chain: an event of either
// notifies, naming its recorder, and the status speaks of the displayed one only.
TEST_F(AlarmFollowing, EachRecorderIsFollowedOnItsOwnAndTheStatusNamesTheDisplayedOne) {
    testing::writeFile(dir.file("main.ini"), "[Drive ID]\nMaxID=2\nID0000000=6,2,3\n"
                                             "ID0000001=6,3,2\n[Alarm Limits 1]\nTempHigh=25\n");
    IniFile otherIni{dir.file("main.ini")};
    DataStore other{dir.path(), otherIni, clock};
    const auto follow = [&](const std::vector<double>& temperatures) {
        RecordList records;
        for (std::size_t i = 0; i < temperatures.size(); ++i) {
            records.push_back(recordAt(
                DateTime::fromFields(2011, 6, 15, 10, 0).plusMinutes(10 * static_cast<int64_t>(i)),
                temperatures[i], 50));
        }
        testing::writeDataFile(dir.file("1.dat"), RecorderSettings{}, records);
        EXPECT_EQ(other.loadBothSets(1), 1);
        other.setCurrentRecorder(1);
        return monitor.follow({{&store, true}, {&other, true}});
    };
    recorded({20, 21});
    EXPECT_TRUE(follow({20}).isEmpty());
    EXPECT_TRUE(follow({20, 30}).isEmpty()); // recorder 0 is displayed
    ASSERT_EQ(notified.size(), 1);
    EXPECT_TRUE(notified[0].startsWith(qlang(text::kRecorderNumber) + " 1 "))
        << notified[0].toStdString();
    monitor.setDisplayedRecorder(1);
    EXPECT_TRUE(monitor.statusText().startsWith(qlang(text::kRecorderNumber) + " 1 "));
}

} // namespace
} // namespace veldrin
