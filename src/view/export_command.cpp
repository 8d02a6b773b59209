#include "view/export_command.h"

#include "qlang/qlang.h"

#include "core/export_file.h"
#include "core/paths.h"
#include "export/bmp_file.h"
#include "export/csv_export.h"
#include "lang/language_table.h"
#include "report/pdf_report.h"
#include "view/view_session.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <filesystem>
#include <system_error>
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

// The endings this display may be exported as, the first being the default. A comparison of
// recorders is an image or one CSV file; it has no report.
QStringList offeredEndings(DisplayMode mode, const ExportSources& sources) {
    if (sources.comparisonCsv) {
        return {QStringLiteral("png"), QStringLiteral("csv")};
    }
    if (mode == DisplayMode::list) {
        return {QStringLiteral("csv"), QStringLiteral("pdf")};
    }
    return {QStringLiteral("bmp"), QStringLiteral("png"), QStringLiteral("pdf")};
}

// The CSV and BMP filters read as they always have; the PNG and PDF ones are in the user's
// language.
QString filterOfEnding(const QString& ending) {
    if (ending == QLatin1String("pdf")) {
        return reportFilter();
    }
    if (ending == QLatin1String("png")) {
        return qlang(text::kPngFilter) + QStringLiteral("(*.png)");
    }
    return filterFor(ending);
}

QString screenPngFilter() {
    return qlang(text::kScreenPngFilter) + QStringLiteral(" (*.png)");
}

// The screen's device pixel ratio when the chart is shown at more than one device pixel per
// pixel: PNG is then offered at that resolution as well.
qreal screenRatio(const ExportContext& at, const ExportSources& sources) {
    return sources.atScreenResolution && at.shown.mode != DisplayMode::list &&
                   !sources.comparisonCsv
               ? sources.atScreenResolution(at.parent)
               : 1.0;
}

// The directory the save dialog opens in: where the last export went, otherwise the user's
// documents; never the live data folder, whose files an export must not replace.
QString exportDirectory(const ExportContext& at) {
    QString directory = at.session.lastExportFolder();
    if (directory.isEmpty()) {
        directory = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    }
    // A folder that is not there (no Documents folder, the last one removed) would be offered
    // as the file's name.
    if (!QFileInfo(directory).isDir()) {
        directory = QDir::homePath();
    }
    if (isDataFolderFile(at.session.store().dataFolder(),
                         joinPath(directory.toStdString(), "main.ini"))) {
        directory = QDir::homePath();
    }
    return directory;
}

QString chooseTarget(const ExportContext& at, const QStringList& endings, qreal ratio,
                     QString* chosenFilter) {
    FileDialogRequest request;
    request.defaultSuffix = endings.front();
    request.directory = exportDirectory(at);
    for (const QString& ending : endings) {
        request.filters << filterOfEnding(ending);
        if (ending == QLatin1String("png") && ratio != 1.0) {
            request.filters << screenPngFilter();
        }
    }
    request.save = true;
    return at.session.prompts().chooseFile(at.parent, request, chosenFilter);
}

} // namespace

ExportTarget resolveExportTarget(const QString& chosen, const QString& filter,
                                 const QStringList& offered) {
    static const QStringList kKnown{QStringLiteral("csv"), QStringLiteral("bmp"),
                                    QStringLiteral("png"), QStringLiteral("pdf")};
    const QString typed = QFileInfo(chosen).suffix().toLower();
    if (offered.contains(typed)) {
        return {chosen, typed};
    }
    if (kKnown.contains(typed)) {
        return {chosen, QString()}; // an ending of a format this display cannot be written as
    }
    QString ending = filterSuffix(filter).toLower();
    if (!offered.contains(ending)) {
        ending = offered.front();
    }
    return {chosen + QLatin1Char('.') + ending, ending};
}

