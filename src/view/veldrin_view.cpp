#include "view/veldrin_view.h"

#include "qlang/qlang.h"

#include "chart/chart_area.h"
#include "lang/language_table.h"
#include "lang/startup_language.h"
#include "settings/dialog_units.h"
#include "settings/fitting_layout.h"
#include "settings/language_dialog.h"
#include "settings/recorder_commands.h"
#include "store/registry.h"
#include "view/alarm_commands.h"
#include "view/command_ids.h"
#include "view/display_area.h"
#include "view/export_command.h"
#include "view/record_list_model.h"
#include "view/time_window.h"
#include "view/window_navigation.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSettings>
#include <QSignalBlocker>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace veldrin {

namespace {

// Height of the band of controls above the display area, in pixels.
constexpr int kControlBandHeight = 135;
// Status-bar pane 0 leaves this much of the view's width to the other pane.
constexpr int kStatusPaneMargin = 150;
constexpr int kTickMs = 1000;
constexpr int kListColumnWidth = 140;
constexpr int kListInset = 5;
constexpr int kMaxRestoredColumnWidth = 4000;

constexpr int kSlotEntries = 4;

// Keys of what the view keeps in the user's settings between runs.
constexpr const char* kDisplayKey = "view/display";
constexpr const char* kSelectKey = "view/select";
constexpr const char* kPeriodKey = "view/period";
constexpr const char* kColumnsKey = "view/columnWidths";

QString slotEntry(int slotNumber) {
    return qlang(text::kSlot) + QStringLiteral(" %1").arg(slotNumber);
}

// Where each control of the form lies, in dialog units (x, y, width, height).
struct Placement {
    int id;
    int x;
    int y;
    int width;
    int height;
};

constexpr Placement kPlacements[] = {
    {control_id::kRecorderLabel, 7, 9, 46, 9},   {control_id::kRecorderCombo, 55, 7, 36, 13},
    {control_id::kIntervalLabel, 97, 9, 50, 9},  {control_id::kIntervalEdit, 147, 7, 24, 13},
    {control_id::kDisplayLabel, 177, 9, 36, 9},  {control_id::kDisplayCombo, 215, 7, 64, 13},
    {control_id::kChartTitle, 290, 9, 130, 9},   {control_id::kSelectLabel, 7, 26, 46, 9},
    {control_id::kSelectCombo, 55, 24, 110, 13}, {control_id::kPeriodCombo, 175, 24, 104, 13},
    {control_id::kStartLabel, 7, 43, 46, 9},     {control_id::kStartDate, 55, 41, 62, 13},
    {control_id::kStartTime, 119, 41, 46, 13},   {control_id::kEndLabel, 175, 43, 38, 9},
    {control_id::kEndDate, 215, 41, 62, 13},     {control_id::kEndTime, 279, 41, 46, 13},
};
// The description line under the controls and the template's width of the whole form.
constexpr int kDescriptionX = 7;
constexpr int kDescriptionY = 58;
constexpr int kDescriptionHeight = 9;
constexpr int kFormWidth = 427;
// The display below the form keeps at least this height (dialog units) before the form scrolls.
constexpr int kMinimumDisplayHeight = 60;

QLabel* makeLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    // Texts come from language files, main.ini and descriptions: never read as markup.
    label->setTextFormat(Qt::PlainText);
    return label;
}

void setId(QWidget* widget, int id) {
    widget->setObjectName(QString::number(id));
}

} // namespace

// ---- Construction -----------------------------------------------------------------------------

CVeldrinView::CVeldrinView(const ViewStartup& startup, CFrameServices& frame, QWidget* parent)
    : QWidget(parent), frame_(frame), session_(std::make_unique<ViewSession>(startup)) {
    selection_ = new DisplaySelection(session_->store(), this);
    createControls();
    timer_ = new QTimer(this);
    timer_->setInterval(kTickMs);
    connect(timer_, &QTimer::timeout, this, &CVeldrinView::onTick);
    connectSession();
}

CVeldrinView::~CVeldrinView() {
    shutdown();
    // The list reads the store, which goes before the child widgets do.
    recordList_->setModel(nullptr);
}

void CVeldrinView::shutdown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    timer_->stop();
    session_->stop();
}

