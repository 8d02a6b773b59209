// Moving the time window with the mouse and the keys on the chart of the main view: the gestures
// that could be mistaken for others, Back through the windows shown before, and the jump from a
// value of the summary boxes to its record.

#include "view_rig.h"

#include "chart/chart_area.h"
#include "view/command_ids.h"
#include "view/display_area.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QTableView>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <functional>

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

constexpr int kDayPreset = 1;
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
        RecorderSettings settings;
        settings.recorderNumber = 1;
        writeDataFile(rig.file("1.dat"), settings, records);
        view = &rig.start();
        chart = qobject_cast<chart::ChartArea*>(view->displayArea().chartWidget());
        showDay();
    }

    void showDay() {
        choose(rig.control<QComboBox>(control_id::kSelectCombo), 0);
        choose(rig.control<QComboBox>(control_id::kPeriodCombo), kDayPreset);
    }

    std::pair<QDateTime, QDateTime> window() {
        return {rig.control<QDateTimeEdit>(control_id::kStartTime)->dateTime(),
                rig.control<QDateTimeEdit>(control_id::kEndTime)->dateTime()};
    }
    bool free() { return view->selectMode() == SelectMode::free; }

    void mouse(QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(p), chart->mapToGlobal(QPointF(p)), button, held,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(chart, &event);
    }
    void drag(Qt::MouseButton button, std::initializer_list<QPoint> path) {
        const QPoint* p = path.begin();
        mouse(QEvent::MouseButtonPress, *p, button, button);
        for (++p; p != path.end(); ++p) {
            mouse(QEvent::MouseMove, *p, Qt::NoButton, button);
        }
        mouse(QEvent::MouseButtonRelease, *(path.end() - 1), button, Qt::NoButton);
    }
    void wheel(QPoint p, int angle, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWheelEvent event(QPointF(p), chart->mapToGlobal(QPointF(p)), QPoint(), QPoint(0, angle),
                          Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(chart, &event);
    }
    void key(Qt::Key key) { QTest::keyClick(chart, key); }

    ViewRig rig;
    CVeldrinView* view = nullptr;
    chart::ChartArea* chart = nullptr;
};

TEST(ChartNavigationInView, GesturesMoveTheWindowToTheSecondAndMisfiresMoveNothing) {
    NavigationRig n;
    ASSERT_NE(n.chart, nullptr);
    const struct {
        const char* name;
        std::function<void()> gesture;
        QDateTime start, end;
    } cases[] = {
        {"a press and release 4 pixels apart is a click",
         [&] {
             n.drag(Qt::LeftButton, {{300, kRow}, {302, kRow + 30}, {304, kRow}});
         },
         at(15, 0), at(16, 0)},
        // Column 440 is 380.5 columns of 113.68 s into the day: 12:00:56.8.
        {"a drag from right to left selects the span between",
         [&] {
             n.mouse(QEvent::MouseButtonPress, {kRight, kRow}, Qt::LeftButton, Qt::LeftButton);
             n.mouse(QEvent::MouseMove, {kMiddle, kRow + 50}, Qt::NoButton, Qt::LeftButton);
             const QImage during = n.chart->currentImage();
             EXPECT_NE(during.pixel(600, 100), chart::kBackground.rgb()) << "no band";
             EXPECT_EQ(during.pixel(400, 100), chart::kBackground.rgb()) << "band too wide";
             n.mouse(QEvent::MouseButtonRelease, {kMiddle, kRow}, Qt::LeftButton, Qt::NoButton);
             EXPECT_EQ(n.chart->currentImage().pixel(600, 100), chart::kBackground.rgb())
                 << "the band stays";
         },
         at(15, 12, 0, 57), at(16, 0)},
        {"a drag beyond the plot ends at its edge",
         [&] {
             n.drag(Qt::LeftButton, {{kMiddle, kRow}, {kRight + 50, kRow}});
         },
         at(15, 12, 0, 57), at(16, 0)},
        {"the wheel on the right edge zooms in around the end",
         [&] {
             n.wheel({kRight, kRow}, 120);
         },
         at(15, 12), at(16, 0)},
        {"the wheel turned back on the left edge zooms out around the start",
         [&] {
             n.wheel({kLeft, kRow}, -120);
         },
         at(15, 0), at(17, 0)},
        {"half a notch, twice, is one notch",
         [&] {
             n.wheel({kRight, kRow}, 60);
             n.wheel({kRight, kRow}, 60);
         },
         at(15, 12), at(16, 0)},
        {"the wheel beside the plot does nothing",
         [&] {
             n.wheel({kRight + 20, kRow}, 120);
         },
         at(15, 0), at(16, 0)},
        {"Shift and the wheel pan by a tenth",
         [&] {
             n.wheel({kMiddle, kRow}, 120, Qt::ShiftModifier);
         },
         at(14, 21, 36), at(15, 21, 36)},
        {"+ zooms in around the middle", [&] { n.key(Qt::Key_Plus); }, at(15, 6), at(15, 18)},
        {"- zooms out around the middle", [&] { n.key(Qt::Key_Minus); }, at(14, 12), at(16, 12)},
        {"the right arrow pans a tenth forward", [&] { n.key(Qt::Key_Right); }, at(15, 2, 24),
         at(16, 2, 24)},
        // 152 columns of 113.68 s: 4:48 earlier.
        {"the middle button drags the content along",
         [&] {
             n.drag(Qt::MiddleButton, {{kMiddle, kRow}, {516, 50}, {592, kRow}});
         },
         at(14, 19, 12), at(15, 19, 12)},
    };
    for (const auto& c : cases) {
        n.showDay();
        c.gesture();
        EXPECT_EQ(n.window(), std::pair(c.start, c.end)) << c.name;
        const bool moved = c.start != at(15, 0) || c.end != at(16, 0);
        EXPECT_EQ(n.free(), moved) << c.name;
        EXPECT_EQ(n.rig.control<QDateTimeEdit>(control_id::kStartDate)->isEnabled(), moved)
            << c.name;
        EXPECT_EQ(n.rig.control<QDateTimeEdit>(control_id::kEndDate)->dateTime(), c.end) << c.name;
    }
}

