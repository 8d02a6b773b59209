// The comparison of several recorders in the main view: shown in place of the chart and left
// again, the legend, the limit of eight, its export as PNG and CSV, and the records it follows.

#include "view_rig.h"

#include "chart/chart_area.h"
#include "chart/comparison_chart.h"
#include "export/csv_export.h"
#include "lang/language_table.h"
#include "settings/clear_data_dialog.h"
#include "view/command_ids.h"
#include "view/comparison_view.h"
#include "view/display_area.h"

#include <QComboBox>
#include <QImage>
#include <QListWidget>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace veldrin::testing {
namespace {

// `count` registered recorders, each with an hour of records inside the view's current-hour
// window, recorder n at 10 + n degrees; recorder 1 has a description.
struct ComparisonRig {
    explicit ComparisonRig(int count) {
        std::string ini = "[Drive ID]\nMaxID=" + std::to_string(count) + "\n";
        for (int n = 0; n < count; ++n) {
            ini += registryLine(n);
            RecorderSettings settings;
            settings.description = n == 1 ? u"Cold room" : u"";
            RecordList records;
            for (int m = 0; m < 60; m += 1 + n) {
                records.push_back(recordAt(DateTime::fromFields(2011, 6, 15, 14, m),
                                           10.0 + n + (m % 3) * 0.5, 40 + n));
            }
            writeDataFile(rig.file(std::to_string(n) + ".dat"), settings, records);
        }
        writeFile(rig.file("main.ini"), ini);
        view = &rig.start();
    }
    static std::string registryLine(int n) {
        char key[16];
        std::snprintf(key, sizeof key, "ID%07d", n);
        return std::string(key) + "=" + std::to_string(n + 6) + ",2,3\n";
    }
    CComparisonView& compare(std::initializer_list<int> numbers) {
        view->onCompareRecorders();
        CComparisonView& c = *view->comparison();
        for (const int n : numbers) {
            c.choose(n, true);
        }
        EXPECT_TRUE(rig.pumpUntil([&c] { return c.complete(); }));
        return c;
    }

    ViewRig rig;
    CVeldrinView* view = nullptr;
};

std::set<QRgb> coloursIn(const QImage& image) {
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            colours.insert(image.pixel(x, y) | 0xFF000000u);
        }
    }
    return colours;
}

TEST(ComparisonView, ShownInPlaceOfTheChartAndLeftBackToWhatWasShown) {
    struct Case {
        const char* what;
        std::function<void(CVeldrinView&)> leave;
        bool list;
    };
    const Case cases[] = {
        {"the command again", [](CVeldrinView& v) { v.onCompareRecorders(); }, false},
        {"the button", [](CVeldrinView& v) { Q_EMIT v.comparison()->leaveRequested(); }, false},
        {"the Display combo on the list",
         [](CVeldrinView& v) {
             auto* display = qobject_cast<QComboBox*>(v.control(control_id::kDisplayCombo));
             display->setCurrentIndex(1);
             Q_EMIT display->activated(1);
         },
         true},
    };
    for (const Case& c : cases) {
        ComparisonRig r(3);
        CComparisonView& compare = r.compare({2});
        EXPECT_TRUE(r.view->comparing()) << c.what;
        EXPECT_TRUE(compare.isVisible()) << c.what;
        EXPECT_FALSE(r.view->chartArea().isVisible()) << c.what;
        // The displayed recorder (the last registered) was ticked at once, 2 by the user.
        EXPECT_EQ(compare.chosen(), std::vector<int32_t>{2}) << c.what;
        c.leave(*r.view);
        EXPECT_FALSE(r.view->comparing()) << c.what;
        EXPECT_EQ(r.view->displayArea().showsList(), c.list) << c.what;
        EXPECT_EQ(r.view->chartArea().isVisible(), !c.list) << c.what;
        EXPECT_TRUE(compare.chosen().empty()) << c.what; // the records were let go
    }
}

