// Moving the time window with the mouse and the keys on the chart of the main view: the gestures
// that could be mistaken for others, Back through the windows shown before, and the jump from a
// value of the summary boxes to its record.

#include "view_rig.h"

#include "chart/chart_area.h"
#include "view/command_ids.h"
#include "view/display_area.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QTableView>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

inline void PrintTo(const QDateTime& time, std::ostream* out) {
    *out << time.toString(Qt::ISODate).toStdString();
}

namespace veldrin::testing {
namespace {

QDateTime at(int d, int h, int mi = 0, int s = 0) {
    return QDateTime(QDate(2011, 6, d), QTime(h, mi, s), Qt::UTC);
}

void choose(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    Q_EMIT combo->activated(index);
}

// The chart of a 900 x 600 view: the plot's columns run from 60 to 820, its rows from 15 to 370.
constexpr int kLeft = 60;
constexpr int kRight = 820;
constexpr int kMiddle = 440;
constexpr int kRow = 200;

// Recorder 1 (shown at start) logs every 10 minutes of 2011-06-15, warmest at 14:00; recorder 0
// has one record.
struct NavigationRig {
    NavigationRig() {
        writeFile(rig.file("main.ini"), "[Drive ID]\nMaxID=2\nID0000000=6,2,3\nID0000001=7,3,4\n");
        writeDataFile(rig.file("0.dat"), RecorderSettings{},
                      {recordAt(DateTime::fromFields(2011, 6, 15, 9), 18.0, 30)});
        RecordList records;
        for (int m = 0; m < 24 * 60; m += 10) {
            const DateTime time = DateTime::fromFields(2011, 6, 15, m / 60, m % 60);
            records.push_back(recordAt(time, m == 14 * 60 ? 30.0 : 20.0 + (m % 70) * 0.01, 50));
        }
        writeDataFile(rig.file("1.dat"), RecorderSettings{}, records);
        view = &rig.start();
        chart = &view->chartArea();
        showDay();
    }

    void showDay() {
        choose(rig.control<QComboBox>(control_id::kSelectCombo), 0);
        choose(rig.control<QComboBox>(control_id::kPeriodCombo), 1); // the current day
    }

    std::pair<QDateTime, QDateTime> window() {
        return {rig.control<QDateTimeEdit>(control_id::kStartTime)->dateTime(),
                rig.control<QDateTimeEdit>(control_id::kEndTime)->dateTime()};
    }