// What the session reports reaches the widgets here, on the window thread.
void CVeldrinView::connectSession() {
    ViewSession* s = session_.get();
    connect(s, &ViewSession::statusText, this,
            [this](const QString& t) { frame_.setStatusText(t); });
    connect(s, &ViewSession::recordersChanged, this, &CVeldrinView::fillRecorderCombo);
    connect(s, &ViewSession::recorderAttached, this,
            [this](bool attached) { frame_.setRecorderAttached(attached); });
    connect(s, &ViewSession::displayedDataChanged, this, &CVeldrinView::displayedDataChanged);
    connect(s, &ViewSession::intervalChanged, this, &CVeldrinView::showInterval);
    connect(s, &ViewSession::windowToApply, this, &CVeldrinView::applyTimeWindow);
    connect(s, &ViewSession::limitsStored, this, &CVeldrinView::limitsStored);
    connect(s, &ViewSession::problem, this, [this](const QString& text) {
        session_->prompts().message(this, text, PromptIcon::Warning);
    });
    connect(selection_, &DisplaySelection::changed, this, &CVeldrinView::showSelection);
}

void CVeldrinView::createControls() {
    for (const int id :
         {control_id::kRecorderLabel, control_id::kIntervalLabel, control_id::kDisplayLabel,
          control_id::kChartTitle, control_id::kSelectLabel, control_id::kStartLabel,
          control_id::kEndLabel, control_id::kDescription}) {
        setId(makeLabel(this), id);
    }
    descriptionLabel_ = findChild<QLabel*>(QString::number(control_id::kDescription));

    recorderCombo_ = new QComboBox(this);
    setId(recorderCombo_, control_id::kRecorderCombo);
    intervalEdit_ = new QLineEdit(this);
    intervalEdit_->setEnabled(false);
    setId(intervalEdit_, control_id::kIntervalEdit);
    displayCombo_ = new QComboBox(this);
    setId(displayCombo_, control_id::kDisplayCombo);
    selectCombo_ = new QComboBox(this);
    setId(selectCombo_, control_id::kSelectCombo);
    periodCombo_ = new QComboBox(this);
    setId(periodCombo_, control_id::kPeriodCombo);

    pickers_ = std::make_unique<TimeWindowPickers>(this);
    setId(pickers_->startDate(), control_id::kStartDate);
    setId(pickers_->startTime(), control_id::kStartTime);
    setId(pickers_->endDate(), control_id::kEndDate);
    setId(pickers_->endTime(), control_id::kEndTime);

    auto* listHolder = new QWidget(this);
    auto* listLayout = new QVBoxLayout(listHolder);
    listLayout->setContentsMargins(kListInset, 0, 0, 0);
    recordList_ = new QTableView(listHolder);
    setId(recordList_, control_id::kRecordList);
    listModel_ = new RecordListModel(session_->store(), this);
    recordList_->setModel(listModel_);
    recordList_->setShowGrid(true);
    recordList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    recordList_->verticalHeader()->hide();
    recordList_->horizontalHeader()->setDefaultSectionSize(kListColumnWidth);
    recordList_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    // Every row has the same height: the view never measures rows it does not show.
    recordList_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    recordList_->verticalHeader()->setDefaultSectionSize(recordList_->fontMetrics().height() + 4);
    listLayout->addWidget(recordList_);
    displayArea_ = new DisplayArea(listHolder, this);

    // A choice by the user, also of the entry already selected (choosing the displayed recorder
    // again reloads its file); entries set by the program never signal.
    connect(recorderCombo_, &QComboBox::activated, this, &CVeldrinView::onRecorderChosen);
    connect(displayCombo_, &QComboBox::activated, this, &CVeldrinView::onDisplayChanged);
    connect(selectCombo_, &QComboBox::activated, this, &CVeldrinView::onSelectChanged);
    connect(periodCombo_, &QComboBox::activated, this, &CVeldrinView::onPeriodChanged);
    connect(pickers_.get(), &TimeWindowPickers::changed, this, &CVeldrinView::onPickersChanged);
    connect(pickers_.get(), &TimeWindowPickers::endCorrected, this, &CVeldrinView::showMessage106);
    chart_ = new chart::ChartArea;
    chart_->setSnapshot(selection_->snapshot());
    // The chart about to be shown (the view shown, or the display switched to it) has its
    // records loaded first.
    chart_->installEventFilter(this);
    displayArea_->setChartWidget(chart_);
    connect(this, &CVeldrinView::displayChanged, chart_, &chart::ChartArea::displayChanged);
    navigation_ =
        new CWindowNavigation(*displayArea_, *selection_, *chart_, *recordList_, *listModel_,
                              [this](const TimeWindow& w) { showFreeWindow(w); });
    layoutControls();
    formLayout().setReadingTabOrder();
}