TEST(ComparisonView, LegendNamesEachRecorderAndEachCurveHasItsColour) {
    ComparisonRig r(4);
    CComparisonView& c = r.compare({0, 1, 3});
    EXPECT_EQ(c.legendNames(),
              (QStringList{QStringLiteral("Recorder 0"), QStringLiteral("Recorder 1: Cold room"),
                           QStringLiteral("Recorder 3")}));
    EXPECT_EQ(c.chart().legendBounds().size(), 3U);
    // In another language the list and the legend name the recorders in it.
    CurrentLanguage::set(kGerman);
    c.applyLanguage();
    EXPECT_EQ(c.legendNames().front(), QStringLiteral("Rekorder 0"));
    CurrentLanguage::set(kEnglish);
    c.applyLanguage();
    for (const chart::Curve quantity : {chart::Curve::temperature, chart::Curve::humidity}) {
        c.setQuantity(quantity);
        const std::set<QRgb> colours = coloursIn(c.image());
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(colours.count(chart::comparisonColor(i).rgb()), i < 3 ? 1U : 0U) << i;
        }
    }
    // The mouse over the plot shows the time and the three values; gone, they go.
    CComparisonChartArea& area = c.chartArea();
    const QPointF middle(area.width() / 2.0, area.height() / 3.0);
    QMouseEvent move(QEvent::MouseMove, middle, area.mapToGlobal(middle), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&area, &move);
    EXPECT_EQ(area.readout().texts.size(), 4U);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&area, &leave);
    EXPECT_TRUE(area.readout().texts.empty());
}

TEST(ComparisonView, ANinthRecorderIsRefusedWithAMessage) {
    ComparisonRig r(9);
    CComparisonView& c = r.compare({0, 1, 2, 3, 4, 5, 6});
    EXPECT_EQ(c.chosen().size(), 8U); // with the displayed recorder 8
    EXPECT_FALSE(c.choose(7, true));
    EXPECT_EQ(c.chosen().size(), 8U);
    ASSERT_EQ(r.rig.prompts.messages.size(), 1U);
    EXPECT_EQ(r.rig.prompts.messages.front(), QString::fromStdU16String(languageString(312)));
}

TEST(ComparisonView, ARecorderWhoseFileCannotBeReadIsUntickedWithTheCause) {
    ComparisonRig r(3);
    std::filesystem::remove(r.rig.file("1.dat"));
    CComparisonView& c = r.compare({1});
    EXPECT_EQ(c.chosen(), std::vector<int32_t>{2});
    ASSERT_EQ(r.rig.prompts.messages.size(), 1U);
    EXPECT_TRUE(r.rig.prompts.messages.front().contains(QStringLiteral("1.dat")));
    EXPECT_EQ(c.legendNames(), QStringList{QStringLiteral("Recorder 2")});
}

TEST(ComparisonView, ExportWritesTheComparisonAsPngOrAsOneCsv) {
    ComparisonRig r(3);
    CComparisonView& c = r.compare({0});
    const std::string png = r.rig.file("compare.png");
    const std::string csv = r.rig.file("compare.csv");
    r.rig.prompts.chosenFiles << QString::fromStdString(png) << QString::fromStdString(csv);
    r.view->onExport();
    r.view->onExport();
    EXPECT_TRUE(r.rig.prompts.messages.isEmpty())
        << r.rig.prompts.messages.join('\n').toStdString();
    const QImage image(QString::fromStdString(png));
    EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32), c.image());
    const std::string text = readFile(csv);
    // Recorder 2 has a record every third minute, recorder 0 every minute: 60 rows.
    EXPECT_EQ(text.substr(0, text.find('\n')),
              toLatin1(languageString(109)) + ",Recorder 0( C),Recorder 2( C)");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 61);
    EXPECT_NE(text.find("\"2011-6-15 14:01:00\",10.5,\n"), std::string::npos);
    EXPECT_NE(text.find("\"2011-6-15 14:03:00\",10.0,12.0\n"), std::string::npos);
    // The comparison follows the window chosen in the form, with the same recorders ticked.
    r.view->showFreeWindow(TimeWindow{DateTime::fromFields(2011, 6, 15, 14, 0),
                                      DateTime::fromFields(2011, 6, 15, 14, 10)});
    EXPECT_EQ(c.chosen(), (std::vector<int32_t>{0, 2}));
    r.rig.prompts.chosenFiles << QString::fromStdString(csv);
    r.view->onExport();
    const std::string narrower = readFile(csv);
    EXPECT_EQ(std::count(narrower.begin(), narrower.end(), '\n'), 12);
}

