#pragma once
// The main view of the window: the form with the recorder, display and time-window controls, the
// display area below it (chart or record list), the one-second step that polls for a recorder and
// downloads every 15 seconds, and the window side of the worker's reports. The acquisition logic
// itself lives in the headless layers; this class only connects it to widgets, always on the
// window thread.

#include "acquisition/acquisition.h"
#include "core/clock.h"
#include "device/hid_backend.h"
#include "settings/user_prompts.h"
#include "store/data_store.h"
#include "store/ini_file.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QSettings;
class QStackedWidget;
class QTableView;
class QTimer;

namespace veldrin {

class CWindowNavigation;
class AlarmMonitor;
class DisplayArea;
class FittingLayout;
class RecordListModel;
class TimeWindowPickers;
struct TimeWindow;

// What the view needs from the frame around it (CMainFrame implements it; tests use a fake).
class CFrameServices {
public:
    virtual ~CFrameServices() = default;
    virtual void
    setStatusText(const QString& text) = 0;         // status pane 0, replaces and redraws at once
    virtual void setStatusPaneWidth(int width) = 0; // pane 0 width (view client width - 150)
    virtual void
    setRecorderAttached(bool attached) = 0;  // recorderAttached; repaints pane 1 picture
    virtual void applyLanguageToFrame() = 0; // menu texts and toolbar after a language change
    // The file shown read-only instead of a recorder's history (its name), or empty for none.
    virtual void showDocumentName(const QString& fileName) = 0;
};

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

// Selection positions of the Select combo (1002) and of the Display combo (1010).
enum class SelectMode : int { presets = 0, timeSlots = 1, free = 2 };
enum class DisplayMode : int { chart = 0, list = 1 };

class CVeldrinView : public QWidget {
    Q_OBJECT
public:
    CVeldrinView(const ViewStartup& startup, CFrameServices& frame, QWidget* parent = nullptr);
    ~CVeldrinView() override; // stops and joins the worker; nothing half-written

    // Language choice, combos, first data load, starts the 1-s timer; false: start-up fails (the
    // recorder device named could not be opened), with the reason in startupError().
    bool initialUpdate();
    void onTick(); // one-second step (tests call it on simulated time)

    // Command handlers of the view (menu and toolbar).
    void onExport();
    void onSetting();
    void onClearPcData();
    void onLanguage();
    void onBack(); // the time window before the last one the chart moved to
    void onAlarmLimits();
    void onStatistics();
    // Open, a file on the command line or a dropped file: shows the data file read-only as the
    // displayed data; no recorder's file is touched.
    void openDocumentReadOnly(const QString& path);
    void shutdown(); // stop and join the worker (also called by the destructor)

    // The Display, Select and period choices and the list's column widths in the user's
    // settings, and back at the next start.
    void saveState(QSettings& settings) const;
    void restoreState(const QSettings& settings);

    // ---- For the frame, the chart and the dialogs ------------------------------------------
    DataStore& store() { return *store_; }
    Acquisition& acquisition() { return *acquisition_; }
    CUserPrompts& prompts() { return *prompts_; }
    Clock& clock() { return *clock_; }
    const std::string& mainIniPath() const { return mainIniPath_; }
    const QString& startupError() const { return startupError_; }

    // The time window as the pickers hold it: start (1011) and end (1013).
    std::pair<DateTime, DateTime> timeWindow() const;
    DisplayMode displayMode() const;
    SelectMode selectMode() const;
    // The position chosen in "Driver No." (1003), -1 when none.
    int chosenRecorder() const;
    // The display area below the control band; the chart puts its widget in here.
    DisplayArea& displayArea() { return *displayArea_; }
    void setChartWidget(QWidget* chart);

