// The display selection: every consumer of what is shown takes the same snapshot, and Back
// follows the recorder the selection shows.

#include "view_rig.h"

#include "chart/chart_area.h"
#include "view/alarm_commands.h"
#include "view/display_selection.h"
#include "view/record_list_model.h"

#include <gtest/gtest.h>

namespace veldrin {
namespace {

using testing::recordAt;
using testing::ViewRig;
using testing::writeDataFile;
using testing::writeFile;

// A window moved by the chart, a limit stored and the list shown: the chart, the list and the
// statistics see one snapshot with that window and those limits, and asking again for what is
// shown makes no new one.
TEST(DisplaySelection, ChartListAndStatisticsTakeTheSameSnapshot) {
    ViewRig rig;
    writeFile(rig.file("main.ini"), "[Drive ID]\nMaxID=1\nID0000000=6,2,3\n"
                                    "[Alarm Limits 0]\nTempHigh=24\n");
    RecordList records;
    for (int m = 0; m < 60; ++m) {
        records.push_back(recordAt(DateTime::fromFields(2011, 6, 15, 14, m), 20.0 + m % 9, 40));
    }
    writeDataFile(rig.file("0.dat"), RecorderSettings{}, records);
    CVeldrinView& view = rig.start();
    view.show();
    const TimeWindow window{DateTime::fromFields(2011, 6, 15, 14, 10),
                            DateTime::fromFields(2011, 6, 15, 14, 29)};
    view.showFreeWindow(window);

    const std::shared_ptr<const DisplaySnapshot> shown = view.shownNow();
    EXPECT_EQ(view.shownNow(), shown);
    EXPECT_EQ(shown->from, window.start);
    EXPECT_EQ(shown->to, window.end);
    EXPECT_EQ(shown->recorder, 0);
    EXPECT_EQ(shown->limits.tempHigh, 24.0);
    EXPECT_EQ(view.chartArea().snapshot(), shown);
    EXPECT_EQ(view.recordListModel().shown(), shown);
    const WindowStatistics stats = windowStatistics(*shown);
    EXPECT_EQ(stats.records, static_cast<std::size_t>(view.recordListModel().rowCount()));
    EXPECT_EQ(stats.records, 20u);
}

// Back goes through the windows of the recorder shown; another recorder starts afresh.
TEST(DisplaySelection, BackFollowsTheRecorderShown) {
    testing::TempDir dir;
    IniFile ini(dir.file("main.ini"));
    ManualClock clock;
    DataStore store(dir.path(), ini, clock);
    DisplaySelection selection(store);
    const auto at = [](int hour) {
        return TimeWindow{DateTime::fromFields(2011, 6, 15, hour),
                          DateTime::fromFields(2011, 6, 15, hour, 59)};
    };
    selection.choose(DisplayChoice{0, at(8), DisplayMode::chart, {}});
    selection.rememberWindow();
    selection.choose(DisplayChoice{0, at(9), DisplayMode::chart, {}});
    selection.rememberWindow();
    selection.choose(DisplayChoice{0, at(10), DisplayMode::chart, {}});
    EXPECT_EQ(selection.previousWindow()->start, at(9).start);
    EXPECT_EQ(selection.previousWindow()->start, at(8).start);
    EXPECT_FALSE(selection.previousWindow());

    selection.rememberWindow();
    selection.choose(DisplayChoice{1, at(11), DisplayMode::chart, {}});
    EXPECT_FALSE(selection.previousWindow()); // recorder 0's windows are not recorder 1's
    selection.choose(DisplayChoice{0, at(11), DisplayMode::chart, {}});
    EXPECT_FALSE(selection.previousWindow());
}

} // namespace
} // namespace veldrin