TEST(ComparisonView, ARecorderTickedIsReadAgainAfterEachDownload) {
    ViewRig rig(/*plugged=*/true);
    CVeldrinView& view = rig.start();
    rig.tick();
    ASSERT_TRUE(rig.pumpUntilIdle());
    view.onCompareRecorders();
    CComparisonView& c = *view.comparison();
    ASSERT_TRUE(rig.pumpUntil([&c] { return c.complete() && !c.legendNames().isEmpty(); }));
    const auto rows = [&] {
        const std::string csv = rig.file("rows.csv");
        std::string error;
        EXPECT_TRUE(c.writeCsv(csv, error)) << error;
        const std::string text = readFile(csv);
        return std::count(text.begin(), text.end(), '\n');
    };
    const auto before = rows();
    // A minute on: the recorder has one record more, downloaded at the fourth 15-second step.
    for (int i = 0; i < 60; ++i) {
        rig.tick();
        ASSERT_TRUE(rig.pumpUntilIdle());
    }
    EXPECT_TRUE(rig.pumpUntil([&] { return rows() > before; }));
}

// Clear PC Data of a ticked recorder takes its curve away without ticking it again and without a
// download: through the display's store when it is not attached, through its chain's when it is.
TEST(ComparisonView, ARecorderTickedLosesItsCurveAtOnceWhenItsDataAreCleared) {
    struct Case {
        const char* what;
        bool attached;
        long rowsAfter; // lines of the comparison's CSV, heading included
    };
    for (const Case& c : {Case{"not attached", false, 21}, Case{"attached", true, 1}}) {
        std::unique_ptr<ComparisonRig> files;
        std::unique_ptr<ViewRig> plugged;
        CVeldrinView* view = nullptr;
        if (c.attached) {
            plugged = std::make_unique<ViewRig>(/*plugged=*/true);
            view = &plugged->start();
            plugged->tick();
            ASSERT_TRUE(plugged->pumpUntilIdle());
        } else {
            files = std::make_unique<ComparisonRig>(3); // recorder 2 displayed, 0 ticked too
            view = files->view;
        }
        ViewRig& rig = c.attached ? *plugged : files->rig;
        view->onCompareRecorders();
        CComparisonView& compare = *view->comparison();
        compare.choose(0, true);
        ASSERT_TRUE(rig.pumpUntil([&] { return compare.complete(); })) << c.what;
        const auto rows = [&] {
            std::string error;
            EXPECT_TRUE(compare.writeCsv(rig.file("rows.csv"), error)) << error;
            const std::string text = readFile(rig.file("rows.csv"));
            return std::count(text.begin(), text.end(), '\n');
        };
        ASSERT_GT(rows(), c.rowsAfter) << c.what;
        view->onClearPcData([](ClearDataDialog& dialog) {
            dialog.recorderList()->setCurrentIndex(0);
            return true;
        });
        EXPECT_TRUE(rig.pumpUntil([&] { return compare.complete() && rows() == c.rowsAfter; }))
            << c.what << ": " << rows();
        EXPECT_EQ(compare.chosen().front(), 0) << c.what; // still ticked
    }
}

} // namespace
} // namespace veldrin::testing
