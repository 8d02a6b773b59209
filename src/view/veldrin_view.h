#pragma once
// The main view of the window: the form with the recorder, display and time-window controls and
// the display area below it (chart or record list). What is shown is kept in the display
// selection; everything that is not a widget (the recorder, the store, the acquisition and its
// threads, the alarms) is the session's. This class lays out the form, turns the user's choices
// into the selection and shows what the selection and the session report, always on the window
// thread.

#include "settings/recorder_commands.h"
#include "view/display_selection.h"
#include "view/view_session.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QSettings;
class QTimer;

namespace veldrin {

namespace chart {
class ChartArea;
}

class CComparisonView;
class CWindowNavigation;
class DisplayArea;
class CRecordListPane;
class RecordListModel;
class TimeWindowPickers;

// What the view needs from the frame around it (CMainFrame implements it; tests use a fake).
class CFrameServices {
public:
    virtual ~CFrameServices() = default;
    virtual void
    setStatusText(const QString& text) = 0;         // status pane 0, replaces and redraws at once
    virtual void setStatusPaneWidth(int width) = 0; // pane 0 width (view client width - 150)
    virtual void
    setRecorderAttached(bool attached) = 0; // recorderAttached; repaints pane 1 picture
    // How many recorders are attached: pane 1 shows the attached picture for one or more, with
    // the count on it when there are several.
    virtual void setAttachedCount(int count) { setRecorderAttached(count > 0); }
    virtual void applyLanguageToFrame() = 0; // menu texts and toolbar after a language change
    // The file shown read-only instead of a recorder's history (its name), or empty for none.
    virtual void showDocumentName(const QString& fileName) = 0;
    // Whether Back has a time window to go back to.
    virtual void setBackEnabled(bool /*enabled*/) {}
};

// Selection positions of the Select combo (1002).
enum class SelectMode : int { presets = 0, timeSlots = 1, free = 2 };

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
    void onSetting(const SettingsDialogRunner& runDialog = {});
    // `runDialog` answers the dialog (tests); by default it is shown modally.
    void onClearPcData(const ClearDialogRunner& runDialog = {});
    void onLanguage();
    void onBack(); // the time window before the last one the chart moved to
    void onAlarmLimits();
    void onStatistics();
    // Shows the comparison of several recorders in place of the chart, or leaves it.
    void onCompareRecorders();
    void leaveComparison();
    bool comparing() const;
    // Open, a file on the command line or a dropped file: shows the data file read-only as the
    // displayed data; no recorder's file is touched.
    void openDocumentReadOnly(const QString& path);
    void shutdown(); // stop and join the worker (also called by the destructor)

    // The Display, Select and period choices and the list's column widths in the user's
    // settings, and back at the next start.
    void saveState(QSettings& settings) const;
    void restoreState(const QSettings& settings);

    // ---- For the frame, the commands and the tests -----------------------------------------
    ViewSession& session() { return *session_; }
    DisplaySelection& selection() { return *selection_; }
    // What is shown now, as the widgets have it: the snapshot every command takes.
    std::shared_ptr<const DisplaySnapshot> shownNow();
    DataStore& store() { return session_->store(); }
    AlarmMonitor& alarms() { return session_->alarms(); }
    const std::string& mainIniPath() const { return session_->mainIniPath(); }
    const QString& startupError() const { return session_->startupError(); }

    // The time window as the pickers hold it: start (1011) and end (1013).
    std::pair<DateTime, DateTime> timeWindow() const;
    DisplayMode displayMode() const;
    SelectMode selectMode() const;
    // The position chosen in "Driver No." (1003), -1 when none.
    int chosenRecorder() const;
    // The display area below the control band, and the chart in it.
    DisplayArea& displayArea() { return *displayArea_; }
    chart::ChartArea& chartArea() { return *chart_; }
    // The comparison of several recorders; null until it was first shown.
    CComparisonView* comparison() { return comparison_; }

