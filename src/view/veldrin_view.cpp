#include "view/veldrin_view.h"

#include "qlang/qlang.h"

#include "chart/chart_area.h"
#include "core/paths.h"
#include "lang/language_table.h"
#include "lang/startup_language.h"
#include "settings/dialog_units.h"
#include "settings/fitting_layout.h"
#include "settings/language_dialog.h"
#include "settings/recorder_commands.h"
#include "sim/backend_choice.h"
#include "store/registry.h"
#include "view/alarm_commands.h"
#include "view/alarm_monitor.h"
#include "view/command_ids.h"
#include "view/desktop_notification.h"
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
#include <QSet>
#include <QSettings>
#include <QSignalBlocker>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <mutex>

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

// A data file that could not be read: its path and the cause, in the current language.
QString openFailureMessage(const QString& path, OpenFailure failure) {
    int cause = text::kFileUnreadable;
    if (failure == OpenFailure::notFound) {
        cause = text::kFileNotFound;
    } else if (failure == OpenFailure::empty || failure == OpenFailure::malformed) {
        cause = text::kNotADataFile;
    }
    return QDir::toNativeSeparators(path) + QStringLiteral("\n\n") + qlang(cause);
}

// A recorder source for a device name that could not be opened: it never finds a recorder.
class NoRecorderBackend final : public HidBackend {
public:
    bool listInterfaces(std::vector<std::string>& paths) override {
        paths.clear();
        return true;
    }
    std::unique_ptr<HidDevice> open(const std::string&) override { return nullptr; }
};

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

// ---- Bridges from the headless layers ---------------------------------------------------------

// The worker posts its reports from its own thread; they are queued to the window thread.
class CVeldrinView::WindowReportSink final : public ReportSink {
public:
    explicit WindowReportSink(CVeldrinView* view) : view_(view) {}
    void postLoggerStatus(int32_t number, int code) override {
        QMetaObject::invokeMethod(
            view_, [view = view_, number, code] { view->handleReport(number, code); },
            Qt::QueuedConnection);
    }

private:
    CVeldrinView* view_;
};

// The acquisition's notices: called on the window thread, where the reports are handled.
class CVeldrinView::AcquisitionBridge final : public AcquisitionListener {
public:
    explicit AcquisitionBridge(CVeldrinView& view) : view_(view) {}
    void statusText(const std::u16string& text) override { view_.showStatusText(qstr(text)); }
    void recordersChanged(int32_t maxId, int32_t current) override {
        view_.fillRecorderCombo(maxId, current);
    }
    void repaint(bool) override { view_.displayedDataChanged(); }
    void applyTimeWindow() override { view_.applyTimeWindow(); }

private:
    CVeldrinView& view_;
};

// The store's notices come from whichever thread changed the data (the worker for downloads);
// the flag is safe anywhere, everything visible is queued to the window thread.
class CVeldrinView::StoreBridge final : public DataStoreListener {
public:
    explicit StoreBridge(CVeldrinView* view) : view_(view) {}
    void listNeedsRefill() override {
        view_->setListNeedsRefill();
        QMetaObject::invokeMethod(
            view_, [view = view_] { view->displayedDataChanged(); }, Qt::QueuedConnection);
    }
    void intervalChanged(int32_t minutes) override {
        QMetaObject::invokeMethod(
            view_, [view = view_, minutes] { view->showInterval(minutes); }, Qt::QueuedConnection);
    }
    void problem(const std::string& message) override { show(QString::fromStdString(message)); }
    void openFailed(const std::string& path, OpenFailure failure, const std::string&) override {
        show(openFailureMessage(QString::fromStdString(path), failure));
    }

private:
    void show(const QString& text) {
        // The same failure found twice before it is shown (the start-up load, then the chart's
        // own try on the same file) is shown once.
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            if (waiting_.contains(text)) {
                return;
            }
            waiting_.insert(text);
        }
        QMetaObject::invokeMethod(
            view_,
            [this, text] {
                {
                    const std::lock_guard<std::mutex> guard(mutex_);
                    waiting_.remove(text);
                }
                view_->prompts_->message(view_, text, PromptIcon::Warning);
            },
            Qt::QueuedConnection);
    }

    CVeldrinView* view_;
    std::mutex mutex_;
    QSet<QString> waiting_; // messages queued and not yet shown
};

// ---- Construction -----------------------------------------------------------------------------

