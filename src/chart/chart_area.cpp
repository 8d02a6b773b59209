#include "chart/chart_area.h"

#include "core/paths.h"
#include "lang/safe_format.h"

#include <QCursor>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>

namespace veldrin::chart {
namespace {

constexpr int kLoadingText = 49;
constexpr int kProgressBarId = 1001;
constexpr int kProgressHalfWidth = 150;
constexpr int kProgressTop = 30;
constexpr int kProgressBottom = 60;

} // namespace

ChartArea::ChartArea(DataStore& store, ChartAreaSource source, QWidget* parent)
    : QWidget(parent), store_(store), source_(std::move(source)) {
    setMouseTracking(true);
    // The image covers every pixel: nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Takes the keys that zoom and pan once clicked or tabbed to.
    setFocusPolicy(Qt::StrongFocus);
}

ChartInput ChartArea::input() const {
    ChartInput in;
    in.dataGeneration = generation_;
    const auto [start, end] = source_.window();
    in.start = start.value;
    in.end = end.value;
    in.size = size();
    in.font = chartFont(logicalDpiY());
    in.texts = chartTextsFromLanguage();
    if (!readoutHidden_) {
        in.hover = cursorPoint();
    }
    in.band = band_;
    if (source_.limits) {
        in.limits = source_.limits();
    }
    return in;
}

QPoint ChartArea::cursorPoint() const {
    return mapFromGlobal(QCursor::pos());
}

const QImage& ChartArea::render(const ChartInput& wanted) {
    ChartInput in = wanted;
    {
        // Only the reading of the records happens under the lock; the drawing does not.
        const DataStore::DisplayedView displayed = store_.displayed();
        in.fahrenheit = displayed.settings().tempUnit != 0;
        renderer_.takeRecords(displayed.records(), in);
    }
    return renderer_.render(in);
}

void ChartArea::paintEvent(QPaintEvent* /*event*/) {
    const QImage& image = render(input());
    QPainter painter(this);
    if (image.isNull()) {
        return;
    }
    painter.drawImage(0, 0, image);
}

QImage ChartArea::currentImage() {
    return render(input()).copy();
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

void ChartArea::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    loadIfEmpty();
}

void ChartArea::displayChanged() {
    ++generation_;
    loadIfEmpty();
    update();
}

ChartArea::LoadAttempt ChartArea::loadAttempt() const {
    LoadAttempt attempt;
    attempt.recorder = source_.chosenRecorder ? source_.chosenRecorder() : -1;
    attempt.fileThere = attempt.recorder >= 0 && fileExists(store_.dataFilePath(attempt.recorder));
    return attempt;
}

// A chart about to be shown with no records loads the chosen recorder's file, showing a message
// and a progress bar meanwhile; a load that leaves the list empty is not tried again until
// another recorder is chosen or its file appears.
void ChartArea::loadIfEmpty() {
    if (loading_ || !isVisible() || store_.displayedCount() != 0) {
        return;
    }
    const LoadAttempt attempt = loadAttempt();
    if (givenUpFor_ == attempt) {
        return;
    }
    loading_ = true;
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
    loadingText_->setText(qs(formattedLanguageString(kLoadingText)));
    loadingText_->adjustSize();
    loadingText_->move(w / 2 - loadingText_->width() / 2, h / 2);
    progress_->setGeometry(w / 2 - kProgressHalfWidth, h / 2 + kProgressTop, 2 * kProgressHalfWidth,
                           kProgressBottom - kProgressTop);
    loadingText_->show();
    progress_->show();
    loadingText_->repaint();
    progress_->repaint();

    if (attempt.recorder >= 0) {
        store_.loadDisplayedSet(attempt.recorder);
    }
    progress_->hide();
    loadingText_->hide();
    if (store_.displayedCount() == 0) {
        givenUpFor_ = attempt;
    }
    ++generation_;
    loading_ = false;
}

} // namespace veldrin::chart
