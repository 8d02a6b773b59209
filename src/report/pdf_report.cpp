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
#include <QXmlStreamWriter>
#include <QtGlobal>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <future>
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
constexpr int kCellPadding = 24; // 2 mm between columns

QString identityText(const std::optional<RecorderIdentity>& identity) {
    if (!identity) {
        return QString();
    }
    return QStringLiteral("%1,%2,%3").arg(identity->product).arg(identity->high).arg(identity->low);
}

// `held`: how many of the records the period holds.
QImage chartImage(const ReportContent& content, const RecordList& records, const QFont& screenFont,
                  std::size_t held) {
    chart::ChartInput input;
    input.start = content.from.value;
    input.end = content.to.value;
    input.fahrenheit = content.settings.tempUnit != 0;
    input.size = QSize(kChartWidth, kChartHeight);
    input.font = screenFont;
    // The report's language, its decimal sign with it: the comma in German and French.
    input.texts = chart::chartTextsFromLanguage();
    input.limits = content.limits;
    chart::ChartRenderer renderer;
    // Only the period's records: the latest-reading box names the newest of them, or nothing.
    // Shares the renderer's own image, which outlives the renderer: no copy of its pixels. A
    // period that holds every record (the whole history, the usual report) is drawn without
    // copying a million records first.
    return held == records.size()
               ? renderer.render(records, input)
               : renderer.render(periodRecords(records, content.from, content.to), input);
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

    // A table whose heading row is repeated on every page it continues on. Its headings wrap at
    // their spaces; the columns are as wide as their widest heading word and cell, and share
    // what is left of the line by `weights`.
    void table(const TextTable& table, const std::vector<int>& weights) {
        const std::vector<int> widths = columnWidths(table, weights);
        noteCutHeadings(table, widths);
        std::vector<QRect> columns;
        int x = body_.left();
        for (const int width : widths) {
            columns.emplace_back(x, 0, width, lineHeight());
            x += width;
        }
        auto row = [&](const QStringList& cells) {
            for (int c = 0; c < cells.size() && c < static_cast<int>(columns.size()); ++c) {
                draw(columns[static_cast<std::size_t>(c)].translated(0, y_), cells[c]);
            }
            y_ += lineHeight();
        };
        // The headings in bold, each wrapped in its column; the row as tall as the tallest.
        auto headingRow = [&](bool draw) {
            const QFont before = font_;
            QFont bold = font_;
            bold.setBold(true);
            setFont(bold);
            int height = lineHeight();
            for (int c = 0; c < table.headings.size() && c < static_cast<int>(columns.size());
                 ++c) {
                const QRect cell = columns[static_cast<std::size_t>(c)].translated(0, y_);
                height = std::max(height, wrappedHeight(table.headings[c], cell.width()));
                if (draw) {
                    drawWrapped(cell, table.headings[c]);
                }
            }
            setFont(before);
            return height;
        };
        need(headingRow(false) + lineHeight());
        y_ += headingRow(true);
        for (const QStringList& cells : table.rows) {
            if (y_ + lineHeight() > body_.bottom()) {
                newPage();
                y_ += headingRow(true);
            }
            row(cells);
        }
    }

    // The columns' widths: each at least its widest heading word (in bold) and its widest cell
    // among the first rows (the rows after them have the same shapes); the rest of the line by
    // `weights`. When those do not fit together, the weights alone share the line.
    std::vector<int> columnWidths(const TextTable& table, const std::vector<int>& weights) const {
        constexpr qsizetype kMeasuredRows = 256;
        QFont bold = font_;
        bold.setBold(true);
        const QFontMetrics headingMetrics(bold, &metricsDevice_);
        const std::size_t count = weights.size();
        std::vector<int> natural(count, 0);
        for (std::size_t c = 0; c < count; ++c) {
            const int column = static_cast<int>(c);
            natural[c] = widestWord(headingMetrics, table.headings.value(column));
            for (qsizetype r = 0; r < std::min(table.rows.size(), kMeasuredRows); ++r) {
                natural[c] =
                    std::max(natural[c], metrics_->horizontalAdvance(table.rows[r].value(column)));
            }
            natural[c] += kCellPadding;
        }
        const int total = std::max(1, std::accumulate(weights.begin(), weights.end(), 0));
        const int extra = body_.width() - std::accumulate(natural.begin(), natural.end(), 0);
        std::vector<int> widths(count);
        for (std::size_t c = 0; c < count; ++c) {
            widths[c] = extra >= 0 ? natural[c] + extra * weights[c] / total
                                   : body_.width() * weights[c] / total;
        }
        return widths;
    }

    // Heading words wider than their columns, as "heading: word".
    const QStringList& cutHeadings() const { return cutHeadings_; }

    static int widestWord(const QFontMetrics& metrics, const QString& text) {
        int widest = 0;
        for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            widest = std::max(widest, metrics.horizontalAdvance(word));
        }
        return widest;
    }

    void finish() { footer(); }

