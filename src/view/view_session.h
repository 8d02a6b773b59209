#pragma once
// Everything of the window program that is not a widget: the recorder backend and link, main.ini,
// the data store, the acquisition with its worker, the alarm monitor, and the bridges that carry
// the worker's reports and the store's notices to the window thread. It reports what the view
// shows through signals, always on the window thread; it never touches a widget.

#include "acquisition/acquisition.h"
#include "core/clock.h"
#include "device/hid_backend.h"
#include "settings/user_prompts.h"
#include "store/data_store.h"
#include "store/ini_file.h"
#include "view/alarm_monitor.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <utility>

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
    ~ViewSession() override; // stops and joins the worker

    DataStore& store() { return *store_; }
    IniFile& ini() { return *ini_; }
    Acquisition& acquisition() { return *acquisition_; }
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

    // The latest worker report (number, code), for its text in another language.
    const std::optional<std::pair<int32_t, int>>& lastReport() const { return lastReport_; }

    // Asks for the list to be rebuilt at the next fill (thread-safe), and takes that request.
    void setListNeedsRefill() { listNeedsRefill_.store(true); }
    bool listRefillPending() const { return listNeedsRefill_.load(); }
    bool takeListRefill() { return listNeedsRefill_.exchange(false); }

    // Whether the records of `recorder` should be loaded because nothing is shown: not while a
    // load that left the set empty is still the last word for that recorder and its file.
    bool needsLoad(int recorder) const;
    // Loads the displayed set from `recorder`'s file (on the window thread, never in a paint).
    void loadDisplayed(int recorder);

    // The one-second step: polls for a recorder, follows the attached one's alarms.
    void tick();
    // The displayed recorder changed (-1: an opened file): its limits apply from now on.
    void setDisplayedRecorder(int32_t number);
    // The language changed: the status text is shown again in the new one.
    void languageChanged();
    // New limits were stored for `number`: `limitsStored` tells whoever shows them.
    void limitsChanged(int32_t number);
    // A recorder registered or recognised while the window runs, shown without being chosen:
    // true when its limits now apply instead of those of the recorder shown before.
    bool followDisplayedRecorder();
    void stop(); // ends the worker and waits for it; nothing half-written

Q_SIGNALS:
    // Status pane 0: the acquisition's text, followed by the alarm while there is one.
    void statusText(const QString& text);
    void recordersChanged(int32_t maxId, int32_t current);
    void recorderAttached(bool attached);
    // The displayed records, settings or limits changed: what shows them follows.
    void displayedDataChanged();
    void intervalChanged(int32_t minutes);
    // The 15-second step: the preset or slot window is computed again.
    void windowToApply();
    void limitsStored();
    // A fault to show in a message box.
    void problem(const QString& text);

private:
    class WindowReportSink;
    class AcquisitionBridge;
    class StoreBridge;

    bool openRecorder();
    void handleReport(int32_t number, int code);
    void followAttached();
    void followAlarms();
    void showStatus(const QString& acquisitionText);
    void showAlarm(const QString& alarm);

    // What a load was tried for: the recorder and whether its file was there.
    struct LoadAttempt {
        int recorder = -1;
        bool fileThere = false;
        bool operator==(const LoadAttempt&) const = default;
    };
    LoadAttempt loadAttempt(int recorder) const;

    ViewStartup startup_;
    Clock* clock_ = nullptr;
    std::unique_ptr<CUserPrompts> ownPrompts_;
    CUserPrompts* prompts_ = nullptr;
    std::string mainIniPath_;
    QString startupError_;

    std::shared_ptr<HidBackend> backend_;
    std::unique_ptr<LoggerLink> link_;
    std::unique_ptr<IniFile> ini_;
    std::unique_ptr<DataStore> store_;
    std::unique_ptr<StoreBridge> storeBridge_;
    std::unique_ptr<AlarmMonitor> alarms_;
    std::unique_ptr<WindowReportSink> reportSink_;
    std::unique_ptr<AcquisitionBridge> acquisitionBridge_;
    std::unique_ptr<Acquisition> acquisition_;

    std::atomic<bool> listNeedsRefill_{true};
    std::optional<LoadAttempt> givenUpFor_;
    QString acquisitionStatus_;
    QString alarmStatus_;
    QString lastExportFolder_;
    int lastAttached_ = -1;
    bool pulled_ = false; // the status says the recorder went away, until the next report
    std::optional<std::pair<int32_t, int>> lastReport_;
    bool stopped_ = false;
};

} // namespace veldrin
