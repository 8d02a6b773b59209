#include "report/pdf_report.h"

#include "qlang/qlang.h"

#include "analysis/record_gaps.h"
#include "analysis/statistics.h"
#include "chart/chart_renderer.h"
#include "core/export_file.h"
#include "lang/language_table.h"
#include "report/statistics_tables.h"
#include "store/data_file.h"

#include <QBuffer>
#include <QDateTime>
#include <QGlyphRun>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QTimeZone>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>

namespace veldrin {
namespace {

// Device units of the PDF: 300 per inch; the chart image is placed at more than 150 pixels per
// inch of paper.
constexpr int kResolution = 300;
constexpr int kChartWidth = 1100;
constexpr int kChartHeight = 640;
constexpr double kChartWidthShare = 0.9;
constexpr qreal kMarginMm = 15;
constexpr int kBodyPoints = 9;
constexpr int kTitlePoints = 16;
constexpr int kHeadingPoints = 11;
constexpr double kRowSpacing = 1.35;
constexpr int kCellPadding = 8;

QString identityText(const std::optional<RecorderIdentity>& identity) {
    if (!identity) {
        return QString();
    }
    return QStringLiteral("%1,%2,%3").arg(identity->product).arg(identity->high).arg(identity->low);
}

QImage chartImage(const ReportContent& content, const QFont& screenFont) {
    chart::ChartInput input;
    input.start = content.from.value;
    input.end = content.to.value;
    input.fahrenheit = content.settings.tempUnit != 0;
    input.size = QSize(kChartWidth, kChartHeight);
    input.font = screenFont;
    input.texts = chart::chartTextsFromLanguage();
    input.limits = content.limits;
    chart::ChartRenderer renderer;
    // Only the period's records: the latest-reading box names the newest of them, or nothing.
    // Shares the renderer's own image, which outlives the renderer: no copy of its pixels.
    return renderer.render(periodRecords(content), input);
}

// Lays the report out top to bottom, opening a new page where the next block does not fit. Run
// once without a painter to count the pages, then again to draw them with "page n / m".
class PageFlow {
public:
    PageFlow(QPainter* painter, QPaintDevice& metrics, QRect body, int pages, QFont footerFont)
        : painter_(painter), metricsDevice_(metrics), body_(body), pages_(pages), y_(body.top()),
          footerFont_(std::move(footerFont)) {
        setFont(footerFont_);
    }

    int pageCount() const { return page_; }

    // The line at the top of every page (recorder, identity, description, period), with the page
    // number; drawn on the first page when set and on every page begun after it.
    void setHeader(const QString& header) {
        header_ = header;
        pageHeader();
    }

    void setFont(const QFont& font) {
        if (font == font_ && metrics_) {
            return;
        }
        drawPending();
        font_ = font;
        // Measuring is dear: a report of many events asks for every cell.
        metrics_.emplace(font_, &metricsDevice_);
        lineHeight_ = static_cast<int>(metrics_->height() * kRowSpacing);
        if (painter_ != nullptr) {
            painter_->setFont(font);
            rawFont_ = QRawFont::fromFont(QFont(font_, &metricsDevice_));
        }
    }
    int lineHeight() const { return lineHeight_; }

    // Keeps `height` together on one page.
    void need(int height) {
        if (y_ + height > body_.bottom() && y_ > body_.top()) {
            newPage();
        }
    }
    void line(const QString& text) {
        need(lineHeight());
        draw(QRect(body_.left(), y_, body_.width(), lineHeight()), text);
        y_ += lineHeight();
    }
    void gap(int lines = 1) { y_ += lines * lineHeight() / 2; }

    void image(const QImage& image, double widthShare) {
        const int width = static_cast<int>(body_.width() * widthShare);
        const int height = width * image.height() / std::max(1, image.width());
        need(height);
        if (painter_ != nullptr) {
            painter_->drawImage(QRect(body_.left(), y_, width, height), image);
        }
        y_ += height;
    }