private:
    void noteCutHeadings(const TextTable& table, const std::vector<int>& widths) {
        QFont bold = font_;
        bold.setBold(true);
        const QFontMetrics headingMetrics(bold, &metricsDevice_);
        for (std::size_t c = 0; c < widths.size(); ++c) {
            const QString heading = table.headings.value(static_cast<int>(c));
            for (const QString& word : heading.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                if (headingMetrics.horizontalAdvance(word) > widths[c] - kCellPadding) {
                    cutHeadings_ << heading + QStringLiteral(": ") + word;
                }
            }
        }
    }

private:
    // The height a heading takes in a column, wrapped at its spaces: a line of the table when it
    // fits on one.
    int wrappedHeight(const QString& text, int width) const {
        const int room = width - kCellPadding;
        if (metrics_->horizontalAdvance(text) <= room) {
            return lineHeight();
        }
        constexpr int kTall = 1 << 16;
        const QRect bounds =
            metrics_->boundingRect(QRect(0, 0, room, kTall), Qt::TextWordWrap, text);
        return bounds.height() + lineHeight() - metrics_->height();
    }

    void drawWrapped(const QRect& rect, const QString& text) {
        const int room = rect.width() - kCellPadding;
        if (metrics_->horizontalAdvance(text) <= room) {
            draw(rect, text);
            return;
        }
        if (painter_ == nullptr) {
            return;
        }
        constexpr int kTall = 1 << 16;
        const int margin = (lineHeight() - metrics_->height()) / 2;
        painter_->drawText(QRect(rect.left(), rect.top() + margin, room, kTall),
                           Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    }

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
    QStringList cutHeadings_;
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

// The parts of the header that the recorder has: no empty place between two dots.
QString headerText(const ReportContent& content) {
    QStringList parts{qlang(text::kRecorderNumber) + QLatin1Char(' ') +
                      QString::number(content.number)};
    for (const QString& part :
         {identityText(content.identity), qstr(content.settings.description)}) {
        if (!part.isEmpty()) {
            parts << part;
        }
    }
    parts << statisticsTime(content.from) + QStringLiteral(" \u2013 ") + statisticsTime(content.to);
    return parts.join(QStringLiteral("  \u00B7  "));
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
                  qpunctuation(QLatin1Char(':')) +
                  qlang(summary.events == 0 ? text::kWithinLimits : text::kExcursions) +
                  qpunctuation(QLatin1Char(';')) + qlang(text::kTimeBeyondLimit) +
                  QLatin1Char(' ') + QString::number(summary.minutesBeyond));
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
        flow.table(tables.gaps, {1, 1, 1});
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
        flow.table(tables.statistics, {1, 1, 1});
        // Several records may hold the extreme value: the time shown is that of the latest.
        flow.line(qlang(text::kExtremeRule));
        flow.line(qlang(text::kMktParameter));
    }
    flow.gap();
    flow.setFont(fonts.heading);
    flow.line(qlang(text::kAlarmLimits));
    flow.setFont(fonts.body);
    flow.table(tables.limits, {1, 1, 1, 1, 1, 1});
    flow.line(qlang(text::kDelay) + qpunctuation(QLatin1Char(':')) +
              QString::number(content.limits.delayMinutes));
    verdictLines(flow, stats, content.limits);
    flow.gap();
    flow.setFont(fonts.heading);
    flow.line(qlang(text::kEvents));
    flow.setFont(fonts.body);
    if (stats.events.empty()) {
        flow.line(qlang(text::kNoEvents));
    } else {
        flow.table(tables.events, {1, 1, 1, 1, 1});
        for (const QString& note : cutNotes(stats)) {
            flow.line(note);
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

// Now in the form XMP gives a date: local time with its offset from UTC, "Z" for none; formed as
// Qt's writer forms the creation date of its information dictionary, which it must equal.
QString xmpDate(const QDateTime& now) {
    constexpr int kSecondsPerMinute = 60;
    constexpr int kMinutesPerHour = 60;
    const int offset = now.offsetFromUtc() / kSecondsPerMinute;
    const QString zone =
        offset == 0 ? QStringLiteral("Z")
                    : QStringLiteral("%1%2:%3")
                          .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                          .arg(std::abs(offset) / kMinutesPerHour, 2, 10, QLatin1Char('0'))
                          .arg(std::abs(offset) % kMinutesPerHour, 2, 10, QLatin1Char('0'));
    return now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + zone;
}

void xmpAlternative(QXmlStreamWriter& xml, const QString& element, const QString& text) {
    xml.writeStartElement(element);
    xml.writeStartElement(QStringLiteral("rdf:Alt"));
    xml.writeStartElement(QStringLiteral("rdf:li"));
    xml.writeAttribute(QStringLiteral("xml:lang"), QStringLiteral("x-default"));
    xml.writeCharacters(text);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
}

// The document's metadata. Qt's writer keeps title, creator, producer and creation date in the
// information dictionary and has no author or subject; the XMP packet given to it replaces its
// own, so it repeats those four as the dictionary holds them (PDF/A-1b asks the two to agree)
// and adds the author (dc:creator) and the subject (dc:description).
QByteArray xmpMetadata(const QString& title, const QString& program, const QString& subject,
                       const QDateTime& now) {
    const QString rdf = QStringLiteral("http://www.w3.org/1999/02/22-rdf-syntax-ns#");
    QByteArray packet;
    QXmlStreamWriter xml(&packet);
    xml.setAutoFormatting(true);
    xml.writeProcessingInstruction(QStringLiteral("xpacket"),
                                   QStringLiteral("begin='' id='W5M0MpCehiHzreSzNTczkc9d'"));
    xml.writeStartElement(QStringLiteral("x:xmpmeta"));
    xml.writeNamespace(QStringLiteral("adobe:ns:meta/"), QStringLiteral("x"));
    xml.writeStartElement(QStringLiteral("rdf:RDF"));
    xml.writeNamespace(rdf, QStringLiteral("rdf"));
    const auto description = [&](const QString& uri, const QString& prefix) {
        xml.writeStartElement(rdf, QStringLiteral("Description"));
        xml.writeNamespace(uri, prefix);
        xml.writeAttribute(rdf, QStringLiteral("about"), QString());
    };
    description(QStringLiteral("http://purl.org/dc/elements/1.1/"), QStringLiteral("dc"));
    xmpAlternative(xml, QStringLiteral("dc:title"), title);
    xmpAlternative(xml, QStringLiteral("dc:description"), subject);
    xml.writeStartElement(QStringLiteral("dc:creator"));
    xml.writeStartElement(QStringLiteral("rdf:Seq"));
    xml.writeTextElement(QStringLiteral("rdf:li"), program);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
    const QString date = xmpDate(now);
    description(QStringLiteral("http://ns.adobe.com/xap/1.0/"), QStringLiteral("xmp"));
    xml.writeAttribute(QStringLiteral("xmp:CreatorTool"), program);
    xml.writeAttribute(QStringLiteral("xmp:CreateDate"), date);
    xml.writeAttribute(QStringLiteral("xmp:ModifyDate"), date);
    xml.writeEndElement();
    description(QStringLiteral("http://ns.adobe.com/pdf/1.3/"), QStringLiteral("pdf"));
    xml.writeAttribute(QStringLiteral("pdf:Producer"), QStringLiteral("Qt " QT_VERSION_STR));
    xml.writeEndElement();
    description(QStringLiteral("http://www.aiim.org/pdfa/ns/id/"), QStringLiteral("pdfaid"));
    xml.writeAttribute(QStringLiteral("pdfaid:part"), QStringLiteral("1"));
    xml.writeAttribute(QStringLiteral("pdfaid:conformance"), QStringLiteral("B"));
    xml.writeEndElement();
    xml.writeEndElement(); // rdf:RDF
    xml.writeEndElement(); // x:xmpmeta
    xml.writeProcessingInstruction(QStringLiteral("xpacket"), QStringLiteral("end='w'"));
    return packet;
}

} // namespace

namespace {

// The figures the tables are made of.
ReportFigures tabledFigures(const ReportContent& content, const RecordList& records) {
    const bool fahrenheit = content.settings.tempUnit != 0;
    ReportFigures figures;
    figures.stats =
        computeStatistics(records, content.from, content.to, fahrenheit, content.limits);
    figures.coverage = recordCoverage(records, content.from, content.to);
    return figures;
}

// What both passes of the layout draw from, worked out once.
ReportTables reportTables(const ReportFigures& figures, const AlarmLimits& limits) {
    return ReportTables{statisticsTable(figures.stats), limitsTable(figures.stats, limits),
                        eventsTable(figures.stats), gapsTable(figures.coverage)};
}

void setA4(QPdfWriter& writer) {
    writer.setResolution(kResolution);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                                     QPageLayout::Millimeter));
}