CVeldrinView::CVeldrinView(const ViewStartup& startup, CFrameServices& frame, QWidget* parent)
    : QWidget(parent), startup_(startup), frame_(frame),
      clock_(startup.clock != nullptr ? startup.clock : &SystemClock::instance()),
      mainIniPath_(joinPath(startup.dataFolder, "main.ini")) {
    if (startup.prompts != nullptr) {
        prompts_ = startup.prompts;
    } else {
        ownPrompts_ = std::make_unique<CWidgetPrompts>();
        prompts_ = ownPrompts_.get();
    }
    openRecorder();
    ini_ = std::make_unique<IniFile>(mainIniPath_);
    store_ = std::make_unique<DataStore>(startup.dataFolder, *ini_, *clock_);
    storeBridge_ = std::make_unique<StoreBridge>(this);
    store_->setListener(storeBridge_.get());
    alarms_ = std::make_unique<AlarmMonitor>(
        *store_, mainIniPath_, sendDesktopNotification,
        [this](const std::string& message) { storeBridge_->problem(message); });
    link_ = std::make_unique<LoggerLink>(*backend_);
    reportSink_ = std::make_unique<WindowReportSink>(this);
    acquisitionBridge_ = std::make_unique<AcquisitionBridge>(*this);
    acquisition_ = std::make_unique<Acquisition>(*link_, *store_, *clock_, *reportSink_,
                                                 acquisitionBridge_.get());
    createControls();
    timer_ = new QTimer(this);
    timer_->setInterval(kTickMs);
    connect(timer_, &QTimer::timeout, this, &CVeldrinView::onTick);
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
    // Ends the worker and waits for it: a download in progress finishes its file write first.
    acquisition_->stopWorker();
}

bool CVeldrinView::openRecorder() {
    backend_ = startup_.backend;
    if (backend_) {
        return true;
    }
    std::string error;
    sim::BackendChoice choice = sim::chooseBackend(startup_.device, error, *clock_);
    if (!choice.backend) {
        startupError_ = QString::fromStdString(error);
        backend_ = std::make_shared<NoRecorderBackend>();
        return false;
    }
    simRecorder_ = choice.recorder;
    backend_ = std::shared_ptr<HidBackend>(std::move(choice.backend));
    return true;
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
    listModel_ = new RecordListModel(*store_, this);
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
    auto* chart = new chart::ChartArea(*store_, {[this] { return timeWindow(); },
                                                 [this] { return chosenRecorder(); },
                                                 [this] { return alarms_->displayedLimits(); }});
    setChartWidget(chart);
    connect(this, &CVeldrinView::displayChanged, chart, &chart::ChartArea::displayChanged);
    navigation_ = new CWindowNavigation(*this, *chart, *recordList_);
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
    const int option = startup_.languageOption;
    if (option >= 0 && option < kLanguageCount) {
        CurrentLanguage::set(option);
    } else {
        const int stored = IniSnapshot::load(mainIniPath_).readInt(kLanguageSection, "Lang", 0);
        CurrentLanguage::set(chooseStartupLanguage(stored));
    }
    fillDisplayCombo();
    fillSelectCombo();
    applyLanguage();

    const int32_t number = store_->loadAtStartUp();
    if (number >= 0) {
        acquisition_->setCurrentRecorder(number);
        fillRecorderCombo(readMaxId(*ini_), number);
        displayedRecorderChanged(number);
        showInterval(store_->displayedSettings().interval);
        setListNeedsRefill();
    }
    showDisplayedTexts();
    applyTimeWindow();
    acquisition_->setTickCounter(0);
    frame_.setStatusPaneWidth(std::max(0, width() - kStatusPaneMargin));
    if (startup_.runTimer) {
        timer_->start();
    }
    return startupError_.isEmpty();
}

// ---- The one-second step and the worker's reports ---------------------------------------------

void CVeldrinView::onTick() {
    if (shutDown_) {
        return;
    }
    acquisition_->periodicStep();
    followAttached();
    followAlarms();
}

void CVeldrinView::handleReport(int32_t number, int code) {
    if (shutDown_) {
        return;
    }
    lastReport_ = {number, code};
    acquisition_->HandleLoggerStatus(number, code);
    followAttached();
}

void CVeldrinView::followAttached() {
    const int attached = acquisition_->shared().recorderAttached.load();
    if (attached != lastAttached_) {
        lastAttached_ = attached;
        frame_.setRecorderAttached(attached == 1);
    }
}

void CVeldrinView::displayedDataChanged() {
    followDisplayedRecorder();
    showDisplayedTexts();
    if (displayMode() == DisplayMode::list) {
        fillRecordList();
    }
    redrawDisplay();
}

