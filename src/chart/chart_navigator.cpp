#include "chart/chart_navigator.h"

#include "chart/chart_area.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace veldrin::chart {
namespace {

// Eighths of a degree in one notch of a common wheel.
constexpr int kNotchAngle = 120;

int64_t seconds(double time) {
    return DateTime::fromValue(time).linearSeconds();
}

} // namespace

ChartNavigator::ChartNavigator(ChartArea& area, ChartNavigationHooks hooks)
    : QObject(&area), area_(area), hooks_(std::move(hooks)) {
    area_.installEventFilter(this);
}

bool ChartNavigator::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &area_) {
        return false;
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        return pressed(static_cast<const QMouseEvent&>(*event));
    case QEvent::MouseMove:
        return moved(static_cast<const QMouseEvent&>(*event));
    case QEvent::MouseButtonRelease:
        return released(static_cast<const QMouseEvent&>(*event));
    case QEvent::Wheel:
        return wheeled(static_cast<const QWheelEvent&>(*event));
    case QEvent::KeyPress:
        return keyPressed(static_cast<const QKeyEvent&>(*event));
    default:
        return false;
    }
}

PlotRect ChartNavigator::plot() const {
    return plotRect(area_.width(), area_.height());
}

bool ChartNavigator::onPlot(QPoint at) const {
    const PlotRect p = plot();
    return at.x() >= p.x0 && at.x() <= p.x1 && at.y() >= p.y0 && at.y() <= p.y1;
}

int ChartNavigator::plotColumn(int x) const {
    const PlotRect p = plot();
    return std::clamp(x, p.x0, std::max(p.x0, p.x1));
}

std::pair<double, double> ChartNavigator::shownWindow() const {
    const auto [start, end] = hooks_.window();
    return {start.value, end.value};
}

bool ChartNavigator::move(const SecondWindow& window, bool newStep) {
    // A window already shown (a pan against the end of the range) is no step to go back through.
    const auto [start, end] = shownWindow();
    if (window == secondWindow(start, end)) {
        return false;
    }
    hooks_.moveWindow(windowStart(window), windowEnd(window), newStep);
    return true;
}

void ChartNavigator::zoom(double anchorTime, double factor) {
    const auto [start, end] = shownWindow();
    if (const auto zoomed = zoomedWindow(secondWindow(start, end), seconds(anchorTime), factor)) {
        move(*zoomed, true);
    }
}

bool ChartNavigator::pressed(const QMouseEvent& event) {
    if (drag_ != Drag::none) {
        const Qt::MouseButton held = drag_ == Drag::pan ? Qt::MiddleButton : Qt::LeftButton;
        if ((event.buttons() & ~event.button()) & held) {
            return true; // another button during a drag
        }
        // The release of the drag went elsewhere (the grab was lost): it ended there.
        drag_ = Drag::none;
        area_.setBand(std::nullopt);
    }
    const QPoint at = event.position().toPoint();
    if (event.button() == Qt::LeftButton) {
        drag_ = onPlot(at) ? Drag::select : Drag::click;
    } else if (event.button() == Qt::MiddleButton) {
        drag_ = Drag::pan;
        panning_ = false;
        area_.setCursor(Qt::ClosedHandCursor);
    } else {
        return false;
    }
    pressedAt_ = at;
    pressedWindow_ = shownWindow();
    area_.hideReadout(true);
    return true;
}

bool ChartNavigator::moved(const QMouseEvent& event) {
    const QPoint at = event.position().toPoint();
    switch (drag_) {
    case Drag::none:
        followCursor(at);
        return false;
    case Drag::select: {
        const int from = plotColumn(pressedAt_.x());
        const int to = plotColumn(at.x());
        area_.setBand(std::abs(at.x() - pressedAt_.x()) >= kClickDistance
                          ? std::optional(std::pair(from, to))
                          : std::nullopt);
        return true;
    }
    case Drag::click:
        return true;
    case Drag::pan: {
        const int pixels = at.x() - pressedAt_.x();
        const SecondWindow from = secondWindow(pressedWindow_.first, pressedWindow_.second);
        if (move(pannedWindow(from, pixelPanSeconds(from, pixels, plot())), !panning_)) {
            panning_ = true;
        }
        return true;
    }
    }
    return false;
}