// The last body line leaves room for the page number below it.
QRect bodyOf(const QPdfWriter& writer) {
    const QRect page = writer.pageLayout().paintRectPixels(kResolution);
    return QRect(0, 0, page.width(), page.height() * 95 / 100);
}

} // namespace

ReportFigures reportFigures(const ReportContent& content, const RecordList& records) {
    // The digest is the longest of the passes over the records and shares nothing with the
    // others: it runs beside them. The records stay unchanged until it is taken.
    std::future<std::string> fingerprint = std::async(std::launch::async, [&content, &records] {
        return recordFingerprint(records, content.from, content.to);
    });
    ReportFigures figures = tabledFigures(content, records);
    // The chart as the window draws it on a screen of ordinary resolution.
    constexpr int kScreenDpi = 96;
    figures.chart =
        chartImage(content, records, chart::chartFont(kScreenDpi), figures.stats.records);
    figures.fingerprint = QString::fromStdString(fingerprint.get());
    return figures;
}

QByteArray renderPdfReport(const ReportContent& content) {
    return renderPdfReport(content, reportFigures(content, content.records));
}

QByteArray renderShownReport(const DisplaySnapshot& shown, const DateTime& madeAt,
                             const IniSnapshot& ini) {
    ReportContent content = assembleReport(reportSource(shown, madeAt), ini);
    const ReportFigures figures =
        shown.withRecords([&content](const RecorderSettings& settings, const RecordList& records) {
            content.settings = settings;
            return reportFigures(content, records);
        });
    return renderPdfReport(content, figures);
}