TEST(ChartNavigationInView, BackGoesThroughTheWindowsOfOneRecorderUntilAnotherOrAPreset) {
    NavigationRig n;
    QApplication::setActiveWindow(n.view);
    n.chart->setFocus();
    std::vector<std::pair<QDateTime, QDateTime>> shown{n.window()};
    n.wheel({kMiddle, kRow}, 120);
    shown.push_back(n.window());
    n.key(Qt::Key_Plus);
    shown.push_back(n.window());
    // A pan drag is one step, however many moves it makes.
    n.drag(Qt::MiddleButton, {{kMiddle, kRow}, {500, kRow}, {560, kRow}, {600, kRow}});
    ASSERT_NE(n.window(), shown.back());
    for (int i = static_cast<int>(shown.size()) - 1; i >= 0; --i) {
        if (i % 2 == 0) {
            n.key(Qt::Key_Backspace);
        } else {
            n.view->onBack(); // the toolbar button
        }
        EXPECT_EQ(n.window(), shown[static_cast<std::size_t>(i)]) << "step " << i;
    }
    n.view->onBack();
    EXPECT_EQ(n.window(), shown.front()) << "went back beyond the first window";

    auto* recorders = n.rig.control<QComboBox>(control_id::kRecorderCombo);
    const struct {
        const char* name;
        std::function<void()> change;
    } newHistories[] = {
        {"another recorder", [&] { choose(recorders, 0); }},
        {"the recorder shown before, again", [&] { choose(recorders, 1); }},
        {"a preset", [&] { n.showDay(); }},
    };
    for (const auto& c : newHistories) {
        n.wheel({kMiddle, kRow}, -120);
        c.change();
        const auto before = n.window();
        n.view->onBack();
        EXPECT_EQ(n.window(), before) << c.name;
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
        QPoint click;
        QDateTime start, end;
        int row; // in the list of the new window
    } cases[] = {
        {"the highest temperature", {164, valueLine}, at(15, 2), at(16, 2), 72},
        {"the latest reading", {560, valueLine + line}, at(15, 11, 50), at(16, 11, 50), 72},
        {"a caption", {164, valueLine - line}, at(15, 0), at(16, 0), -1},
    };
    for (const auto& c : cases) {
        n.showDay();
        choose(n.rig.control<QComboBox>(control_id::kDisplayCombo), 0);
        n.chart->currentImage();
        n.drag(Qt::LeftButton, {c.click, c.click + QPoint(2, 1)});
        EXPECT_EQ(n.window(), std::pair(c.start, c.end)) << c.name;
        choose(n.rig.control<QComboBox>(control_id::kDisplayCombo), 1);
        const QModelIndexList rows = list->selectionModel()->selectedRows();
        if (c.row < 0) {
            EXPECT_TRUE(rows.isEmpty()) << c.name;
            continue;
        }
        ASSERT_EQ(rows.size(), 1) << c.name;
        EXPECT_EQ(rows.front().row(), c.row) << c.name;
        EXPECT_TRUE(list->viewport()->rect().intersects(list->visualRect(rows.front())))
            << c.name << ": the row is not scrolled to";
    }
}

} // namespace
} // namespace veldrin::testing