FittingLayout CVeldrinView::formLayout() const {
    FittingLayout layout{DialogUnits(font())};
    for (const Placement& p : kPlacements) {
        if (QWidget* widget = control(p.id)) {
            layout.add(widget, p.x, p.y, p.width, p.height);
        }
    }
    return layout;
}

void CVeldrinView::layoutControls() {
    const DialogUnits units(font());
    const QSize growth = formLayout().apply();
    // The form is as wide as its controls need; a narrower window scrolls it.
    const int formWidth = units.x(kFormWidth) + growth.width();
    setMinimumSize(formWidth, kControlBandHeight + units.y(kMinimumDisplayHeight));
    // The description takes the rest of the form's width, whatever its length.
    const QRect description = units.rect(kDescriptionX, kDescriptionY, 0, kDescriptionHeight);
    descriptionLabel_->setGeometry(description.x(), description.y(),
                                   std::max(formWidth, width()) - 2 * description.x(),
                                   description.height());
    displayArea_->setGeometry(0, kControlBandHeight, width(),
                              std::max(0, height() - kControlBandHeight));
}

QWidget* CVeldrinView::control(int id) const {
    return findChild<QWidget*>(QString::number(id));
}

void CVeldrinView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutControls();
    frame_.setStatusPaneWidth(std::max(0, event->size().width() - kStatusPaneMargin));
}

// ---- Start-up ---------------------------------------------------------------------------------

bool CVeldrinView::initialUpdate() {
    const int option = session_->startup().languageOption;
    if (option >= 0 && option < kLanguageCount) {
        CurrentLanguage::set(option);
    } else {
        const int stored = IniSnapshot::load(mainIniPath()).readInt(kLanguageSection, "Lang", 0);
        CurrentLanguage::set(chooseStartupLanguage(stored));
    }
    fillDisplayCombo();
    fillSelectCombo();
    applyLanguage();

    const int32_t number = store().loadAtStartUp();
    if (number >= 0) {
        acquisition().setCurrentRecorder(number);
        fillRecorderCombo(readMaxId(session_->ini()), number);
        displayedRecorderChanged(number);
        showInterval(store().displayedSettings().interval);
        setListNeedsRefill();
    }
    showDisplayedTexts();
    applyTimeWindow();
    acquisition().setTickCounter(0);
    frame_.setStatusPaneWidth(std::max(0, width() - kStatusPaneMargin));
    if (session_->startup().runTimer) {
        timer_->start();
    }
    return startupError().isEmpty();
}

// ---- The one-second step and the worker's reports ---------------------------------------------

void CVeldrinView::onTick() {
    if (!shutDown_) {
        session_->tick();
    }
}

void CVeldrinView::displayedDataChanged() {
    if (session_->followDisplayedRecorder()) {
        listModel_->setLimits(alarms().displayedLimits());
    }
    selection_->dataChanged();
    showDisplayedTexts();
    if (displayMode() == DisplayMode::list) {
        fillRecordList();
    }
    redrawDisplay();
}

void CVeldrinView::redrawDisplay() {
    syncSelection();
    displayArea_->update();
    Q_EMIT displayChanged();
    loadShownIfEmpty();
}

void CVeldrinView::syncSelection() {
    const TimeWindow window = pickers_->window();
    selection_->choose(
        DisplayChoice{chosenRecorder(), window, displayMode(), alarms().displayedLimits()});
}

std::shared_ptr<const DisplaySnapshot> CVeldrinView::shownNow() {
    syncSelection();
    return selection_->snapshot();
}

void CVeldrinView::showSelection() {
    chart_->setSnapshot(selection_->snapshot());
    loadShownIfEmpty();
}

void CVeldrinView::loadShownIfEmpty() {
    const int recorder = chosenRecorder();
    if (loading_ || !chart_->isVisible() || !session_->needsLoad(recorder)) {
        return;
    }
    loading_ = true;
    chart_->showLoading(true);
    session_->loadDisplayed(recorder);
    chart_->showLoading(false);
    loading_ = false;
    selection_->dataChanged();
}