void CVeldrinView::redrawDisplay() {
    displayArea_->update();
    Q_EMIT displayChanged();
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
    const bool document = store_->displayedIsDocument();
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
    listValidSlots(store_->displayedSettings());
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
    store_->loadDisplayedSet(number);
    showDocumentState();
    displayedRecorderChanged(number);
    const RecorderSettings settings = store_->displayedSettings();
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
    const DateTime now = clock_->nowLocal();
    if (selectMode() != SelectMode::free) {
        navigation_->newHistory();
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
                    store_->displayedSettings().slots[static_cast<std::size_t>(slotNumber - 1)];
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
    const TimeWindow window = pickers_->window();
    const auto wanted =
        std::make_tuple(window.start, window.end, static_cast<int32_t>(chosenRecorder()));
    const bool sameWindow = listed_ == wanted;
    if (!listNeedsRefill_.exchange(false) && sameWindow) {
        return;
    }
    // The user's place in the list, by record, so that it survives the periodic refills.
    QScrollBar* scroll = recordList_->verticalScrollBar();
    const int scrolledTo = scroll->value();
    const QModelIndex current = recordList_->currentIndex();
    const std::optional<std::size_t> chosenRecord =
        current.isValid() ? std::optional(listModel_->recordOfRow(current.row())) : std::nullopt;

    listModel_->refill(window.start, window.end);
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
    if (lastReport_) {
        // The latest progress text, now in the new language.
        frame_.setStatusText(qstr(statusTextFor(lastReport_->second, lastReport_->first)));
    }
}

void CVeldrinView::showInterval(int32_t minutes) {
    intervalEdit_->setText(QString::number(minutes));
}

void CVeldrinView::showDisplayedTexts() {
    descriptionLabel_->setText(qlang(text::kDescription) +
                               qstr(store_->displayedSettings().description));
}

void CVeldrinView::showMessage106() {
    // After the picker's own event has finished: a modal box inside a spin-box event would make
    // its auto-repeat run away.
    QMetaObject::invokeMethod(
        this,
        [this] { prompts_->message(this, qlang(text::kWindowEndCorrected), PromptIcon::Warning); },
        Qt::QueuedConnection);
}

// ---- Commands ---------------------------------------------------------------------------------

void CVeldrinView::onExport() {
    runExportCommand(*this);
}

void CVeldrinView::onSetting() {
    if (!settingDialogRan(runSettingCommand(*acquisition_, *prompts_, this))) {
        return;
    }
    listValidSlots(store_->displayedSettings());
    setListNeedsRefill();
}

void CVeldrinView::onClearPcData() {
    if (clearNeedsRepaint(runClearPcData(*acquisition_, *prompts_, this))) {
        setListNeedsRefill();
        displayedDataChanged();
    }
}

void CVeldrinView::onLanguage() {
    // The dialog makes its choice current and stores it; the view and the frame then show it.
    if (runLanguageCommand(this, *ini_)) {
        applyLanguage();
        redrawDisplay();
    }
}

void CVeldrinView::onBack() {
    navigation_->back();
}

void CVeldrinView::openDocumentReadOnly(const QString& path) {
    OpenFailure failure = OpenFailure::none;
    if (store_->loadDisplayedDocument(path.toStdString(), &failure) == 0) {
        prompts_->message(this, openFailureMessage(path, failure), PromptIcon::Warning);
        return;
    }
    navigation_->newHistory();
    documentName_ = QFileInfo(path).fileName();
    showDocumentState();
    displayedRecorderChanged(-1); // a file of its own: no recorder's limits apply
    const RecorderSettings settings = store_->displayedSettings();
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
    runAlarmLimitsCommand(*this);
}

void CVeldrinView::onStatistics() {
    runStatisticsCommand(*this);
}

// ---- Alarms -----------------------------------------------------------------------------------

// A recorder registered or recognised while the window runs becomes the displayed one without
// being chosen: its limits apply from then on, not those of the recorder shown before.
void CVeldrinView::followDisplayedRecorder() {
    if (store_->displayedIsDocument()) {
        return;
    }
    const int32_t number = store_->displayedSettings().recorderNumber;
    if (number >= 0 && number != alarms_->displayedRecorder()) {
        displayedRecorderChanged(number);
    }
}

void CVeldrinView::displayedRecorderChanged(int32_t number) {
    alarms_->setDisplayedRecorder(number);
    listModel_->setLimits(alarms_->displayedLimits());
}

void CVeldrinView::alarmLimitsChanged(int32_t number) {
    alarms_->limitsChanged(number);
    listModel_->setLimits(alarms_->displayedLimits());
    followAlarms();
    redrawDisplay();
}

void CVeldrinView::followAlarms() {
    const QString alarm = alarms_->follow(acquisition_->shared().recorderAttached.load() == 1);
    if (alarm != alarmStatus_) {
        alarmStatus_ = alarm;
        showStatusText(acquisitionStatus_);
    }
}

void CVeldrinView::showStatusText(const QString& text) {
    acquisitionStatus_ = text;
    if (alarmStatus_.isEmpty()) {
        frame_.setStatusText(text);
    } else if (text.isEmpty()) {
        frame_.setStatusText(alarmStatus_);
    } else {
        frame_.setStatusText(text + QStringLiteral("  –  ") + alarmStatus_);
    }
}

void CVeldrinView::setChartWidget(QWidget* chart) {
    displayArea_->setChartWidget(chart);
}

} // namespace veldrin