    // Puts the current language's texts on the view's controls and asks the frame to do the same
    // for its menu and title; does nothing when that language is already shown.
    void applyLanguage();
    // Recomputes the pickers from the Select and period choice and refills the list if needed.
    void applyTimeWindow();
    // Shows `window` as a free period: Select on the free period, the pickers on its ends.
    void showFreeWindow(const TimeWindow& window);
    // Asks for the list to be rebuilt at the next fill (thread-safe).
    void setListNeedsRefill() { listNeedsRefill_.store(true); }
    bool listRefillPending() const { return listNeedsRefill_.load(); }
    // Fills the record list from the displayed set when a refill is pending or the window or the
    // recorder is not the one listed; cheap otherwise. A refill of the same window and recorder
    // keeps the selected record and the scroll position; otherwise the first row is shown.
    void fillRecordList();
    // Widens the list's columns that are too narrow for their heading or, the remarks, their text.
    void fitListColumns();
    RecordListModel& recordListModel() { return *listModel_; }
    // The limits of the displayed recorder and the following of the connected one.
    AlarmMonitor& alarms() { return *alarms_; }
    // New limits stored for `number`: the chart, the list and the status follow them.
    void alarmLimitsChanged(int32_t number);
    // Status pane 0: the acquisition's text, followed by the alarm while there is one.
    void showStatusText(const QString& text);

    // The control with this form identifier (see command_ids.h), or null.
    QWidget* control(int id) const;

Q_SIGNALS:
    // The displayed data, the window or the display mode changed: the display area repaints.
    void displayChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Worker reports, the acquisition's and the store's notices reach the view through these.
    class WindowReportSink;
    class AcquisitionBridge;
    class StoreBridge;
    friend class WindowReportSink;
    friend class AcquisitionBridge;
    friend class StoreBridge;

    bool openRecorder();
    void createControls();
    FittingLayout formLayout() const;
    void layoutControls();
    void fillDisplayCombo();
    void fillSelectCombo();
    void fillRecorderCombo(int32_t maxId, int32_t current);
    void onSelectChanged();
    void onPeriodChanged();
    void onRecorderChosen();
    void onDisplayChanged();
    void listValidSlots(const RecorderSettings& settings);
    void showInterval(int32_t minutes);
    void showDisplayedTexts();
    void showDocumentState();
    void showMessage106();
    void handleReport(int32_t number, int code);
    void followAttached();
    void displayedDataChanged();
    void redrawDisplay();
    void onPickersChanged();
    void followAlarms();
    void displayedRecorderChanged(int32_t number);
    void followDisplayedRecorder();

    ViewStartup startup_;
    CFrameServices& frame_;
    Clock* clock_ = nullptr;
    std::unique_ptr<CUserPrompts> ownPrompts_;
    CUserPrompts* prompts_ = nullptr;
    std::string mainIniPath_;
    QString startupError_;

    std::shared_ptr<HidBackend> backend_;
    std::unique_ptr<LoggerLink> link_;
    std::unique_ptr<IniFile> ini_;
    std::unique_ptr<DataStore> store_;
    std::unique_ptr<WindowReportSink> reportSink_;
    std::unique_ptr<AcquisitionBridge> acquisitionBridge_;
    std::unique_ptr<StoreBridge> storeBridge_;
    std::unique_ptr<Acquisition> acquisition_;
    std::unique_ptr<AlarmMonitor> alarms_;
    QString acquisitionStatus_;
    QString alarmStatus_;

    std::atomic<bool> listNeedsRefill_{true};
    // The window and the recorder the list was last filled for.
    std::optional<std::tuple<DateTime, DateTime, int32_t>> listed_;
    int appliedLanguage_ = -1;
    int lastAttached_ = -1;
    // The latest worker report (number, code): its text is shown again after a language change.
    std::optional<std::pair<int32_t, int>> lastReport_;
    QString documentName_; // of the file opened read-only
    bool shutDown_ = false;

    QComboBox* recorderCombo_ = nullptr; // 1003
    QLineEdit* intervalEdit_ = nullptr;  // 1009
    QComboBox* displayCombo_ = nullptr;  // 1010
    QComboBox* selectCombo_ = nullptr;   // 1002
    QComboBox* periodCombo_ = nullptr;   // 1000
    QLabel* descriptionLabel_ = nullptr; // 1015
    std::unique_ptr<TimeWindowPickers> pickers_;
    DisplayArea* displayArea_ = nullptr;
    QTableView* recordList_ = nullptr;
    RecordListModel* listModel_ = nullptr;
    CWindowNavigation* navigation_ = nullptr;
    QTimer* timer_ = nullptr;
};

} // namespace veldrin
