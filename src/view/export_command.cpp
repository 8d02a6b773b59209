#include "view/export_command.h"

#include "qlang/qlang.h"

#include "core/export_file.h"
#include "export/bmp_file.h"
#include "export/csv_export.h"
#include "lang/language_table.h"
#include "report/pdf_report.h"
#include "view/view_session.h"

#include <QBuffer>

#include <tuple>

namespace veldrin {
namespace {

// Where the export runs: the session, what is shown, and the window its dialogs belong to.
struct ExportContext {
    ViewSession& session;
    const DisplaySnapshot& shown;
    QWidget* parent;
};

void failed(const ExportContext& at, int message, const std::string& error) {
    at.session.prompts().message(at.parent,
                                 qlang(message) + QLatin1Char('\n') + QString::fromStdString(error),
                                 PromptIcon::Warning);
}

QString filterFor(const QString& suffix) {
    return suffix + QStringLiteral(" file(*.") + suffix + QLatin1Char(')');
}

QString reportFilter() {
    return qlang(text::kReportFilter) + QStringLiteral(" (*.pdf)");
}

// The image may also be saved as PNG, and either display exported as the PDF report; the chosen
// filter (or the name's ending) decides.
QString chooseTarget(const ExportContext& at, const QString& suffix, const QStringList& others = {},
                     QString* chosenFilter = nullptr) {
    FileDialogRequest request;
    request.defaultSuffix = suffix;
    request.filters = QStringList{filterFor(suffix)};
    for (const QString& other : others) {
        request.filters << filterFor(other);
    }
    request.filters << reportFilter();
    request.save = true;
    return at.session.prompts().chooseFile(at.parent, request, chosenFilter);
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
bool refuseDataFolderFile(const ExportContext& at, const std::string& path, int message) {
    if (!isDataFolderFile(at.session.store().dataFolder(), path)) {
        return false;
    }
    at.session.prompts().message(at.parent,
                                 qlang(message) + QLatin1Char('\n') + QString::fromStdString(path),
                                 PromptIcon::Warning);
    return true;
}

bool reportChosen(const QString& path, const QString& filter) {
    return filter == reportFilter() || path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
}

// The report of what is shown. The records are copied under the lock; the report is made
// without it.
void exportReport(const ExportContext& at, const std::string& path) {
    if (refuseDataFolderFile(at, path, text::kReportNotWritten)) {
        return;
    }
    const ReportContent content = assembleReport(
        reportSource(at.shown, at.session.clock().nowLocal()), at.session.ini().snapshot());
    std::string error;
    if (!writePdfReport(path, content, error)) {
        failed(at, text::kReportNotWritten, error);
    }
}

// The rows the list shows, written as the command-line export writes them for the same recorder
// and window. The records are copied under the lock and written without it, so that the worker
// is not held up by the disk.
void exportList(const ExportContext& at) {
    QString filter;
    const QString chosen = chooseTarget(at, QStringLiteral("csv"), {}, &filter);
    const std::string path = chosen.toStdString();
    if (!path.empty() && reportChosen(chosen, filter)) {
        exportReport(at, path);
        return;
    }
    if (path.empty() || refuseDataFolderFile(at, path, text::kFileNotWritten)) {
        return;
    }
    const auto [settings, records] = at.shown.copyRecords();
    std::string error;
    if (!writeRecordCsvFile(path, settings, records, at.shown.from, at.shown.to, error)) {
        failed(at, text::kFileNotWritten, error);
    }
}

// The chart area exactly as shown, readout included, drawn now by the same renderer.
void exportImage(const ExportContext& at, const std::function<QImage()>& chartImage) {
    QString filter;
    const QString chosen =
        chooseTarget(at, QStringLiteral("bmp"), {QStringLiteral("png")}, &filter);
    const std::string path = chosen.toStdString();
    if (!path.empty() && reportChosen(chosen, filter)) {
        exportReport(at, path);
        return;
    }
    if (path.empty() || refuseDataFolderFile(at, path, text::kImageNotWritten)) {
        return;
    }
    const bool png = filter == filterFor(QStringLiteral("png")) ||
                     chosen.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
    const QImage image = chartImage().convertToFormat(QImage::Format_RGB32);
    const std::string bytes = imageBytes(image, png);
    std::string error;
    if (bytes.empty() || !writeExportFile(path, bytes, error)) {
        at.session.prompts().message(at.parent, qlang(text::kImageNotWritten), PromptIcon::None);
    }
}

} // namespace

void runExportCommand(ViewSession& session, const DisplaySnapshot& shown, QWidget* parent,
                      const std::function<QImage()>& chartImage) {
    const ExportContext at{session, shown, parent};
    if (shown.mode == DisplayMode::list) {
        exportList(at);
    } else if (chartImage) {
        exportImage(at, chartImage);
    }
}

} // namespace veldrin