    // A table whose heading row is repeated on every page it continues on.
    void table(const TextTable& table, const std::vector<int>& weights) {
        const int total = std::max(1, std::accumulate(weights.begin(), weights.end(), 0));
        std::vector<QRect> columns;
        int x = body_.left();
        for (const int w : weights) {
            const int width = body_.width() * w / total;
            columns.emplace_back(x, 0, width, lineHeight());
            x += width;
        }
        auto row = [&](const QStringList& cells, bool heading) {
            QFont font = font_;
            font.setBold(heading);
            const QFont before = font_;
            setFont(font);
            for (int c = 0; c < cells.size() && c < static_cast<int>(columns.size()); ++c) {
                draw(columns[static_cast<std::size_t>(c)].translated(0, y_), cells[c]);
            }
            setFont(before);
            y_ += lineHeight();
        };
        need(2 * lineHeight());
        row(table.headings, true);
        for (const QStringList& cells : table.rows) {
            if (y_ + lineHeight() > body_.bottom()) {
                newPage();
                row(table.headings, true);
            }
            row(cells, false);
        }
    }

    void finish() { footer(); }

private:
    // The text, cut with an ellipsis where it would not fit; a text short enough by its length
    // alone is not measured.
    QString fitted(const QString& text, int room) const {
        const bool fits = static_cast<qsizetype>(metrics_->maxWidth()) * text.size() <= room ||
                          metrics_->horizontalAdvance(text) <= room;
        return fits ? text : metrics_->elidedText(text, Qt::ElideRight, room);
    }

    void draw(const QRect& rect, const QString& text) {
        if (painter_ == nullptr) {
            return;
        }
        // Drawn at a point rather than laid out in a rectangle: a report of many events draws
        // thousands of cells. Descriptions and language texts are plain text: drawText never
        // reads markup.
        const int room = rect.width() - kCellPadding;
        const int baseline =
            rect.top() + (rect.height() - metrics_->height()) / 2 + metrics_->ascent();
        const QPoint origin(rect.left(), baseline);
        if (!drawUnshaped(origin, text, room)) {
            painter_->drawText(origin, fitted(text, room));
        }
    }

    // Latin letters, digits and signs need no shaping: their glyphs and widths come straight
    // from the font's character map, which costs a fraction of laying the text out. Other
    // scripts, a character the font lacks and a text to be cut short are left to the text
    // layout and its fallback fonts.
    bool drawUnshaped(QPoint origin, const QString& text, int room) {
        if (!isUnshapedLatin(text) || !rawFont_.isValid()) {
            return false;
        }
        const QList<quint32> glyphs = rawFont_.glyphIndexesForString(text);
        if (glyphs.contains(0)) {
            return false;
        }
        const QList<QPointF> advances = rawFont_.advancesForGlyphIndexes(glyphs);
        const qreal width = std::accumulate(advances.cbegin(), advances.cend(), qreal{0},
                                            [](qreal sum, QPointF a) { return sum + a.x(); });
        if (width > room) {
            return false;
        }
        QPointF pen = origin;
        for (qsizetype i = 0; i < glyphs.size(); ++i) {
            pendingGlyphs_.append(glyphs[i]);
            pendingPositions_.append(pen);
            pen += advances[i];
        }
        return true;
    }

    // The glyphs gathered so far in the current font, drawn as one run: each drawing call
    // costs the PDF engine a text object of its own.
    void drawPending() {
        if (painter_ == nullptr || pendingGlyphs_.isEmpty()) {
            return;
        }
        QGlyphRun run;
        run.setRawFont(rawFont_);
        run.setGlyphIndexes(pendingGlyphs_);
        run.setPositions(pendingPositions_);
        painter_->drawGlyphRun(QPointF(), run);
        pendingGlyphs_.clear();
        pendingPositions_.clear();
    }