    // Puts the current language's texts on the view's controls and asks the frame to do the same
    // for its menu and title; does nothing when that language is already shown.
    void applyLanguage();
    // Recomputes the pickers from the Select and period choice and refills the list if needed.
    void applyTimeWindow();
    // Shows `window` as a free period: Select on the free period, the pickers on its ends.
    void showFreeWindow(const TimeWindow& window);
    // Asks for the list to be rebuilt at the next fill (thread-safe).
    void setListNeedsRefill() { session_->setListNeedsRefill(); }
    // Fills the record list from the displayed set when a refill is pending or the window or the
    // recorder is not the one listed; cheap otherwise. A refill of the same window and recorder
    // keeps the selected record and the scroll position; otherwise the first row is shown.
    void fillRecordList();
    // Widens the list's columns that are too narrow for their heading or, the remarks, their text.
    void fitListColumns();
    RecordListModel& recordListModel() { return *listModel_; }

    // The control with this form identifier (see command_ids.h), or null.
    QWidget* control(int id) const;

Q_SIGNALS:
    // The displayed data, the window or the display mode changed: the display area repaints.
    void displayChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void connectSession();
    void createControls();
    void layoutControls();
    void fillDisplayCombo();
    void fillSelectCombo();
    void fillRecorderCombo(int32_t maxId, int32_t current);
    // Marks the "Driver No." entries of the recorders attached now.
    void markAttachedRecorders();
    // A recorder registered or recognised that the display rule lets show: chosen in "Driver No."
    // and displayed as if the user had chosen it.
    void showConnectedRecorder(int32_t number);
    // Shows `number`'s history with its slots, interval and description.
    void displayRecorder(int number);
    void onSelectChanged();
    void onPeriodChanged();
    void onRecorderChosen();
    void onDisplayChanged();
    void listValidSlots(const RecorderSettings& settings);
    void showInterval(int32_t minutes);
    void showDisplayedTexts();
    void showDocumentState();
    void showMessage106();
    void showRecorderShown();
    void displayedDataChanged();
    void redrawDisplay();
    void onPickersChanged();
    void displayedRecorderChanged(int32_t number);
    void limitsStored();
    // The widgets' choice into the selection (a new snapshot when it differs).
    void syncSelection();
    // A new snapshot: the chart takes it, and the records are loaded when none are shown.
    void showSelection();
    // Loads the chosen recorder's records while the chart is visible and shows none, with a
    // message and a progress bar meanwhile; never from inside a paint.
    void loadShownIfEmpty();
    // The comparison, while shown, follows the window and the recorders registered.
    void followComparison();

    CFrameServices& frame_;
    std::unique_ptr<ViewSession> session_;
    DisplaySelection* selection_ = nullptr;

    int appliedLanguage_ = -1;
    QString documentName_; // of the file opened read-only
    std::string documentPath_;
    KeptSettingEdits keptSettingEdits_; // of a Setting whose OK found the recorder gone
    bool shutDown_ = false;
    bool loading_ = false;

    QComboBox* recorderCombo_ = nullptr; // 1003
    QLineEdit* intervalEdit_ = nullptr;  // 1009
    QComboBox* displayCombo_ = nullptr;  // 1010
    QComboBox* selectCombo_ = nullptr;   // 1002
    QComboBox* periodCombo_ = nullptr;   // 1000
    QLabel* descriptionLabel_ = nullptr; // 1015
    std::unique_ptr<TimeWindowPickers> pickers_;
    DisplayArea* displayArea_ = nullptr;
    chart::ChartArea* chart_ = nullptr;
    CRecordListPane* listPane_ = nullptr;
    RecordListModel* listModel_ = nullptr;
    CWindowNavigation* navigation_ = nullptr;
    CComparisonView* comparison_ = nullptr;
    QTimer* timer_ = nullptr;
};

} // namespace veldrin