bool CVeldrinView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == chart_ && event->type() == QEvent::Show) {
        loadShownIfEmpty();
    }
    return QWidget::eventFilter(watched, event);
}

// ---- Combos -----------------------------------------------------------------------------------

void CVeldrinView::fillDisplayCombo() {
    const QSignalBlocker block(displayCombo_);
    const int position = std::max(0, displayCombo_->currentIndex());
    displayCombo_->clear();
    displayCombo_->addItem(qlang(text::kChart));
    displayCombo_->addItem(qlang(text::kList));
    displayCombo_->setCurrentIndex(position);
}

void CVeldrinView::fillSelectCombo() {
    const QSignalBlocker block(selectCombo_);
    const int position = selectCombo_->currentIndex();
    selectCombo_->clear();
    selectCombo_->addItem(qlang(text::kPresetPeriod));
    selectCombo_->addItem(qlang(text::kSlot));
    selectCombo_->addItem(qlang(text::kFreePeriod));
    selectCombo_->setCurrentIndex(position < 0 ? 0 : position);
}

void CVeldrinView::fillRecorderCombo(int32_t maxId, int32_t current) {
    const QSignalBlocker block(recorderCombo_);
    recorderCombo_->clear();
    for (int32_t i = 0; i < maxId; ++i) {
        recorderCombo_->addItem(QString::number(i));
    }
    recorderCombo_->setCurrentIndex(current >= 0 && current < maxId ? current : -1);
    layoutControls();
    showDocumentState();
}

void CVeldrinView::showDocumentState() {
    // A recorder shown again (chosen, or connected) ends the display of an opened file.
    const bool document = store().displayedIsDocument();
    if (document) {
        const QSignalBlocker block(recorderCombo_);
        recorderCombo_->setCurrentIndex(-1);
    }
    frame_.showDocumentName(document ? documentName_ : QString());
}

void CVeldrinView::onSelectChanged() {
    CurrentLanguage::get();
    {
        const QSignalBlocker block(periodCombo_);
        switch (selectMode()) {
        case SelectMode::presets:
            periodCombo_->clear();
            for (const int index : text::kPresetPeriods) {
                periodCombo_->addItem(qlang(index));
            }
            periodCombo_->setCurrentIndex(0);
            pickers_->setEnabled(false);
            periodCombo_->show();
            break;
        case SelectMode::timeSlots:
            periodCombo_->clear();
            for (int k = 1; k <= kSlotEntries; ++k) {
                periodCombo_->addItem(slotEntry(k), k);
            }
            periodCombo_->setCurrentIndex(0);
            pickers_->setEnabled(false);
            periodCombo_->show();
            break;
        case SelectMode::free:
            periodCombo_->hide();
            pickers_->setEnabled(true);
            break;
        }
    }
    layoutControls();
    listValidSlots(store().displayedSettings());
    setListNeedsRefill();
    applyTimeWindow();
}

void CVeldrinView::onPeriodChanged() {
    setListNeedsRefill();
    applyTimeWindow();
}

void CVeldrinView::listValidSlots(const RecorderSettings& settings) {
    if (selectMode() != SelectMode::timeSlots) {
        return;
    }
    const QSignalBlocker block(periodCombo_);
    periodCombo_->clear();
    for (int k = 1; k <= kSlotEntries; ++k) {
        if (settings.slots[static_cast<std::size_t>(k - 1)].inUse == 1) {
            periodCombo_->addItem(slotEntry(k), k);
        }
    }
    periodCombo_->setCurrentIndex(periodCombo_->count() > 0 ? 0 : -1);
    layoutControls();
}

void CVeldrinView::onRecorderChosen() {
    const int number = recorderCombo_->currentIndex();
    if (number < 0) {
        return;
    }
    store().loadDisplayedSet(number);
    showDocumentState();
    displayedRecorderChanged(number);
    const RecorderSettings settings = store().displayedSettings();
    listValidSlots(settings);
    showInterval(settings.interval);
    showDisplayedTexts();
    setListNeedsRefill();
    applyTimeWindow();
}

