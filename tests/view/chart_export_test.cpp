// The chart in the main view: the readout under the mouse, and the Export command writing the
// chart as a bitmap and the list as the command-line tool writes it.

#include "view_rig.h"

#include "chart/chart_area.h"
#include "lang/language_table.h"
#include "view/command_ids.h"
#include "view/display_area.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QFileInfo>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace veldrin::testing {
namespace {

// One recorder with an hour of records, one a minute, inside the view's current-hour window.
void registerOneRecorder(ViewRig& rig) {
    writeFile(rig.file("main.ini"), "[Drive ID]\nMaxID=1\nID0000000=6,2,3\n");
    RecordList records;
    for (int m = 0; m < 60; ++m) {
        records.push_back(
            recordAt(DateTime::fromFields(2011, 6, 15, 14, m), 20.0 + (m % 7) * 0.3, 40 + m % 11));
    }
    writeDataFile(rig.file("0.dat"), RecorderSettings{}, records);
}

struct ChartRig {
    ChartRig() {
        registerOneRecorder(rig);
        view = &rig.start();
        view->show();
        chart = &view->chartArea();
    }
    ~ChartRig() { QCursor::setPos(0, 0); } // above every chart of later tests
    // The pixel of the temperature point of a run of the chart as it is drawn now.
    QPoint temperaturePoint(int run) {
        chart::ChartInput input;
        const auto [start, end] = view->timeWindow();
        input.start = start.value;
        input.end = end.value;
        input.size = chart->size();
        const chart::PlotData d = view->store().withDisplayed(
            [&](const RecorderSettings&, const RecordList& r) { return buildPlotData(r, input); });
        const auto& r = d.runs.at(static_cast<std::size_t>(run));
        return {r.x, r.t.first};
    }
    // The chart reads the cursor itself at every draw; the event only asks for the repaint.
    void mouseTo(QPoint at) {
        QCursor::setPos(chart->mapToGlobal(at));
        QMouseEvent move(QEvent::MouseMove, QPointF(at), chart->mapToGlobal(QPointF(at)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(chart, &move);
    }
    int markerPixels() {
        // A window over the chart (a file dialog) takes the mouse and leaves the cursor in place.
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(chart, &leave);
        const QImage image = chart->currentImage();
        int n = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                n += image.pixel(x, y) == chart::kMarkerColor.rgb() ? 1 : 0;
            }
        }
        return n;
    }