    static bool isUnshapedLatin(const QString& text) {
        // Below the combining marks: Latin-1 and Latin Extended letters stand alone.
        constexpr char16_t kFirstCombiningMark = 0x0300;
        return std::all_of(text.cbegin(), text.cend(),
                           [](QChar c) { return c.unicode() < kFirstCombiningMark; });
    }

    void footer() {
        if (painter_ == nullptr) {
            return;
        }
        drawPending();
        const QFont before = font_;
        setFont(footerFont_);
        const QRect foot(body_.left(), body_.bottom() + lineHeight() / 2, body_.width(),
                         lineHeight());
        painter_->drawText(foot, Qt::AlignHCenter | Qt::AlignVCenter,
                           qlang(text::kPage) + QStringLiteral(" %1 / %2").arg(page_).arg(pages_));
        setFont(before);
    }

    void newPage() {
        footer();
        if (painter_ != nullptr) {
            static_cast<QPdfWriter*>(painter_->device())->newPage();
        }
        ++page_;
        y_ = body_.top();
        pageHeader();
    }

    void pageHeader() {
        if (header_.isEmpty()) {
            return;
        }
        const QFont before = font_;
        setFont(footerFont_);
        draw(QRect(body_.left(), y_, body_.width(), lineHeight()),
             header_ + QStringLiteral("   ") + qlang(text::kPage) +
                 QStringLiteral(" %1 / %2").arg(page_).arg(pages_));
        y_ += 2 * lineHeight();
        setFont(before);
    }