QByteArray renderPdfReport(const ReportContent& content, const ReportFigures& figures) {
    const ReportTables tables = reportTables(figures, content.limits);
    QByteArray bytes;
    // The document grows in small writes; room made at once saves copying it again and again.
    constexpr qsizetype kExpectedBytes = qsizetype{1} << 22;
    bytes.reserve(kExpectedBytes);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    setA4(writer);
    // PDF/A-1b: fonts embedded, fit for filing.
    writer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
    const QString title = qlang(text::kReportTitle) + QLatin1Char(' ') + headerText(content);
    const QString program = QStringLiteral("Veldrin ") + content.version;
    writer.setTitle(title);
    writer.setCreator(program);
    // The writer dates its information dictionary when the painter begins, right after this.
    writer.setDocumentXmpMetadata(
        xmpMetadata(title, program, headerText(content), QDateTime::currentDateTime()));
    QPainter painter(&writer);
    const QRect body = bodyOf(writer);
    const QFont footerFont = reportFonts().body;
    PageFlow dry(nullptr, writer, body, 0, footerFont);
    layOut(dry, content, figures.stats, figures.coverage, tables, figures.chart,
           figures.fingerprint);
    PageFlow flow(&painter, writer, body, dry.pageCount(), footerFont);
    layOut(flow, content, figures.stats, figures.coverage, tables, figures.chart,
           figures.fingerprint);
    painter.end();
    return bytes;
}

QStringList reportHeadingsCut(const ReportContent& content) {
    const ReportFigures figures = tabledFigures(content, content.records);
    QBuffer nowhere;
    nowhere.open(QIODevice::WriteOnly);
    QPdfWriter writer(&nowhere);
    setA4(writer);
    PageFlow dry(nullptr, writer, bodyOf(writer), 0, reportFonts().body);
    const QImage chart(kChartWidth, kChartHeight, QImage::Format_RGB32);
    layOut(dry, content, figures.stats, figures.coverage, reportTables(figures, content.limits),
           chart, figures.fingerprint);
    return dry.cutHeadings();
}

bool writePdfReport(const std::string& path, const ReportContent& content, std::string& error) {
    return writeReportFile(path, renderPdfReport(content), error);
}

bool writeReportFile(const std::string& path, const QByteArray& bytes, std::string& error) {
    if (bytes.isEmpty()) {
        error = "the report could not be made";
        return false;
    }
    return writeExportFile(
        path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), error);
}

} // namespace veldrin
