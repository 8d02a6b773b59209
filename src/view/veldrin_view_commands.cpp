// The view's menu commands, the choices it remembers between runs, and its follow-up of the
// displayed recorder's alarm limits.

#include "view/veldrin_view.h"

#include "chart/chart_area.h"
#include "qlang/qlang.h"
#include "settings/language_dialog.h"
#include "settings/recorder_commands.h"
#include "store/registry.h"
#include "view/alarm_commands.h"
#include "view/attached_recorders.h"
#include "view/comparison_view.h"
#include "view/display_area.h"
#include "view/export_command.h"
#include "view/record_list_model.h"
#include "view/record_list_pane.h"
#include "view/window_navigation.h"

#include <QComboBox>
#include <QFileInfo>
#include <QSettings>

namespace veldrin {

namespace {

// Keys of what the view keeps in the user's settings between runs.
constexpr const char* kDisplayKey = "view/display";
constexpr const char* kSelectKey = "view/select";
constexpr const char* kPeriodKey = "view/period";
constexpr const char* kColumnsKey = "view/columnWidths";

// After Clear PC Data the 15-second step comes at the next tick, as the download of a cleared
// attached recorder does.
constexpr int kTicksBeforeWindow = 14;

} // namespace

// ---- Commands ---------------------------------------------------------------------------------

void CVeldrinView::onExport() {
    ExportSources sources;
    if (comparing()) {
        sources.chartImage = [this](qreal) { return comparison_->image(); };
        sources.comparisonCsv = [this](const std::string& path, std::string& error) {
            return comparison_->writeCsv(path, error);
        };
        runExportCommand(*session_, *shownNow(), this, sources);
        return;
    }
    sources.chartImage = [this](qreal ratio) { return chart_->imageAtRatio(ratio); };
    sources.atScreenResolution = [](QWidget* window) { return window->devicePixelRatioF(); };
    if (store().displayedIsDocument()) {
        sources.openedDocument = documentPath_;
    }
    runExportCommand(*session_, *shownNow(), this, sources);
}

// Setting writes the displayed recorder, and only while it is attached: with several recorders
// attached, the one whose settings are on screen is the one written.
void CVeldrinView::onSetting(const SettingsDialogRunner& runDialog) {
    const SettingTarget target = settingTarget(chosenRecorder(), session_->attachedNumbers());
    if (target.kind == SettingTarget::Kind::noneAttached) {
        session_->prompts().message(this, qlang(text::kNoRecorderAvailable), PromptIcon::None);
        return;
    }
    if (target.kind == SettingTarget::Kind::notAttached) {
        session_->prompts().message(this,
                                    textOfRecorder(target.number, QString()) + QLatin1Char('\n') +
                                        qlang(text::kRecorderNotAttached),
                                    PromptIcon::None);
        return;
    }
    SettingOutcome outcome = SettingOutcome::noRecorder;
    {
        // The chain stays while its dialog is open, whatever the other recorders do meanwhile.
        const ViewSession::FleetHold hold(*session_);
        Acquisition* chain = session_->acquisitionOf(target.number);
        if (chain == nullptr) {
            return;
        }
        outcome =
            runSettingCommand(*chain, session_->prompts(), this, runDialog, &keptSettingEdits_);
    }
    if (!settingDialogRan(outcome)) {
        return;
    }
    session_->refreshDisplayed();
    listValidSlots(store().displayedSettings());
    setListNeedsRefill();
}

void CVeldrinView::onClearPcData(const ClearDialogRunner& runDialog) {
    ClearOutcome outcome = ClearOutcome::cancelled;
    {
        const ViewSession::FleetHold hold(*session_);
        outcome = runClearPcData(
            store(), [this](int32_t number) { return session_->acquisitionOf(number); },
            [this](int32_t number) { return session_->busy(number); }, session_->prompts(), this,
            runDialog);
    }
    if (clearNeedsRepaint(outcome)) {
        // An attached recorder was cleared in its own chain: the display shows what it holds now.
        session_->refreshDisplayed();
        session_->setTicksBeforeWindow(kTicksBeforeWindow);
        setListNeedsRefill();
        displayedDataChanged();
    }
}

// The command shows the comparison, or leaves it when it is shown. The recorder displayed is
// ticked at first; the records are read when a recorder is ticked.
void CVeldrinView::onCompareRecorders() {
    if (comparing()) {
        leaveComparison();
        return;
    }
    if (comparison_ == nullptr) {
        comparison_ = new CComparisonView(store().dataFolder(), session_->prompts());
        connect(comparison_, &CComparisonView::leaveRequested, this,
                &CVeldrinView::leaveComparison);
    }
    displayArea_->showPage(comparison_);
    syncSelection(); // the window as the pickers hold it now
    followComparison();
}

bool CVeldrinView::comparing() const {
    return displayArea_->showsPage(comparison_);
}

// The chart (or the list) as before; the records read for the comparison are let go.
void CVeldrinView::leaveComparison() {
    if (!comparing()) {
        return;
    }
    comparison_->release();
    displayArea_->showList(displayMode() == DisplayMode::list);
    redrawDisplay();
}

void CVeldrinView::followComparison() {
    if (!comparing()) {
        return;
    }
    const std::shared_ptr<const DisplaySnapshot> shown = selection_->snapshot();
    comparison_->offerRecorders(readMaxId(session_->ini()), chosenRecorder());
    comparison_->setWindow(shown->from, shown->to, shown->fahrenheit);
}

void CVeldrinView::onLanguage() {
    // The dialog makes its choice current and stores it; the view and the frame then show it.
    if (runLanguageCommand(this, session_->ini())) {
        applyLanguage();
        if (comparison_ != nullptr) {
            comparison_->applyLanguage();
        }
        redrawDisplay();
    }
}

void CVeldrinView::onBack() {
    navigation_->back();
}

void CVeldrinView::openDocumentReadOnly(const QString& path) {
    OpenFailure failure = OpenFailure::none;
    if (store().loadDisplayedDocument(path.toStdString(), &failure) == 0) {
        session_->prompts().message(this, openFailureMessage(path, failure), PromptIcon::Warning);
        return;
    }
    selection_->newHistory();
    documentName_ = QFileInfo(path).fileName();
    documentPath_ = path.toStdString();
    showDocumentState();
    displayedRecorderChanged(-1); // a file of its own: no recorder's limits apply
    const RecorderSettings settings = store().displayedSettings();
    listValidSlots(settings);
    showInterval(settings.interval);
    showDisplayedTexts();
    listPane_->forgetListed(); // other records: the list starts at its first row
    setListNeedsRefill();
    applyTimeWindow();
}

void CVeldrinView::saveState(QSettings& settings) const {
    settings.setValue(QLatin1String(kDisplayKey), displayCombo_->currentIndex());
    settings.setValue(QLatin1String(kSelectKey), selectCombo_->currentIndex());
    settings.setValue(QLatin1String(kPeriodKey), periodCombo_->currentIndex());
    settings.setValue(QLatin1String(kColumnsKey), listPane_->columnWidths());
}

void CVeldrinView::restoreState(const QSettings& settings) {
    // Each choice is made as the user would make it; what no longer fits is left at its default.
    const auto choose = [&settings](QComboBox* combo, const char* key) {
        bool valid = false;
        const int position = settings.value(QLatin1String(key)).toInt(&valid);
        if (!valid || position < 0 || position >= combo->count()) {
            return false;
        }
        combo->setCurrentIndex(position);
        return true;
    };
    if (choose(displayCombo_, kDisplayKey)) {
        onDisplayChanged();
    }
    if (choose(selectCombo_, kSelectKey)) {
        onSelectChanged();
    }
    if (selectMode() != SelectMode::free && choose(periodCombo_, kPeriodKey)) {
        onPeriodChanged();
    }
    listPane_->restoreColumnWidths(settings.value(QLatin1String(kColumnsKey)).toList());
}

void CVeldrinView::onAlarmLimits() {
    runAlarmLimitsCommand(*session_, *shownNow(), this);
}

void CVeldrinView::onStatistics() {
    runStatisticsCommand(*shownNow(), this);
}

// ---- Alarms -----------------------------------------------------------------------------------

void CVeldrinView::displayedRecorderChanged(int32_t number) {
    session_->setDisplayedRecorder(number);
    listModel_->setLimits(alarms().displayedLimits());
}

// New limits stored: the chart, the list and the status follow them.
void CVeldrinView::limitsStored() {
    listModel_->setLimits(alarms().displayedLimits());
    redrawDisplay();
}

} // namespace veldrin
