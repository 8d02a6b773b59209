#pragma once
// What the window shows now: the recorder, the period's time window, the display mode and the
// limits in force, kept apart from the widgets that choose them. Every change hands out a new
// immutable snapshot and signals it; the chart, the list, the statistics, the export and the
// report read only snapshots. The windows shown before the current one are remembered here, so
// that Back returns to them one by one.

#include "chart/display_snapshot.h"
#include "view/time_window.h"

#include <QObject>

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>

namespace veldrin {

// The windows shown before the current one, for one displayed recorder (its "Driver No."
// position); the history of another recorder is forgotten on the first push or pop for it.
class WindowHistory {
public:
    void push(int recorder, const TimeWindow& window);
    std::optional<TimeWindow> pop(int recorder);
    void clear() { windows_.clear(); }
    std::size_t size() const { return windows_.size(); }
    // Whether pop(recorder) would give a window.
    bool holdsFor(int recorder) const { return !windows_.empty() && recorder == recorder_; }

private:
    // A history longer than anyone goes back through: the oldest windows are dropped.
    static constexpr std::size_t kLongest = 1000;
    int recorder_ = -1;
    std::deque<TimeWindow> windows_;
};

// What the widgets and the session say is shown; the selection fills in the rest.
struct DisplayChoice {
    int32_t recorder = -1;
    TimeWindow window;
    DisplayMode mode = DisplayMode::chart;
    AlarmLimits limits;
};

class DisplaySelection : public QObject {
    Q_OBJECT
public:
    explicit DisplaySelection(const DataStore& store, QObject* parent = nullptr);

    std::shared_ptr<const DisplaySnapshot> snapshot() const { return snapshot_; }
    TimeWindow window() const { return {snapshot_->from, snapshot_->to}; }

    // Takes the choice; a new snapshot (and `changed`) only when something shown differs.
    void choose(const DisplayChoice& choice);
    // The displayed records or settings changed: a new snapshot of the same choice.
    void dataChanged();

    // The current window is remembered before the chart moves to another one.
    void rememberWindow();
    // The window before the current one, taken from the history; none when there is none.
    std::optional<TimeWindow> previousWindow();
    // A preset, a slot, another recorder or file: what was shown before is not gone back to.
    void newHistory();
    bool canGoBack() const { return history_.holdsFor(snapshot_->recorder); }
    const WindowHistory& history() const { return history_; }

Q_SIGNALS:
    void changed();
    // Whether Back has a window to go back to now.
    void backAvailable(bool available);

private:
    void publish(const DisplayChoice& choice);
    void announceBack() { Q_EMIT backAvailable(canGoBack()); }

    const DataStore& store_;
    std::shared_ptr<const DisplaySnapshot> snapshot_;
    WindowHistory history_;
};

} // namespace veldrin
