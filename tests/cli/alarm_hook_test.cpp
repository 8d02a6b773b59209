// The alarm program's runs on simulated time: one at a time per recorder, stopped when it hangs,
// every failure said, and the details in its environment.

#include "cli/alarm_hook.h"

#include "store/data_file.h"
#include "store/ini_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace veldrin::cli {
namespace {

// Programs that end when the test says so.
struct FakeLauncher final : ChildLauncher {
    struct Run {
        ChildEnvironment env;
        std::optional<ChildEnd> end;
        bool killed = false;
    };
    struct Child final : ChildProcess {
        explicit Child(Run& run) : run_(run) {}
        std::optional<ChildEnd> poll() override { return run_.end; }
        ChildEnd wait() override { return run_.end.value_or(ChildEnd{true, 9}); }
        void kill() override {
            run_.killed = true;
            run_.end = ChildEnd{true, 9};
        }
        Run& run_;
    };

    std::unique_ptr<ChildProcess> start(const std::string&, const ChildEnvironment& env,
                                        std::string& error) override {
        if (refuse) {
            error = "cannot start";
            return nullptr;
        }
        runs.push_back(std::make_unique<Run>(Run{env, std::nullopt, false}));
        return std::make_unique<Child>(*runs.back());
    }
    std::string var(std::size_t run, const std::string& name) const {
        for (const auto& [key, value] : runs.at(run)->env) {
            if (key == name) {
                return value;
            }
        }
        return "(none)";
    }

    std::vector<std::unique_ptr<Run>> runs;
    bool refuse = false;
};

AlarmNotice notice(int32_t recorder, LimitKind limit, AlarmTransition::State state, double value) {
    return AlarmNotice{
        recorder, "4,2,2", true,
        AlarmTransition{state, limit, value, DateTime::fromFields(2026, 3, 1, 8, 5, 0)}};
}

class AlarmHookTest : public ::testing::Test {
protected:
    FakeLauncher launcher;
    ManualClock clock;
    std::vector<std::string> log;
    AlarmHook hook{"/bin/alarm", launcher, clock,
                   [this](const std::string& s) { log.push_back(s); }};
};

TEST_F(AlarmHookTest, OneRunAtATimePerRecorderWithTheDetailsInItsEnvironment) {
    using S = AlarmTransition::State;
    hook.notify(notice(0, LimitKind::tempHigh, S::begin, 77.54));
    hook.notify(notice(0, LimitKind::tempHigh, S::end, 76.0));
    hook.notify(notice(1, LimitKind::humLow, S::begin, 20.0));
    ASSERT_EQ(launcher.runs.size(), 2u); // recorder 1 does not wait for recorder 0
    EXPECT_EQ(launcher.var(0, "VELDRIN_RECORDER"), "0");
    EXPECT_EQ(launcher.var(0, "VELDRIN_IDENTITY"), "4,2,2");
    EXPECT_EQ(launcher.var(0, "VELDRIN_LIMIT"), "temp-high");
    EXPECT_EQ(launcher.var(0, "VELDRIN_STATE"), "begin");
    EXPECT_EQ(launcher.var(0, "VELDRIN_VALUE"), "77.5");
    EXPECT_EQ(launcher.var(0, "VELDRIN_UNIT"), "F");
    EXPECT_EQ(launcher.var(0, "VELDRIN_TIME"), "2026-03-01T08:05:00");
    EXPECT_EQ(launcher.var(1, "VELDRIN_UNIT"), "%");
    EXPECT_EQ(launcher.var(1, "VELDRIN_VALUE"), "20");

    hook.poll();
    EXPECT_EQ(launcher.runs.size(), 2u);
    launcher.runs[0]->end = ChildEnd{false, 0};
    hook.poll();
    ASSERT_EQ(launcher.runs.size(), 3u);
    EXPECT_EQ(launcher.var(2, "VELDRIN_STATE"), "end");
    EXPECT_TRUE(log.empty());
}

TEST_F(AlarmHookTest, AHangingRunIsStoppedAfterSixtySecondsAndFailuresAreSaid) {
    using S = AlarmTransition::State;
    hook.notify(notice(0, LimitKind::tempLow, S::begin, 1.0));
    hook.notify(notice(0, LimitKind::tempLow, S::end, 3.0));
    clock.advanceMs(kAlarmProgramLimitMs - 1);
    hook.poll();
    EXPECT_FALSE(launcher.runs[0]->killed);
    clock.advanceMs(1);
    hook.poll();
    EXPECT_TRUE(launcher.runs[0]->killed);
    ASSERT_EQ(launcher.runs.size(), 2u); // the next one runs at once
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("still running after 60 seconds"), std::string::npos) << log[0];

    launcher.runs[1]->end = ChildEnd{false, 3};
    hook.poll();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[1].find("temp-low end at 2026-03-01T08:05:00 exited with status 3"),
              std::string::npos)
        << log[1];

    launcher.refuse = true;
    hook.notify(notice(0, LimitKind::tempLow, S::begin, 1.0));
    ASSERT_EQ(log.size(), 3u);
    EXPECT_NE(log[2].find("cannot start"), std::string::npos);
    EXPECT_FALSE(hook.running(0));
}