    QPainter* painter_;
    QPaintDevice& metricsDevice_;
    std::optional<QFontMetrics> metrics_;
    QRawFont rawFont_;
    QList<quint32> pendingGlyphs_;
    QList<QPointF> pendingPositions_;
    int lineHeight_ = 0;
    QRect body_;
    int pages_;
    int y_;
    int page_ = 1;
    QFont font_;
    QFont footerFont_;
    QString header_;
};

struct Fonts {
    QFont body, title, heading;
};

Fonts reportFonts() {
    Fonts f;
    f.body = QFont(QStringLiteral("Liberation Sans"));
    f.body.setPointSize(kBodyPoints);
    f.title = f.body;
    f.title.setPointSize(kTitlePoints);
    f.title.setBold(true);
    f.heading = f.body;
    f.heading.setPointSize(kHeadingPoints);
    f.heading.setBold(true);
    return f;
}

// The tables are made once for both passes.
struct ReportTables {
    TextTable statistics, limits, events, gaps;
};

// The computer's time zone by name and its offset from UTC now: every time printed is local.
QString timeZoneText() {
    constexpr int kSecondsPerMinute = 60;
    constexpr int kMinutesPerHour = 60;
    const int offset = QDateTime::currentDateTime().offsetFromUtc();
    const int minutes = std::abs(offset) / kSecondsPerMinute;
    return QString::fromUtf8(QTimeZone::systemTimeZoneId()) +
           QStringLiteral(" (UTC%1%2:%3)")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(minutes / kMinutesPerHour, 2, 10, QLatin1Char('0'))
               .arg(minutes % kMinutesPerHour, 2, 10, QLatin1Char('0'));
}

QString headerText(const ReportContent& content) {
    return qlang(text::kRecorderNumber) + QLatin1Char(' ') + QString::number(content.number) +
           QStringLiteral("  \u00B7  ") + identityText(content.identity) +
           QStringLiteral("  \u00B7  ") + qstr(content.settings.description) +
           QStringLiteral("  \u00B7  ") + statisticsTime(content.from) +
           QStringLiteral(" \u2013 ") + statisticsTime(content.to);
}

TextTable gapsTable(const RecordCoverage& coverage) {
    TextTable table;
    table.headings = {qlang(text::kStart), qlang(text::kEnd), qlang(text::kDuration)};
    for (const RecordGap& gap : coverage.gaps) {
        table.rows.append(QStringList{statisticsTime(gap.start), statisticsTime(gap.end),
                                      QString::number(gap.minutes)});
    }
    return table;
}

QString intervalsText(const RecordCoverage& coverage) {
    QStringList intervals;
    for (const int32_t minutes : coverage.intervals) {
        intervals << QString::number(minutes);
    }
    return intervals.join(QStringLiteral(", "));
}

// Per limit in force: whether the period stayed within it.
void verdictLines(PageFlow& flow, const WindowStatistics& stats, const AlarmLimits& limits) {
    for (const LimitKind kind : kLimitKinds) {
        if (!limits[kind]) {
            continue;
        }
        const LimitSummary& summary = stats.perLimit[static_cast<std::size_t>(kind)];
        flow.line(qlang(text::kVerdict) + QStringLiteral(" ") + limitTitle(kind) +
                  QStringLiteral(": ") +
                  qlang(summary.events == 0 ? text::kWithinLimits : text::kExcursions) +
                  QStringLiteral("; ") + qlang(text::kTimeBeyondLimit) + QLatin1Char(' ') +
                  QString::number(summary.minutesBeyond));
    }
    flow.line(qlang(text::kLimitsInForce));
}

// Room for the reviewer's name, the date, the signature and a comment.
void reviewBlock(PageFlow& flow) {
    const QString blank(40, QLatin1Char('_'));
    constexpr int kCommentLines = 4;
    flow.need((4 + kCommentLines) * flow.lineHeight());
    flow.line(qlang(text::kReviewedBy) + QLatin1Char(' ') + blank);
    flow.line(qlang(text::kReviewDate) + QLatin1Char(' ') + blank);
    flow.line(qlang(text::kSignature) + QLatin1Char(' ') + blank);
    flow.line(qlang(text::kComment));
    for (int i = 0; i < kCommentLines; ++i) {
        flow.line(QString(80, QLatin1Char('_')));
    }
}

void layOut(PageFlow& flow, const ReportContent& content, const WindowStatistics& stats,
            const RecordCoverage& coverage, const ReportTables& tables, const QImage& chart,
            const QString& fingerprint) {
    const Fonts fonts = reportFonts();
    flow.setHeader(headerText(content));
    flow.setFont(fonts.title);
    flow.line(qlang(text::kReportTitle));
    flow.setFont(fonts.body);
    flow.line(qlang(text::kRecorderNumber) + QLatin1Char(' ') + QString::number(content.number));
    flow.line(qlang(text::kIdentity) + QLatin1Char(' ') + identityText(content.identity));
    flow.line(qlang(text::kDescription) + QLatin1Char(' ') + qstr(content.settings.description));
    flow.line(qlang(text::kPeriod) + QLatin1Char(' ') + statisticsTime(content.from) +
              QStringLiteral(" \u2013 ") + statisticsTime(content.to));
    flow.line(qlang(text::kMade) + QLatin1Char(' ') + statisticsTime(content.madeAt));
    flow.line(qlang(text::kProgram) + QStringLiteral(" Veldrin ") + content.version);
    flow.line(qlang(text::kTimeZone) + QLatin1Char(' ') + timeZoneText());
    flow.line(qlang(text::kRecordingInterval) + QLatin1Char(' ') + intervalsText(coverage));
    flow.line(qlang(text::kRecordsPresentExpected) + QLatin1Char(' ') +
              QString::number(coverage.present) + QStringLiteral(" / ") +
              QString::number(coverage.expected));
    flow.gap();
    flow.setFont(fonts.heading);
    flow.line(qlang(text::kGaps));
    flow.setFont(fonts.body);
    if (coverage.gaps.empty()) {
        flow.line(qlang(text::kNoGaps));
    } else {
        flow.table(tables.gaps, {4, 4, 3});
    }
    flow.gap();
    flow.image(chart, kChartWidthShare);
    flow.gap();

    flow.setFont(fonts.heading);
    flow.line(qlang(text::kStatistics));
    flow.setFont(fonts.body);
    if (stats.records == 0) {
        flow.line(qlang(text::kNoRecords));
    } else {
        flow.table(tables.statistics, {3, 4, 4});
        // Several records may hold the extreme value: the time shown is that of the latest.
        flow.line(qlang(text::kExtremeRule));
        flow.line(qlang(text::kMktParameter));
    }
    flow.gap();
    flow.setFont(fonts.heading);
    flow.line(qlang(text::kAlarmLimits));
    flow.setFont(fonts.body);
    flow.table(tables.limits, {5, 3, 3, 4, 4});
    flow.line(qlang(text::kDelay) + QStringLiteral(": ") +
              QString::number(content.limits.delayMinutes));
    verdictLines(flow, stats, content.limits);
    flow.gap();
    flow.setFont(fonts.heading);
    flow.line(qlang(text::kEvents));
    flow.setFont(fonts.body);
    if (stats.events.empty()) {
        flow.line(qlang(text::kNoEvents));
    } else {
        flow.table(tables.events, {5, 4, 4, 2, 3});
        // What the mark of an event cut by the period's edge means.
        for (const auto& [atStart, note] : {std::pair{true, text::kBeganBeforePeriod},
                                            std::pair{false, text::kGoesOnAfterPeriod}}) {
            if (anyCut(stats, atStart)) {
                flow.line(qlang(note));
            }
        }
    }
    flow.gap();
    // The digest anyone holding the data file can compute again (veldrin-cli stats).
    flow.need(2 * flow.lineHeight());
    flow.line(qlang(text::kFingerprint));
    flow.line(fingerprint);
    flow.gap();
    reviewBlock(flow);
    flow.finish();
}

} // namespace

QByteArray renderPdfReport(const ReportContent& content) {
    const bool fahrenheit = content.settings.tempUnit != 0;
    const WindowStatistics stats =
        computeStatistics(content.records, content.from, content.to, fahrenheit, content.limits);
    // The chart as the window draws it on a screen of ordinary resolution.
    constexpr int kScreenDpi = 96;
    const QImage chart = chartImage(content, chart::chartFont(kScreenDpi));
    const RecordCoverage coverage = recordCoverage(content.records, content.from, content.to);
    const QString fingerprint =
        QString::fromStdString(recordFingerprint(content.records, content.from, content.to));

    QByteArray bytes;
    // The document grows in small writes; room made at once saves copying it again and again.
    constexpr qsizetype kExpectedBytes = qsizetype{1} << 22;
    bytes.reserve(kExpectedBytes);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(kResolution);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                                     QPageLayout::Millimeter));
    // PDF/A-1b: fonts embedded, fit for filing.
    writer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
    writer.setTitle(qlang(text::kReportTitle) + QLatin1Char(' ') + headerText(content));
    writer.setCreator(QStringLiteral("Veldrin ") + content.version);
    QPainter painter(&writer);
    // The last body line leaves room for the page number below it.
    const QRect page = writer.pageLayout().paintRectPixels(kResolution);
    const QRect body(0, 0, page.width(), page.height() * 95 / 100);
    const QFont footerFont = reportFonts().body;
    PageFlow dry(nullptr, writer, body, 0, footerFont);
    const ReportTables tables{statisticsTable(stats), limitsTable(stats, content.limits),
                              eventsTable(stats), gapsTable(coverage)};
    layOut(dry, content, stats, coverage, tables, chart, fingerprint);
    PageFlow flow(&painter, writer, body, dry.pageCount(), footerFont);
    layOut(flow, content, stats, coverage, tables, chart, fingerprint);
    painter.end();
    return bytes;
}

bool writePdfReport(const std::string& path, const ReportContent& content, std::string& error) {
    const QByteArray bytes = renderPdfReport(content);
    if (bytes.isEmpty()) {
        error = "the report could not be made";
        return false;
    }
    return writeExportFile(
        path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), error);
}

} // namespace veldrin