void CVeldrinView::onDisplayChanged() {
    const bool list = displayMode() == DisplayMode::list;
    if (list) {
        fillRecordList();
    }
    displayArea_->showList(list);
    redrawDisplay();
}

SelectMode CVeldrinView::selectMode() const {
    const int position = selectCombo_->currentIndex();
    return position == 1 ? SelectMode::timeSlots
                         : (position == 2 ? SelectMode::free : SelectMode::presets);
}

DisplayMode CVeldrinView::displayMode() const {
    return displayCombo_->currentIndex() == 1 ? DisplayMode::list : DisplayMode::chart;
}

int CVeldrinView::chosenRecorder() const {
    return recorderCombo_->currentIndex();
}

// ---- Time window and list ---------------------------------------------------------------------

std::pair<DateTime, DateTime> CVeldrinView::timeWindow() const {
    const TimeWindow window = pickers_->window();
    return {window.start, window.end};
}

void CVeldrinView::applyTimeWindow() {
    const DateTime now = session_->clock().nowLocal();
    if (selectMode() != SelectMode::free) {
        selection_->newHistory();
    }
    switch (selectMode()) {
    case SelectMode::presets:
        if (const auto window = presetWindow(periodCombo_->currentIndex(), now)) {
            pickers_->setWindow(*window);
        }
        break;
    case SelectMode::timeSlots:
        if (periodCombo_->currentIndex() < 0) {
            pickers_->setWindow(TimeWindow{now, now});
        } else {
            const int slotNumber = periodCombo_->currentData().toInt();
            if (slotNumber >= 1 && slotNumber <= kSlotCount) {
                // The entries were made from the displayed settings; the window comes from the
                // same copy, so that it always belongs to the records shown.
                const TimeSlot slot =
                    store().displayedSettings().slots[static_cast<std::size_t>(slotNumber - 1)];
                if (slot.inUse != 1) {
                    const QSignalBlocker block(periodCombo_);
                    periodCombo_->clear();
                }
                pickers_->setWindow(TimeWindow{slot.start, slot.end});
            }
        }
        break;
    case SelectMode::free:
        break;
    }
    fillRecordList();
    redrawDisplay();
}

void CVeldrinView::showFreeWindow(const TimeWindow& window) {
    pickers_->setWindow(window);
    if (selectMode() != SelectMode::free) {
        const QSignalBlocker block(selectCombo_);
        selectCombo_->setCurrentIndex(static_cast<int>(SelectMode::free));
    }
    // As if the user had chosen the free period: the pickers open, the list and chart follow.
    onSelectChanged();
}

void CVeldrinView::onPickersChanged() {
    fillRecordList();
    redrawDisplay();
}

void CVeldrinView::fillRecordList() {
    const std::shared_ptr<const DisplaySnapshot> shown = shownNow();
    const auto wanted = std::make_tuple(shown->from, shown->to, shown->recorder);
    const bool sameWindow = listed_ == wanted;
    if (!session_->takeListRefill() && sameWindow) {
        return;
    }
    // The user's place in the list, by record, so that it survives the periodic refills.
    QScrollBar* scroll = recordList_->verticalScrollBar();
    const int scrolledTo = scroll->value();
    const QModelIndex current = recordList_->currentIndex();
    const std::optional<std::size_t> chosenRecord =
        current.isValid() ? std::optional(listModel_->recordOfRow(current.row())) : std::nullopt;

    listModel_->show(shown);
    fitListColumns();
    listed_ = wanted;
    if (!sameWindow) {
        recordList_->scrollToTop();
        return;
    }
    if (chosenRecord) {
        const int row = listModel_->rowOfRecord(*chosenRecord);
        if (row >= 0) {
            recordList_->setCurrentIndex(listModel_->index(row, current.column()));
        }
    }
    scroll->setValue(scrolledTo);
}

void CVeldrinView::fitListColumns() {
    // Columns only grow here: a width the user chose stays unless a text would be cut.
    QHeaderView* header = recordList_->horizontalHeader();
    const int cellMargin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 1;
    int widestRemark = 0;
    for (const QString& remark : listModel_->remarks()) {
        widestRemark = std::max(widestRemark, recordList_->fontMetrics().horizontalAdvance(remark));
    }
    for (int column = 0; column < kRecordListColumns; ++column) {
        int needed = header->sectionSizeHint(column);
        if (column == kRecordListColumns - 1) {
            needed = std::max(needed, widestRemark + cellMargin);
        }
        if (header->sectionSize(column) < needed) {
            header->resizeSection(column, needed);
        }
    }
}

