#include "chart/chart_area.h"

#include "qlang/qlang.h"

#include <QCursor>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace veldrin::chart {
namespace {

constexpr int kProgressBarId = 1001;
constexpr int kProgressHalfWidth = 150;
constexpr int kProgressTop = 30;
constexpr int kProgressBottom = 60;

} // namespace

ChartArea::ChartArea(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    // The image covers every pixel: nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Takes the keys that zoom and pan once clicked or tabbed to.
    setFocusPolicy(Qt::StrongFocus);
}

ChartInput ChartArea::input() const {
    ChartInput in;
    in.dataGeneration = generation_;
    if (snapshot_) {
        in.start = snapshot_->from.value;
        in.end = snapshot_->to.value;
        in.limits = snapshot_->limits;
    }
    in.size = size();
    in.font = chartFont(logicalDpiY());
    in.texts = chartTextsFromLanguage();
    if (!readoutHidden_) {
        in.hover = cursorPoint();
    }
    in.band = band_;
    return in;
}

QPoint ChartArea::cursorPoint() const {
    return mapFromGlobal(QCursor::pos());
}

const QImage& ChartArea::render(const ChartInput& wanted) {
    ChartInput in = wanted;
    if (!snapshot_ || snapshot_->store == nullptr) {
        renderer_.takeRecords(RecordList{}, in);
        return renderer_.render(in);
    }
    {
        // Only the reading of the records happens under the lock; the drawing does not. The unit
        // is read with the records, so that both belong to the same data.
        const DataStore::DisplayedView displayed = snapshot_->store->displayed();
        in.fahrenheit = displayed.settings().tempUnit != 0;
        renderer_.takeRecords(displayed.records(), in);
    }
    return renderer_.render(in);
}

// Drawn at the screen's device pixel ratio, so that lines and text are as sharp as the widgets
// around them; the geometry stays that of the chart's own pixels.
void ChartArea::paintEvent(QPaintEvent* /*event*/) {
    const qreal ratio = devicePixelRatioF();
    QPainter painter(this);
    if (ratio == 1.0) {
        const QImage& image = render(input());
        if (!image.isNull()) {
            painter.drawImage(0, 0, image);
        }
        drawFocusMark(painter);
        return;
    }
    const QImage image = imageAtRatio(ratio);
    if (!image.isNull()) {
        painter.drawImage(QPointF(0, 0), image);
    }
    drawFocusMark(painter);
}

// With the keyboard focus the chart shows the style's focus frame, over the image only on the
// screen: the exported image never carries it.
void ChartArea::drawFocusMark(QPainter& painter) {
    if (!hasFocus()) {
        return;
    }
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = rect().adjusted(1, 1, -1, -1);
    option.backgroundColor = kBackground;
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void ChartArea::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void ChartArea::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

QImage ChartArea::currentImage() {
    return render(input()).copy();
}

QImage ChartArea::imageAtRatio(qreal ratio) {
    const ChartInput in = input();
    render(in);
    return renderer_.renderAtRatio(in, ratio);
}

void ChartArea::hideReadout(bool hidden) {
    if (readoutHidden_ == hidden) {
        return;
    }
    readoutHidden_ = hidden;
    update();
}

void ChartArea::setBand(std::optional<std::pair<int, int>> band) {
    if (band_ == band) {
        return;
    }
    band_ = band;
    update();
}

void ChartArea::mouseMoveEvent(QMouseEvent* event) {
    update();
    QWidget::mouseMoveEvent(event);
}

// The cursor has left the chart: one more repaint takes a stale readout away.
void ChartArea::leaveEvent(QEvent* event) {
    update();
    QWidget::leaveEvent(event);
}

void ChartArea::setSnapshot(std::shared_ptr<const DisplaySnapshot> snapshot) {
    snapshot_ = std::move(snapshot);
    displayChanged();
}

void ChartArea::displayChanged() {
    ++generation_;
    update();
}

void ChartArea::showLoading(bool loading) {
    if (!loading) {
        if (progress_ != nullptr) {
            progress_->hide();
            loadingText_->hide();
        }
        ++generation_;
        return;
    }
    const int w = width();
    const int h = height();
    if (loadingText_ == nullptr) {
        loadingText_ = new QLabel(this);
        loadingText_->setTextFormat(Qt::PlainText);
        progress_ = new QProgressBar(this);
        progress_->setObjectName(QString::number(kProgressBarId));
        progress_->setTextVisible(false);
        progress_->setRange(0, 0);
    }
    loadingText_->setText(qlangFormatted(text::kLoading));
    loadingText_->adjustSize();
    loadingText_->move(w / 2 - loadingText_->width() / 2, h / 2);
    progress_->setGeometry(w / 2 - kProgressHalfWidth, h / 2 + kProgressTop, 2 * kProgressHalfWidth,
                           kProgressBottom - kProgressTop);
    loadingText_->show();
    progress_->show();
    // Shown at once: the load that follows keeps the window thread busy.
    loadingText_->repaint();
    progress_->repaint();
}

} // namespace veldrin::chart
