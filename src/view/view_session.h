#pragma once
// Everything of the window program that is not a widget: the recorder backend, main.ini, the store
// of what is displayed, the fleet that serves every attached recorder at once (a chain with its
// own link, store, acquisition and worker per recorder), the alarm monitor, and the bridges that
// carry the workers' reports and the stores' notices to the window thread. It reports what the
// view shows through signals, always on the window thread; it never touches a widget.

#include "acquisition/recorder_fleet.h"
#include "core/clock.h"
#include "device/hid_backend.h"
#include "settings/user_prompts.h"
#include "store/data_store.h"
#include "store/ini_file.h"
#include "view/alarm_monitor.h"
#include "view/attached_recorders.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace veldrin {

struct ViewStartup {
    std::string dataFolder; // resolved, created and already locked by the app (DataDirectoryLock)
    std::string resourceFolder; // language files
    std::string device = "hid"; // "hid", "sim" (in-process software recorder), "socket:PATH"
    int languageOption = -1;    // --lang 0|1|2, -1 when not given
    Clock* clock = nullptr;     // SystemClock in the program, ManualClock in tests
    CUserPrompts* prompts = nullptr;
    // Tests pass a backend of their own (over the in-process software recorder); when null the view
    // opens `device` with chooseBackend (device/backend_registry.h), as veldrin-cli does.
    std::shared_ptr<HidBackend> backend;
    // Whether the 1-s QTimer runs; tests on simulated time call onTick() themselves.
    bool runTimer = true;
};

// A data file that could not be read: its path and the cause, in the current language.
QString openFailureMessage(const QString& path, OpenFailure failure);

class ViewSession : public QObject {
    Q_OBJECT
public:
    explicit ViewSession(const ViewStartup& startup, QObject* parent = nullptr);
    ~ViewSession() override; // stops and joins every worker

    // The store of what is displayed; the recorders' own chains have stores of their own.
    DataStore& store() { return *store_; }
    IniFile& ini() { return *ini_; }
    RecorderFleet& fleet() { return *fleet_; }
    AlarmMonitor& alarms() { return *alarms_; }
    CUserPrompts& prompts() { return *prompts_; }
    Clock& clock() { return *clock_; }
    const ViewStartup& startup() const { return startup_; }
    const std::string& mainIniPath() const { return mainIniPath_; }
    // Why the recorder device named could not be opened; empty when it could.
    const QString& startupError() const { return startupError_; }

    // Where the last export went, so that the next save dialog opens there.
    const QString& lastExportFolder() const { return lastExportFolder_; }
    void setLastExportFolder(const QString& folder) { lastExportFolder_ = folder; }

    // ---- The attached recorders ------------------------------------------------------------
    // The numbers of the recorders attached and identified now, in the order of their interfaces.
    std::vector<int32_t> attachedNumbers() const;
    int attachedCount() const;
    // The acquisition serving a recorder attached now; null when it is not attached. Valid until
    // the next tick, or for as long as a FleetHold lives.
    Acquisition* acquisitionOf(int32_t number);
    // Whether any chain runs a command.
    bool busy() const { return fleet_ && fleet_->busy(); }
    // Whether a command runs for recorder `number`, also in the chain of a recorder just pulled.
    bool busy(int32_t number) const { return fleet_ && fleet_->isBusy(number); }

    // While one lives, the one-second step leaves the chains as they are (none started, none
    // retired, no periodic download), so that a command may use a chain's acquisition across
    // its dialogs; the reports of what already runs are still handled.
    class FleetHold {
    public:
        explicit FleetHold(ViewSession& session) : session_(session) { ++session_.holds_; }
        ~FleetHold() { --session_.holds_; }
        FleetHold(const FleetHold&) = delete;
        FleetHold& operator=(const FleetHold&) = delete;

    private:
        ViewSession& session_;
    };

    // ---- What is displayed -----------------------------------------------------------------
    // Asks for the list to be rebuilt at the next fill (thread-safe), and takes that request.
    void setListNeedsRefill() { listNeedsRefill_.store(true); }
    bool listRefillPending() const { return listNeedsRefill_.load(); }
    bool takeListRefill() { return listNeedsRefill_.exchange(false); }

    // Whether the records of `recorder` should be loaded because nothing is shown: not while a
    // load that left the set empty is still the last word for that recorder and its file.
    bool needsLoad(int recorder) const;
    // Loads the displayed set from `recorder`'s file (on the window thread, never in a paint).
    void loadDisplayed(int recorder);
    // The displayed set becomes `number`'s history: from its chain when it is attached (what
    // the chain holds), otherwise from its file. 1 on success.
    int showRecorder(int32_t number);
    // The displayed recorder's history again, when it is attached (after a command of the
    // window changed what its chain holds).
    void refreshDisplayed();