bool ChartNavigator::released(const QMouseEvent& event) {
    const QPoint at = event.position().toPoint();
    const Drag drag = drag_;
    if (drag == Drag::none) {
        return false;
    }
    const bool left = event.button() == Qt::LeftButton;
    if ((drag == Drag::pan) == left) {
        return true; // the other button of a drag going on
    }
    drag_ = Drag::none;
    area_.setBand(std::nullopt);
    area_.unsetCursor();
    pointing_ = false;
    if (drag == Drag::select) {
        const auto [start, end] = pressedWindow_;
        if (const auto window =
                draggedWindow(plotColumn(pressedAt_.x()), plotColumn(at.x()), start, end, plot())) {
            move(*window, true);
            return true;
        }
    }
    if (drag != Drag::pan && std::abs(at.x() - pressedAt_.x()) < kClickDistance &&
        std::abs(at.y() - pressedAt_.y()) < kClickDistance) {
        chooseValueAt(at);
    }
    area_.hideReadout(false);
    return true;
}

void ChartNavigator::chooseValueAt(QPoint at) {
    jumpTo(area_.renderer().summaryValueAt(at));
}

// The window centred on the value's record, and its row chosen in the list.
void ChartNavigator::jumpTo(const std::optional<ChartPoint>& value) {
    if (!value) {
        return;
    }
    const auto [start, end] = shownWindow();
    move(centredWindow(secondWindow(start, end), seconds(value->time)), true);
    if (hooks_.recordChosen) {
        hooks_.recordChosen(value->record);
    }
}

// A value that jumps to its record looks clickable.
void ChartNavigator::followCursor(QPoint at) {
    const bool onValue = area_.renderer().summaryValueAt(at).has_value();
    if (onValue == pointing_) {
        return;
    }
    pointing_ = onValue;
    if (onValue) {
        area_.setCursor(Qt::PointingHandCursor);
    } else {
        area_.unsetCursor();
    }
}

bool ChartNavigator::wheeled(const QWheelEvent& event) {
    const QPoint at = event.position().toPoint();
    if (drag_ != Drag::none || !onPlot(at)) {
        return false;
    }
    // Some systems turn Shift+wheel into a sideways wheel.
    const QPoint angle = event.angleDelta();
    wheelAngle_ += angle.y() != 0 ? angle.y() : angle.x();
    const int notches = wheelAngle_ / kNotchAngle;
    wheelAngle_ -= notches * kNotchAngle;
    if (notches == 0) {
        return true;
    }
    const auto [start, end] = shownWindow();
    if (event.modifiers() & Qt::ShiftModifier) {
        const SecondWindow window = secondWindow(start, end);
        move(pannedWindow(window, -notches * (window.span() / kPanParts)), true);
    } else {
        zoom(timeAtPixel(at.x(), start, end, plot()), std::pow(kZoomPerNotch, notches));
    }
    return true;
}

bool ChartNavigator::keyPressed(const QKeyEvent& event) {
    const auto [start, end] = shownWindow();
    const SecondWindow window = secondWindow(start, end);
    const double middle = start + (end - start) / 2;
    switch (event.key()) {
    case Qt::Key_Plus:
        zoom(middle, kZoomPerNotch);
        return true;
    case Qt::Key_Minus:
        zoom(middle, 1 / kZoomPerNotch);
        return true;
    case Qt::Key_Left:
        move(pannedWindow(window, -(window.span() / kPanParts)), true);
        return true;
    case Qt::Key_Right:
        move(pannedWindow(window, window.span() / kPanParts), true);
        return true;
    case Qt::Key_Home:
    case Qt::Key_End:
        jumpTo(area_.renderer().temperatureExtreme(event.key() == Qt::Key_End));
        return true;
    default:
        return false;
    }
}

} // namespace veldrin::chart