    ViewRig rig;
    CVeldrinView* view = nullptr;
    chart::ChartArea* chart = nullptr;
};

TEST(ChartInView, MouseOnAPointShowsTheReadoutAndLeavingTakesItAway) {
    ChartRig c;
    ASSERT_NE(c.chart, nullptr);
    EXPECT_TRUE(c.chart->hasMouseTracking());
    EXPECT_EQ(c.chart->geometry().top() + c.view->displayArea().geometry().top(), 135);
    EXPECT_EQ(c.markerPixels(), 0);
    c.mouseTo(c.temperaturePoint(20));
    EXPECT_GT(c.markerPixels(), 20);
    c.mouseTo({-40, -40});
    EXPECT_EQ(c.markerPixels(), 0);
}

// The records are read under DataLock; nothing is drawn while it is held.
TEST(ChartInView, DrawsWithoutHoldingTheDataLock) {
    ChartRig c;
    int draws = 0;
    c.chart->renderer().setDrawObserver([&] {
        ++draws;
        EXPECT_TRUE(c.view->store().mutex().try_lock());
        c.view->store().mutex().unlock();
    });
    c.chart->displayChanged();
    c.chart->currentImage();
    c.mouseTo(c.temperaturePoint(5));
    c.chart->currentImage();
    EXPECT_EQ(draws, 2);
}

// Shown with no records, the chart loads the chosen recorder's file once, before it paints; a
// file with no records marks the load as given up, and the progress bar is hidden again.
TEST(ChartInView, FirstShowLoadsOnceAndGivesUpOnAnEmptyFile) {
    ViewRig rig;
    writeFile(rig.file("main.ini"), "[Drive ID]\nMaxID=1\nID0000000=6,2,3\n");
    writeDataFile(rig.file("0.dat"), RecorderSettings{}, {});
    CVeldrinView& view = rig.start();
    view.show();
    EXPECT_EQ(view.store().displayedCount(), 0u);
    EXPECT_FALSE(view.session().needsLoad(0)); // given up for this recorder and its file
    auto* progress = view.findChild<QWidget*>(QString::number(control_id::kProgress));
    ASSERT_NE(progress, nullptr);
    EXPECT_FALSE(progress->isVisible());
}

std::string bmpPixels(const QImage& image) {
    std::string out;
    for (int y = image.height() - 1; y >= 0; --y) {
        out.append(reinterpret_cast<const char*>(image.constScanLine(y)),
                   static_cast<std::size_t>(image.width()) * 4);
    }
    return out;
}

TEST(ExportCommand, ChartModeWritesTheChartAsShownReadoutIncluded) {
    ChartRig c;
    c.mouseTo(c.temperaturePoint(30));
    EXPECT_GT(c.markerPixels(), 20);
    const QImage shown = c.chart->currentImage();
    const std::string path = c.rig.file("chart.bmp");
    c.rig.prompts.chosenFiles << QString::fromStdString(path);
    c.view->onExport();
    ASSERT_EQ(c.rig.prompts.fileRequests.size(), 1u);
    EXPECT_EQ(c.rig.prompts.fileRequests[0].defaultSuffix, "bmp");
    const QString report = QString::fromStdU16String(languageString(197)) + " (*.pdf)";
    EXPECT_EQ(c.rig.prompts.fileRequests[0].filters,
              QStringList({"bmp file(*.bmp)", "png file(*.png)", report}));
    const std::string file = readFile(path);
    ASSERT_EQ(file.size(), 54u + 4u * static_cast<std::size_t>(shown.width() * shown.height()));
    EXPECT_EQ(file.substr(54), bmpPixels(shown));
    // The same picture as PNG.
    const std::string png = c.rig.file("chart.png");
    c.rig.prompts.chosenFiles << QString::fromStdString(png);
    c.view->onExport();
    QImage read;
    ASSERT_TRUE(read.load(QString::fromStdString(png), "PNG"));
    EXPECT_EQ(read.convertToFormat(QImage::Format_RGB32), shown);
    // The report of the same recorder and period.
    const std::string pdf = c.rig.file("report.pdf");
    c.rig.prompts.chosenFiles << QString::fromStdString(pdf);
    c.view->onExport();
    EXPECT_EQ(readFile(pdf).substr(0, 5), "%PDF-");
    EXPECT_TRUE(c.rig.prompts.messages.isEmpty());
}

// A target that cannot be written is reported with string 122 and leaves no file; the data
// folder's own files are refused.
TEST(ExportCommand, FailuresAreReportedAndLeaveNoFile) {
    ChartRig c;
    const std::string before = readFile(c.rig.file("0.dat"));
    const std::string missingFolder = c.rig.file("no-such-folder/chart.bmp");
    c.rig.prompts.chosenFiles << QString::fromStdString(missingFolder)
                              << QString::fromStdString(c.rig.file("0.dat"));
    c.view->onExport();
    c.view->onExport();
    ASSERT_EQ(c.rig.prompts.messages.size(), 2);
    const std::u16string failure = languageString(122);
    EXPECT_EQ(c.rig.prompts.messages[0].toStdU16String(), failure);
    EXPECT_FALSE(std::filesystem::exists(missingFolder));
    EXPECT_EQ(readFile(c.rig.file("0.dat")), before);

    // The list cannot be written below a file: string 124, and nothing is created.
    c.rig.control<QComboBox>(control_id::kDisplayCombo)->setCurrentIndex(1);
    const std::string underFile = c.rig.file("chart-folder");
    writeFile(underFile, "a file, not a folder");
    c.rig.prompts.chosenFiles << QString::fromStdString(underFile + "/list.csv");
    c.view->onExport();
    ASSERT_EQ(c.rig.prompts.messages.size(), 3);
    EXPECT_TRUE(
        c.rig.prompts.messages[2].startsWith(QString::fromStdU16String(languageString(124))));
    EXPECT_EQ(readFile(underFile), "a file, not a folder");
}

// The file's ending always tells its content: the filter's ending is added to a bare name, a
// typed ending of an offered format decides the format, one the display cannot be written as is
// refused.
TEST(ExportCommand, TheEndingFollowsTheChosenFilterOrTheTypedFormat) {
    const QString report = QString::fromStdU16String(languageString(197)) + " (*.pdf)";
    const struct {
        bool list;
        QString filter, typed, written; // written empty: refused
        std::string magic;
    } cases[] = {
        {true, report, "bericht", "bericht.pdf", "%PDF-"},
        {true, "csv file(*.csv)", "liste", "liste.csv", "Date"},
        {true, report, "werte.CSV", "werte.CSV", "Date"},
        {true, "csv file(*.csv)", "bild.png", "", ""},
        {false, "png file(*.png)", "diagramm", "diagramm.png", "\x89PNG"},
        {false, "bmp file(*.bmp)", "bild.png", "bild.png", "\x89PNG"},
        {false, report, "bild.bmp", "bild.bmp", "BM"},
        {false, "bmp file(*.bmp)", "messung.2024", "messung.2024.bmp", "BM"},
        {false, "png file(*.png)", "tabelle.csv", "", ""},
    };
    ChartRig c;
    for (const auto& t : cases) {
        c.rig.control<QComboBox>(control_id::kDisplayCombo)->setCurrentIndex(t.list ? 1 : 0);
        c.rig.prompts.chosenFiles << QString::fromStdString(c.rig.file(t.typed.toStdString()));
        c.rig.prompts.chosenFilters << t.filter;
        c.view->onExport();
        const std::string written = c.rig.file(t.written.toStdString());
        if (t.written.isEmpty()) {
            EXPECT_EQ(c.rig.prompts.messages.size(), 1) << t.typed.toStdString();
            EXPECT_FALSE(std::filesystem::exists(c.rig.file(t.typed.toStdString())));
        } else {
            EXPECT_EQ(readFile(written).substr(0, t.magic.size()), t.magic) << written;
            EXPECT_TRUE(c.rig.prompts.messages.isEmpty()) << written;
        }
        c.rig.prompts.messages.clear();
        // The dialog never opens in the live data folder, nor in one that is not there (whose
        // name it would offer as the file's).
        EXPECT_NE(c.rig.prompts.fileRequests.back().directory.toStdString(), c.rig.dir.path());
        EXPECT_TRUE(QFileInfo(c.rig.prompts.fileRequests.back().directory).isDir());
    }
}

// The file shown read-only is refused as a target like the data folder's own files, by any
// spelling of its path.
TEST(ExportCommand, TheFileOpenedReadOnlyIsNeverOverwritten) {
    ChartRig c;
    TempDir elsewhere;
    const std::string opened = elsewhere.file("kept.bmp");
    std::filesystem::copy_file(c.rig.file("0.dat"), opened);
    const std::string before = readFile(opened);
    c.view->openDocumentReadOnly(QString::fromStdString(opened));
    ASSERT_TRUE(c.view->store().displayedIsDocument());
    for (const std::string& spelling : {opened, elsewhere.path() + "/./kept.bmp"}) {
        c.rig.prompts.chosenFiles << QString::fromStdString(spelling);
        c.rig.prompts.chosenFilters << "bmp file(*.bmp)";
        c.view->onExport();
    }
    EXPECT_EQ(c.rig.prompts.messages.size(), 2);
    EXPECT_EQ(readFile(opened), before);
}

TEST(ExportCommand, ListModeWritesWhatTheCommandLineToolWrites) {
    ChartRig c;
    c.rig.control<QComboBox>(control_id::kDisplayCombo)->setCurrentIndex(1);
    const std::string path = c.rig.file("list.csv");
    c.rig.prompts.chosenFiles << QString::fromStdString(path);
    c.view->onExport();
    EXPECT_EQ(c.rig.prompts.fileRequests.at(0).defaultSuffix, "csv");
    EXPECT_EQ(c.rig.prompts.fileRequests.at(0).filters,
              QStringList({"csv file(*.csv)",
                           QString::fromStdU16String(languageString(197)) + " (*.pdf)"}));

    const std::string cli = c.rig.file("cli.csv");
    const std::string command = binaryPath("veldrin-cli") + " --data-dir " + c.rig.dir.path() +
                                " export --recorder 0 --from '2011-06-15 14:00' --to "
                                "'2011-06-15 15:00' --out " +
                                cli;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(readFile(path), readFile(cli));
    EXPECT_GT(readFile(path).size(), 60u * 20);
}

} // namespace
} // namespace veldrin::testing
