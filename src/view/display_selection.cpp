#include "view/display_selection.h"

namespace veldrin {

void WindowHistory::push(int recorder, const TimeWindow& window) {
    if (recorder != recorder_) {
        windows_.clear();
        recorder_ = recorder;
    }
    windows_.push_back(window);
    if (windows_.size() > kLongest) {
        windows_.pop_front();
    }
}

std::optional<TimeWindow> WindowHistory::pop(int recorder) {
    if (recorder != recorder_) {
        windows_.clear();
        recorder_ = recorder;
    }
    if (windows_.empty()) {
        return std::nullopt;
    }
    const TimeWindow window = windows_.back();
    windows_.pop_back();
    return window;
}

DisplaySelection::DisplaySelection(const DataStore& store, QObject* parent)
    : QObject(parent), store_(store) {
    auto first = std::make_shared<DisplaySnapshot>();
    first->store = &store_;
    snapshot_ = std::move(first);
}

void DisplaySelection::choose(const DisplayChoice& choice) {
    const DisplaySnapshot& now = *snapshot_;
    if (choice.recorder == now.recorder && choice.window.start == now.from &&
        choice.window.end == now.to && choice.mode == now.mode && choice.limits == now.limits &&
        // A unit changed by a download whose notice is still on its way is taken now as well.
        (store_.displayedSettings().tempUnit != 0) == now.fahrenheit) {
        return;
    }
    publish(choice);
}

void DisplaySelection::dataChanged() {
    const DisplaySnapshot& now = *snapshot_;
    publish(DisplayChoice{now.recorder, TimeWindow{now.from, now.to}, now.mode, now.limits});
}

void DisplaySelection::publish(const DisplayChoice& choice) {
    auto next = std::make_shared<DisplaySnapshot>();
    next->recorder = choice.recorder;
    next->from = choice.window.start;
    next->to = choice.window.end;
    next->mode = choice.mode;
    next->limits = choice.limits;
    next->settings = store_.displayedSettings();
    next->fahrenheit = next->settings.tempUnit != 0;
    next->serial = snapshot_->serial + 1;
    next->store = &store_;
    snapshot_ = std::move(next);
    Q_EMIT changed();
    announceBack();
}

void DisplaySelection::rememberWindow() {
    history_.push(snapshot_->recorder, window());
    announceBack();
}

std::optional<TimeWindow> DisplaySelection::previousWindow() {
    const std::optional<TimeWindow> window = history_.pop(snapshot_->recorder);
    announceBack();
    return window;
}

void DisplaySelection::newHistory() {
    history_.clear();
    announceBack();
}

} // namespace veldrin