    // The one-second step: starts and retires the chains, their periodic downloads, the status
    // pane's turns, the alarms of every attached recorder, and every 15th tick the time window.
    void tick();
    // Ticks since the last 15-second step; set to 14, the step comes at the next tick.
    void setTicksBeforeWindow(int ticks) { ticks_ = ticks; }
    int ticksBeforeWindow() const { return ticks_; }
    // The displayed recorder changed (-1: an opened file): its limits apply from now on, and a
    // recorder registering later is shown only when the display rule lets it.
    void setDisplayedRecorder(int32_t number);
    // The language changed: the status text is shown again in the new one.
    void languageChanged();
    // New limits were stored for `number`: `limitsStored` tells whoever shows them.
    void limitsChanged(int32_t number);
    // A recorder shown without being chosen (see recorderToShow): true when its limits now apply
    // instead of those of the recorder shown before.
    bool followDisplayedRecorder();
    void stop(); // ends every worker and waits for it; nothing half-written

Q_SIGNALS:
    // Status pane 0: the recorders' texts, followed by the displayed one's alarm while there is
    // one.
    void statusText(const QString& text);
    void recordersChanged(int32_t maxId, int32_t current);
    // How many recorders are attached (status pane 1).
    void attachedCountChanged(int count);
    // Which recorders are attached changed ("Driver No." marks them).
    void attachedChanged();
    // A recorder registered or recognised is to be displayed (the display rule let it).
    void recorderToShow(int32_t number);
    // The displayed records, settings or limits changed: what shows them follows.
    void displayedDataChanged();
    // A recorder's file got new records (a download, a clock setting or a reconnect ended), whether
    // it is displayed or not: the comparison reads a ticked recorder again.
    void recorderDataSaved(int32_t number);
    // Clear PC Data emptied a recorder's file, through the display's store or its chain's: the
    // comparison lets a ticked recorder's records go at once.
    void recorderDataCleared(int32_t number);
    void intervalChanged(int32_t minutes);
    // The 15-second step: the preset or slot window is computed again.
    void windowToApply();
    void limitsStored();
    // A fault to show in a message box.
    void problem(const QString& text);

private:
    class FleetBridge;
    class StoreBridge;

    bool openRecorder();
    void pump();
    void recorderIdentified(const FleetRecorder& recorder);
    void newData(const FleetRecorder& recorder);
    void chainEnded(const FleetRecorder& recorder);
    void report(const FleetRecorder& recorder, const QString& text);
    void followAttached();
    void followAlarms();
    void showTurn();
    void showStatus(const QString& acquisitionText);
    void showAlarm(const QString& alarm);

    // What a load was tried for: the recorder and whether its file was there.
    struct LoadAttempt {
        int recorder = -1;
        bool fileThere = false;
        bool operator==(const LoadAttempt&) const = default;
    };
    LoadAttempt loadAttempt(int recorder) const;

    // What a recorder's chain said last, so that it can be said again in another language: the
    // report it was made from, or that the recorder went away.
    struct Said {
        StatusTurns::Recorder recorder;
        std::optional<std::pair<int32_t, int>> report; // number, code
        bool pulled = false;
    };
    QString textOf(const Said& said) const;

    ViewStartup startup_;
    Clock* clock_ = nullptr;
    std::unique_ptr<CUserPrompts> ownPrompts_;
    CUserPrompts* prompts_ = nullptr;
    std::string mainIniPath_;
    QString startupError_;

    std::shared_ptr<HidBackend> backend_;
    std::unique_ptr<IniFile> ini_;
    std::unique_ptr<DataStore> store_;
    std::unique_ptr<StoreBridge> storeBridge_;
    std::unique_ptr<AlarmMonitor> alarms_;
    std::unique_ptr<FleetBridge> fleetBridge_;
    std::unique_ptr<RecorderFleet> fleet_;

    std::atomic<bool> listNeedsRefill_{true};
    std::optional<LoadAttempt> givenUpFor_;
    int32_t displayed_ = -1;
    int ticks_ = 0;
    int holds_ = 0;
    std::atomic<bool> pumpQueued_{false}; // a pump is on its way to the window thread
    StatusTurns turns_;
    std::map<uint64_t, Said> said_;
    uint64_t latestChain_ = 0;
    std::vector<FleetRecorder> lastRecorders_;
    // Every chain made so far that has not ended for good: a recorder pulled keeps its chain
    // asleep, and its alarms are followed on across its absence.
    std::vector<uint64_t> chains_;
    int lastCount_ = -1;
    QString acquisitionStatus_;
    QString alarmStatus_;
    QString lastExportFolder_;
    bool stopped_ = false;
};

} // namespace veldrin