    void mouse(QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(p), chart->mapToGlobal(QPointF(p)), button, held,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(chart, &event);
    }
    // Press at the first point, move through the others, release at the last.
    void drag(Qt::MouseButton button, const std::vector<QPoint>& path) {
        mouse(QEvent::MouseButtonPress, path.front(), button, button);
        for (std::size_t i = 1; i < path.size(); ++i) {
            mouse(QEvent::MouseMove, path[i], Qt::NoButton, button);
        }
        mouse(QEvent::MouseButtonRelease, path.back(), button, Qt::NoButton);
    }
    void wheel(QPoint p, int angle, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWheelEvent event(QPointF(p), chart->mapToGlobal(QPointF(p)), QPoint(), QPoint(0, angle),
                          Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(chart, &event);
    }
    void key(int key) { QTest::keyClick(chart, static_cast<Qt::Key>(key)); }

    ViewRig rig;
    CVeldrinView* view = nullptr;
    chart::ChartArea* chart = nullptr;
};

TEST(ChartNavigationInView, GesturesMoveTheWindowToTheSecondAndMisfiresMoveNothing) {
    NavigationRig n;
    enum Kind { leftDrag, middleDrag, wheel, shiftWheel, key };
    const QDateTime from = at(15, 0), to = at(16, 0), noonish = at(15, 12, 0, 57);
    const QDateTime panned = at(14, 19, 12);
    const struct {
        const char* name;
        Kind kind;
        std::vector<QPoint> path; // of a drag or where the wheel turns
        int amount;               // wheel angle or key
        QDateTime start, end;
    } cases[] = {
        {"4 pixels are a click", leftDrag, {{300, kRow}, {302, 230}, {304, kRow}}, 0, from, to},
        // Column 440 is 380.5 columns of 113.68 s into the day: 12:00:56.8.
        {"drag right to left", leftDrag, {{kRight, kRow}, {kMiddle, 209}}, 0, noonish, to},
        {"wheel on the right edge", wheel, {{kRight, kRow}}, 120, at(15, 12), to},
        {"wheel back on the left edge", wheel, {{kLeft, kRow}}, -120, from, at(17, 0)},
        {"wheel beside the plot", wheel, {{kRight + 20, kRow}}, 120, from, to},
        {"Shift+wheel", shiftWheel, {{kMiddle, kRow}}, 120, at(14, 21, 36), at(15, 21, 36)},
        {"+", key, {}, Qt::Key_Plus, at(15, 6), at(15, 18)},
        {"right arrow", key, {}, Qt::Key_Right, at(15, 2, 24), at(16, 2, 24)},
        // 152 columns of 113.68 s: 4:48 earlier.
        {"middle drag", middleDrag, {{kMiddle, 9}, {516, 50}, {592, 9}}, 0, panned, at(15, 19, 12)},
    };
    for (const auto& c : cases) {
        n.showDay();
        if (c.kind == leftDrag || c.kind == middleDrag) {
            n.drag(c.kind == leftDrag ? Qt::LeftButton : Qt::MiddleButton, c.path);
        } else if (c.kind == key) {
            n.key(c.amount);
        } else {
            n.wheel(c.path.front(), c.amount,
                    c.kind == shiftWheel ? Qt::ShiftModifier : Qt::NoModifier);
        }
        EXPECT_EQ(n.window(), std::pair(c.start, c.end)) << c.name;
        // A moved window is a free period, and its pickers are open.
        const bool moved = c.start != from || c.end != to;
        EXPECT_EQ(n.rig.control<QDateTimeEdit>(control_id::kStartDate)->isEnabled(), moved)
            << c.name;
    }

    // The band shows between the press and the cursor while the button is down.
    n.mouse(QEvent::MouseButtonPress, {kRight, kRow}, Qt::LeftButton, Qt::LeftButton);
    n.mouse(QEvent::MouseMove, {kMiddle, kRow}, Qt::NoButton, Qt::LeftButton);
    EXPECT_NE(n.chart->currentImage().pixel(600, 100), chart::kBackground.rgb());
    EXPECT_EQ(n.chart->currentImage().pixel(400, 100), chart::kBackground.rgb());
    n.mouse(QEvent::MouseButtonRelease, {kMiddle, kRow}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(n.chart->currentImage().pixel(600, 100), chart::kBackground.rgb());
}

TEST(ChartNavigationInView, BackGoesThroughTheWindowsOfOneRecorderUntilAnotherOrAPreset) {
    NavigationRig n;
    QApplication::setActiveWindow(n.view);
    n.chart->setFocus();
    std::vector<std::pair<QDateTime, QDateTime>> shown{n.window()};
    EXPECT_FALSE(n.rig.frame.backEnabled); // Back is enabled exactly while it has a window
    n.wheel({kMiddle, kRow}, 120);
    EXPECT_TRUE(n.rig.frame.backEnabled);
    shown.push_back(n.window());
    n.key(Qt::Key_Plus);
    shown.push_back(n.window());
    // A pan drag is one step, however many moves it makes.
    n.drag(Qt::MiddleButton, {{kMiddle, kRow}, {500, kRow}, {560, kRow}, {600, kRow}});
    ASSERT_NE(n.window(), shown.back());
    // Backspace on the chart and the toolbar button (onBack) in turn, once more than there are.
    for (std::size_t i : {2, 1, 0, 0}) {
        i % 2 == 0 ? n.key(Qt::Key_Backspace) : n.view->onBack();
        EXPECT_EQ(n.window(), shown[i]) << "step " << i;
        EXPECT_EQ(n.rig.frame.backEnabled, i > 0) << "step " << i;
    }

    // Another recorder, the one shown before again, a preset: each starts a new history.
    auto* recorders = n.rig.control<QComboBox>(control_id::kRecorderCombo);
    const std::function<void()> newHistories[] = {
        [&] { choose(recorders, 0); }, [&] { choose(recorders, 1); }, [&] { n.showDay(); }};
    for (const auto& change : newHistories) {
        n.wheel({kMiddle, kRow}, -120);
        change();
        EXPECT_FALSE(n.rig.frame.backEnabled);
        const auto before = n.window();
        n.view->onBack();
        EXPECT_EQ(n.window(), before) << "after change " << &change - newHistories;
    }
}

TEST(ChartNavigationInView, AValueOfTheSummaryBoxesCentresTheWindowOnItsRecordAndItsRow) {
    NavigationRig n;
    n.chart->currentImage();
    const int line = QFontMetrics(chart::chartFont(n.chart->logicalDpiY())).height();
    const int valueLine = 370 + 28 + line + line / 2;
    auto* list = n.rig.control<QTableView>(control_id::kRecordList);
    const struct {
        const char* name;
        QPoint click; // or a key
        int key;
        QDateTime start, end;
        int row; // in the list of the window centred on the record
    } cases[] = {
        {"the highest temperature", {164, valueLine}, 0, at(15, 2), at(16, 2), 72},
        {"the latest reading", {560, valueLine + line}, 0, at(15, 11, 50), at(16, 11, 50), 72},
        {"End: the highest temperature", {}, Qt::Key_End, at(15, 2), at(16, 2), 72},
        {"Home: the lowest temperature", {}, Qt::Key_Home, at(15, 11, 20), at(16, 11, 20), 72},
    };
    for (const auto& c : cases) {
        n.showDay();
        choose(n.rig.control<QComboBox>(control_id::kDisplayCombo), 0);
        n.chart->currentImage();
        if (c.key != 0) {
            n.key(c.key);
        } else {
            n.drag(Qt::LeftButton, {c.click, c.click + QPoint(2, 1)});
        }
        EXPECT_EQ(n.window(), std::pair(c.start, c.end)) << c.name;
        choose(n.rig.control<QComboBox>(control_id::kDisplayCombo), 1);
        const QModelIndexList rows = list->selectionModel()->selectedRows();
        ASSERT_EQ(rows.size(), 1) << c.name;
        EXPECT_EQ(rows.front().row(), c.row) << c.name;
        EXPECT_TRUE(list->viewport()->rect().intersects(list->visualRect(rows.front())))
            << c.name << ": the row is not scrolled to";
    }
}

} // namespace
} // namespace veldrin::testing
