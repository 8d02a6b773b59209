#include "view/export_command.h"

#include "qlang/qlang.h"

#include "chart/chart_area.h"
#include "core/export_file.h"
#include "export/bmp_file.h"
#include "export/csv_export.h"
#include "lang/language_table.h"
#include "report/pdf_report.h"
#include "store/registry.h"
#include "view/alarm_monitor.h"
#include "view/command_ids.h"
#include "view/display_area.h"
#include "view/veldrin_view.h"

#include <QBuffer>
#include <QComboBox>

#include <tuple>

namespace veldrin {
namespace {

QString filterFor(const QString& suffix) {
    return suffix + QStringLiteral(" file(*.") + suffix + QLatin1Char(')');
}

QString reportFilter() {
    return qlang(text::kReportFilter) + QStringLiteral(" (*.pdf)");
}

// The image may also be saved as PNG, and either display exported as the PDF report; the chosen
// filter (or the name's ending) decides.
QString chooseTarget(CVeldrinView& view, const QString& suffix, const QStringList& others = {},
                     QString* chosenFilter = nullptr) {
    FileDialogRequest request;
    request.defaultSuffix = suffix;
    request.filters = QStringList{filterFor(suffix)};
    for (const QString& other : others) {
        request.filters << filterFor(other);
    }
    request.filters << reportFilter();
    request.save = true;
    return view.prompts().chooseFile(&view, request, chosenFilter);
}

std::string imageBytes(const QImage& image, bool png) {
    if (!png) {
        return encodeBmp(PixelRows{image.width(), image.height(), image.constBits(),
                                   static_cast<std::size_t>(image.bytesPerLine())});
    }
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        return {};
    }
    return data.toStdString();
}

// The data folder's own files (main.ini, the recorders' data files) are never an export target.
bool refuseDataFolderFile(CVeldrinView& view, const std::string& path, int message) {
    if (!isDataFolderFile(view.store().dataFolder(), path)) {
        return false;
    }
    view.prompts().message(&view, qlang(message) + QLatin1Char('\n') + QString::fromStdString(path),
                           PromptIcon::Warning);
    return true;
}

bool reportChosen(const QString& path, const QString& filter) {
    return filter == reportFilter() || path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
}

// The report of the displayed recorder over the view's time window. The records are copied under
// the lock; the report is made without it.
void exportReport(CVeldrinView& view, const std::string& path) {
    if (refuseDataFolderFile(view, path, text::kReportNotWritten)) {
        return;
    }
    ReportSource source;
    source.number = view.chosenRecorder();
    std::tie(source.settings, source.records) = view.store().withDisplayed(
        [](const RecorderSettings& s, const RecordList& r) { return std::make_pair(s, r); });
    std::tie(source.from, source.to) = view.timeWindow();
    source.limits = view.alarms().displayedLimits();
    source.madeAt = view.clock().nowLocal();
    const ReportContent content = assembleReport(std::move(source), view.store().ini().snapshot());
    std::string error;
    if (!writePdfReport(path, content, error)) {
        view.prompts().message(&view,
                               qlang(text::kReportNotWritten) + QLatin1Char('\n') +
                                   QString::fromStdString(error),
                               PromptIcon::Warning);
    }
}

// The rows the list shows, written as the command-line export writes them for the same recorder
// and window. The records are copied under the lock and written without it, so that the worker
// is not held up by the disk.
void exportList(CVeldrinView& view) {
    QString filter;
    const QString chosen = chooseTarget(view, QStringLiteral("csv"), {}, &filter);
    const std::string path = chosen.toStdString();
    if (!path.empty() && reportChosen(chosen, filter)) {
        exportReport(view, path);
        return;
    }
    if (path.empty() || refuseDataFolderFile(view, path, text::kFileNotWritten)) {
        return;
    }
    const auto [settings, records] = view.store().withDisplayed(
        [](const RecorderSettings& s, const RecordList& r) { return std::make_pair(s, r); });
    const auto [start, end] = view.timeWindow();
    std::string error;
    if (!writeRecordCsvFile(path, settings, records, start, end, error)) {
        view.prompts().message(
            &view, qlang(text::kFileNotWritten) + QLatin1Char('\n') + QString::fromStdString(error),
            PromptIcon::Warning);
    }
}

// The chart area exactly as shown, readout included, drawn now by the same renderer.
void exportImage(CVeldrinView& view) {
    auto* chart = qobject_cast<chart::ChartArea*>(view.displayArea().chartWidget());
    if (chart == nullptr) {
        return;
    }
    QString filter;
    const QString chosen =
        chooseTarget(view, QStringLiteral("bmp"), {QStringLiteral("png")}, &filter);
    const std::string path = chosen.toStdString();
    if (!path.empty() && reportChosen(chosen, filter)) {
        exportReport(view, path);
        return;
    }
    if (path.empty() || refuseDataFolderFile(view, path, text::kImageNotWritten)) {
        return;
    }
    const bool png = filter == filterFor(QStringLiteral("png")) ||
                     chosen.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
    const QImage image = chart->currentImage().convertToFormat(QImage::Format_RGB32);
    const std::string bytes = imageBytes(image, png);
    std::string error;
    if (bytes.empty() || !writeExportFile(path, bytes, error)) {
        view.prompts().message(&view, qlang(text::kImageNotWritten), PromptIcon::None);
    }
}

} // namespace

void runExportCommand(CVeldrinView& view) {
    auto* display = qobject_cast<QComboBox*>(view.control(control_id::kDisplayCombo));
    if (display == nullptr || display->currentIndex() < 0) {
        return;
    }
    if (display->currentText() == qlang(text::kList)) {
        exportList(view);
    } else {
        exportImage(view);
    }
}

} // namespace veldrin