TEST_F(AlarmHookTest, WaitingRunsAreBoundedAndDroppedWhenWatchingEnds) {
    using S = AlarmTransition::State;
    for (std::size_t i = 0; i < kMaxWaitingAlarms + 2; ++i) {
        hook.notify(notice(0, LimitKind::humHigh, i % 2 == 0 ? S::begin : S::end, 80.0));
    }
    EXPECT_EQ(launcher.runs.size(), 1u);
    ASSERT_EQ(log.size(), 1u); // one running, kMaxWaitingAlarms waiting, one refused
    clock.advanceMs(20500);
    const int64_t before = clock.steadyMs();
    hook.finish();
    // The run under way had the rest of its time, said so, then was stopped; none of the waiting
    // ones ran.
    EXPECT_EQ(clock.steadyMs() - before, kAlarmProgramLimitMs - 20500);
    EXPECT_TRUE(launcher.runs[0]->killed);
    EXPECT_EQ(launcher.runs.size(), 1u);
    ASSERT_EQ(log.size(), 3u + kMaxWaitingAlarms);
    EXPECT_NE(log[1 + kMaxWaitingAlarms].find("hum-high begin at 2026-03-01T08:05:00 to end "
                                              "(at most 40 seconds)"),
              std::string::npos);
}

// One watch, from its start to its first check, over recorder 0's history given as temperatures a
// minute apart from 08:00 with a high limit of 25 C and no delay (or the limit off): its calls of
// the alarm program as "begin@MINUTE" and "end@MINUTE", and the count of problems said.
std::pair<std::vector<std::string>, std::size_t>
watchOnce(const std::string& folder, const std::vector<double>& temperatures, bool limitOn = true) {
    testing::writeFile(folder + "/main.ini",
                       std::string("[Drive ID]\nMaxID=1\nID0000000=6,2,3\n[Alarm Limits 0]\n") +
                           (limitOn ? "TempHigh=25\n" : "") + "DelayMinutes=0\n");
    RecordList records(temperatures.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].setTime(DateTime::fromFields(2026, 3, 1, 8, static_cast<int>(i)));
        records[i].temperature = temperatures[i];
        records[i].interval = 1;
    }
    testing::writeFile(folder + "/0.dat", encodeDataFile(RecorderSettings{}, records, 0));
    FakeLauncher launcher;
    ManualClock clock;
    std::pair<std::vector<std::string>, std::size_t> run;
    const auto ignore = [](const std::string&) {};
    AlarmHook hook("/bin/alarm", launcher, clock, ignore);
    IniFile ini(folder + "/main.ini");
    DataStore store(folder, ini, clock);
    store.loadAtStartUp();
    AlarmWatch(
        store, hook, [&](const std::string&) { ++run.second; }, ignore)
        .check();
    for (std::size_t i = 0; i < launcher.runs.size(); ++i) {
        launcher.runs[i]->end = ChildEnd{false, 0};
        hook.poll();
        run.first.push_back(launcher.var(i, "VELDRIN_STATE") + "@" +
                            launcher.var(i, "VELDRIN_TIME").substr(14, 2));
    }
    return run;
}

// An event told as begun, that ended while watch was stopped, is told as ended at the next start;
// one still going on is not.
TEST(AlarmWatch, EndsAtStartTheEventsAnnouncedThatEndedMeanwhile) {
    using V = std::vector<std::string>;
    const struct {
        const char* what;
        std::vector<double> later; // the history at the second start
        bool limitOn;
        const char* fileText; // written over what the first watch kept; null: left as it is
        V calls;
        std::size_t problems;
    } cases[] = {
        {"ended meanwhile", {20, 30, 30, 20, 20}, true, nullptr, V{"end@03"}, 0},
        {"still going on", {20, 30, 30, 30}, true, nullptr, V{"begin@01"}, 0},
        {"ended, another begun", {20, 30, 30, 20, 30}, true, nullptr, V{"end@03", "begin@04"}, 0},
        {"limit switched off", {20, 30, 30, 30}, false, nullptr, V{"end@03"}, 0},
        {"damaged file", {20, 30, 30, 20}, true, "temp-high=x\n", V{}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testing::TempDir dir;
        EXPECT_EQ(watchOnce(dir.path(), {20, 30, 30}).first, V{"begin@01"});
        if (c.fileText != nullptr) {
            testing::writeFile(dir.file("0.dat.alarms"), c.fileText);
        }
        EXPECT_EQ(watchOnce(dir.path(), c.later, c.limitOn), std::pair(c.calls, c.problems));
        // An end is told once: a third start repeats only the begin of what still goes on.
        V begins;
        std::copy_if(c.calls.begin(), c.calls.end(), std::back_inserter(begins),
                     [](const std::string& call) { return call.starts_with("begin"); });
        EXPECT_EQ(watchOnce(dir.path(), c.later, c.limitOn).first, begins);
    }
}

} // namespace
} // namespace veldrin::cli