// ---- Texts ------------------------------------------------------------------------------------

void CVeldrinView::applyLanguage() {
    const int language = CurrentLanguage::get();
    if (language == appliedLanguage_) {
        return;
    }
    appliedLanguage_ = language;
    const std::pair<int, int> captions[] = {
        {control_id::kChartTitle, text::kChartTitle},
        {control_id::kRecorderLabel, text::kRecorderNumber},
        {control_id::kSelectLabel, text::kSelect},
        {control_id::kIntervalLabel, text::kInterval},
        {control_id::kDisplayLabel, text::kDisplay},
        {control_id::kStartLabel, text::kStartTime},
        {control_id::kEndLabel, text::kEndTime},
    };
    for (const auto& [id, index] : captions) {
        if (auto* label = qobject_cast<QLabel*>(control(id))) {
            label->setText(qlang(index));
        }
    }
    frame_.applyLanguageToFrame();
    fillDisplayCombo();
    fillSelectCombo();
    showDisplayedTexts();
    onSelectChanged();
    if (const auto& report = session_->lastReport()) {
        // The latest progress text, now in the new language.
        frame_.setStatusText(qstr(statusTextFor(report->second, report->first)));
    }
}

void CVeldrinView::showInterval(int32_t minutes) {
    intervalEdit_->setText(QString::number(minutes));
}

void CVeldrinView::showDisplayedTexts() {
    descriptionLabel_->setText(qlang(text::kDescription) +
                               qstr(store().displayedSettings().description));
}

void CVeldrinView::showMessage106() {
    // After the picker's own event has finished: a modal box inside a spin-box event would make
    // its auto-repeat run away.
    QMetaObject::invokeMethod(
        this,
        [this] {
            session_->prompts().message(this, qlang(text::kWindowEndCorrected),
                                        PromptIcon::Warning);
        },
        Qt::QueuedConnection);
}

// ---- Commands ---------------------------------------------------------------------------------

void CVeldrinView::onExport() {
    runExportCommand(*session_, *shownNow(), this, [this] { return chart_->currentImage(); });
}

void CVeldrinView::onSetting() {
    if (!settingDialogRan(runSettingCommand(acquisition(), session_->prompts(), this))) {
        return;
    }
    listValidSlots(store().displayedSettings());
    setListNeedsRefill();
}

void CVeldrinView::onClearPcData() {
    if (clearNeedsRepaint(runClearPcData(acquisition(), session_->prompts(), this))) {
        setListNeedsRefill();
        displayedDataChanged();
    }
}

void CVeldrinView::onLanguage() {
    // The dialog makes its choice current and stores it; the view and the frame then show it.
    if (runLanguageCommand(this, session_->ini())) {
        applyLanguage();
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
    showDocumentState();
    displayedRecorderChanged(-1); // a file of its own: no recorder's limits apply
    const RecorderSettings settings = store().displayedSettings();
    listValidSlots(settings);
    showInterval(settings.interval);
    showDisplayedTexts();
    listed_.reset(); // other records: the list starts at its first row
    setListNeedsRefill();
    applyTimeWindow();
}

void CVeldrinView::saveState(QSettings& settings) const {
    settings.setValue(QLatin1String(kDisplayKey), displayCombo_->currentIndex());
    settings.setValue(QLatin1String(kSelectKey), selectCombo_->currentIndex());
    settings.setValue(QLatin1String(kPeriodKey), periodCombo_->currentIndex());
    QVariantList widths;
    for (int column = 0; column < kRecordListColumns; ++column) {
        widths << recordList_->horizontalHeader()->sectionSize(column);
    }
    settings.setValue(QLatin1String(kColumnsKey), widths);
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
    const QVariantList widths = settings.value(QLatin1String(kColumnsKey)).toList();
    QHeaderView* header = recordList_->horizontalHeader();
    for (int column = 0; column < kRecordListColumns && column < widths.size(); ++column) {
        const int width = widths[column].toInt();
        if (width > 0 && width <= kMaxRestoredColumnWidth) {
            header->resizeSection(column, width);
        }
    }
    fitListColumns();
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