namespace {

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

// Two names of one existing file, by any spelling (relative, through links, a hard link).
bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

// The report of what is shown. Its figures are worked out under the lock from the records the
// store holds, without copying them; the document is written without the lock.
void exportReport(const ExportContext& at, const std::string& path) {
    const QByteArray report =
        renderShownReport(at.shown, at.session.clock().nowLocal(), at.session.ini().snapshot());
    std::string error;
    if (!writeReportFile(path, report, error)) {
        failed(at, text::kReportNotWritten, error);
    }
}

// The rows the list shows, written as the command-line export writes them for the same recorder
// and window. The records are copied under the lock and written without it, so that the worker
// is not held up by the disk.
void exportList(const ExportContext& at, const ExportSources& sources, const std::string& path) {
    if (sources.comparisonCsv) {
        std::string error;
        if (!sources.comparisonCsv(path, error)) {
            failed(at, text::kFileNotWritten, error);
        }
        return;
    }
    const auto [settings, records] = at.shown.copyRecords();
    std::string error;
    if (!writeRecordCsvFile(path, settings, records, at.shown.from, at.shown.to, error)) {
        failed(at, text::kFileNotWritten, error);
    }
}

// The chart area exactly as shown, readout included, drawn now by the same renderer; as PNG at
// the screen's resolution when that filter was chosen.
void exportImage(const ExportContext& at, const ExportSources& sources, const std::string& path,
                 bool png, qreal ratio) {
    const QImage image =
        sources.chartImage(png ? ratio : 1.0).convertToFormat(QImage::Format_RGB32);
    const std::string bytes = imageBytes(image, png);
    std::string error;
    if (bytes.empty() || !writeExportFile(path, bytes, error)) {
        at.session.prompts().message(at.parent, qlang(text::kImageNotWritten), PromptIcon::None);
    }
}

int failureMessage(const QString& ending) {
    if (ending == QLatin1String("pdf")) {
        return text::kReportNotWritten;
    }
    return ending == QLatin1String("csv") ? text::kFileNotWritten : text::kImageNotWritten;
}

// The data folder's own files and the file shown read-only are never export targets; neither is
// a name whose ending this display cannot be written as.
bool refuseTarget(const ExportContext& at, const ExportSources& sources, const ExportTarget& target,
                  const QStringList& endings) {
    const std::string path = target.path.toStdString();
    const bool opened = !sources.openedDocument.empty() && sameFile(sources.openedDocument, path);
    if (!target.ending.isEmpty() && !opened &&
        !isDataFolderFile(at.session.store().dataFolder(), path)) {
        return false;
    }
    const int message = failureMessage(target.ending.isEmpty() ? endings.front() : target.ending);
    at.session.prompts().message(at.parent, qlang(message) + QLatin1Char('\n') + target.path,
                                 PromptIcon::Warning);
    return true;
}

} // namespace

void runExportCommand(ViewSession& session, const DisplaySnapshot& shown, QWidget* parent,
                      const ExportSources& sources) {
    const ExportContext at{session, shown, parent};
    if (shown.mode != DisplayMode::list && !sources.chartImage) {
        return;
    }
    const qreal ratio = screenRatio(at, sources);
    const QStringList endings = offeredEndings(shown.mode, sources);
    QString filter;
    const QString chosen = chooseTarget(at, endings, ratio, &filter);
    if (chosen.isEmpty()) {
        return;
    }
    const ExportTarget target = resolveExportTarget(chosen, filter, endings);
    if (refuseTarget(at, sources, target, endings)) {
        return;
    }
    session.setLastExportFolder(QFileInfo(target.path).absolutePath());
    const std::string path = target.path.toStdString();
    if (target.ending == QLatin1String("pdf")) {
        exportReport(at, path);
    } else if (target.ending == QLatin1String("csv")) {
        exportList(at, sources, path);
    } else {
        exportImage(at, sources, path, target.ending == QLatin1String("png"),
                    filter == screenPngFilter() ? ratio : 1.0);
    }
}

} // namespace veldrin
