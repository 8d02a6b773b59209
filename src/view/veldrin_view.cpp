#include "view/veldrin_view.h"

#include "qlang/qlang.h"

#include "chart/chart_area.h"
#include "lang/language_table.h"
#include "lang/startup_language.h"
#include "settings/dialog_units.h"
#include "settings/fitting_layout.h"
#include "store/registry.h"
#include "view/command_ids.h"
#include "view/comparison_view.h"
#include "view/display_area.h"
#include "view/record_list_model.h"
#include "view/record_list_pane.h"
#include "view/time_window.h"
#include "view/view_form.h"
#include "view/window_navigation.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>

namespace veldrin {

namespace {

// Height of the band of controls above the display area, in pixels.
constexpr int kControlBandHeight = 135;
// Status-bar pane 0 leaves this much of the view's width to the other pane.
constexpr int kStatusPaneMargin = 150;
constexpr int kTickMs = 1000;

constexpr int kSlotEntries = 4;

QString slotEntry(int slotNumber) {
    return qlang(text::kSlot) + QStringLiteral(" %1").arg(slotNumber);
}

} // namespace

// ---- Construction -----------------------------------------------------------------------------

CVeldrinView::CVeldrinView(const ViewStartup& startup, CFrameServices& frame, QWidget* parent)
    : QWidget(parent), frame_(frame), session_(std::make_unique<ViewSession>(startup)) {
    selection_ = new DisplaySelection(session_->store(), this);
    connect(selection_, &DisplaySelection::backAvailable, this,
            [this](bool available) { frame_.setBackEnabled(available); });
    createControls();
    timer_ = new QTimer(this);
    timer_->setInterval(kTickMs);
    connect(timer_, &QTimer::timeout, this, &CVeldrinView::onTick);
    connectSession();
}

CVeldrinView::~CVeldrinView() {
    shutdown();
    // The list reads the store, which goes before the child widgets do.
    listPane_->detachModel();
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
    connect(s, &ViewSession::attachedCountChanged, this,
            [this](int count) { frame_.setAttachedCount(count); });
    connect(s, &ViewSession::attachedChanged, this, &CVeldrinView::markAttachedRecorders);
    connect(s, &ViewSession::recorderToShow, this, &CVeldrinView::showConnectedRecorder);
    connect(s, &ViewSession::displayedDataChanged, this, &CVeldrinView::displayedDataChanged);
    connect(s, &ViewSession::recorderDataSaved, this, [this](int32_t number) {
        if (comparing()) {
            comparison_->recorderChanged(number);
        }
    });
    connect(s, &ViewSession::recorderDataCleared, this, [this](int32_t number) {
        if (comparing()) {
            comparison_->recorderCleared(number);
        }
    });
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
        view_form::setId(view_form::makeLabel(this), id);
    }
    descriptionLabel_ = findChild<QLabel*>(QString::number(control_id::kDescription));

    recorderCombo_ = new QComboBox(this);
    view_form::setId(recorderCombo_, control_id::kRecorderCombo);
    intervalEdit_ = new QLineEdit(this);
    intervalEdit_->setEnabled(false);
    view_form::setId(intervalEdit_, control_id::kIntervalEdit);
    displayCombo_ = new QComboBox(this);
    view_form::setId(displayCombo_, control_id::kDisplayCombo);
    selectCombo_ = new QComboBox(this);
    view_form::setId(selectCombo_, control_id::kSelectCombo);
    periodCombo_ = new QComboBox(this);
    view_form::setId(periodCombo_, control_id::kPeriodCombo);

    pickers_ = std::make_unique<TimeWindowPickers>(this);
    view_form::setId(pickers_->startDate(), control_id::kStartDate);
    view_form::setId(pickers_->startTime(), control_id::kStartTime);
    view_form::setId(pickers_->endDate(), control_id::kEndDate);
    view_form::setId(pickers_->endTime(), control_id::kEndTime);

    listPane_ = new CRecordListPane(session_->store(), this);
    listModel_ = &listPane_->model();
    displayArea_ = new DisplayArea(listPane_, this);

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
        new CWindowNavigation(*displayArea_, *selection_, *chart_, listPane_->table(), *listModel_,
                              [this](const TimeWindow& w) { showFreeWindow(w); });
    layoutControls();
    view_form::layoutOf(*this).setReadingTabOrder();
}

void CVeldrinView::layoutControls() {
    const DialogUnits units(font());
    const QSize growth = view_form::layoutOf(*this).apply();
    // The form is as wide as its controls need; a narrower window scrolls it.
    const int formWidth = units.x(view_form::kFormWidth) + growth.width();
    setMinimumSize(formWidth, kControlBandHeight + units.y(view_form::kMinimumDisplayHeight));
    // The description takes the rest of the form's width, whatever its length.
    const QRect description = units.rect(view_form::kDescriptionX, view_form::kDescriptionY, 0,
                                         view_form::kDescriptionHeight);
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
    // The display's store never downloads: a recorder not attached is cleared through its file,
    // one attached through its own chain.
    store().setCurrentRecorder(-1);
    if (number >= 0) {
        fillRecorderCombo(readMaxId(session_->ini()), number);
        displayedRecorderChanged(number);
        showInterval(store().displayedSettings().interval);
        setListNeedsRefill();
    }
    showDisplayedTexts();
    applyTimeWindow();
    session_->setTicksBeforeWindow(0);
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
    followComparison();
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
    markAttachedRecorders();
    followComparison();
    layoutControls();
    showDocumentState();
}

// An attached recorder's entry carries a green disc and says so in its tooltip; its text stays
// the bare number, as every entry's does.
void CVeldrinView::markAttachedRecorders() {
    static const QIcon attachedMark = [] {
        QPixmap disc(12, 12);
        disc.fill(Qt::transparent);
        QPainter painter(&disc);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x2e, 0x9e, 0x3e));
        painter.drawEllipse(QRectF(1, 1, 10, 10));
        return QIcon(disc);
    }();
    const std::vector<int32_t> attached = session_->attachedNumbers();
    for (int i = 0; i < recorderCombo_->count(); ++i) {
        const bool on = std::find(attached.begin(), attached.end(), i) != attached.end();
        recorderCombo_->setItemIcon(i, on ? attachedMark : QIcon());
        recorderCombo_->setItemData(i, on ? qlang(text::kAttached) : QVariant(), Qt::ToolTipRole);
    }
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
    if (number >= 0) {
        displayRecorder(number);
    }
}

void CVeldrinView::showConnectedRecorder(int32_t number) {
    if (number < 0 || number >= recorderCombo_->count()) {
        return;
    }
    if (number == chosenRecorder() && !store().displayedIsDocument()) {
        // The displayed recorder came back: its history follows, the window and Back stay.
        session_->showRecorder(number);
        return;
    }
    {
        const QSignalBlocker block(recorderCombo_);
        recorderCombo_->setCurrentIndex(number);
    }
    displayRecorder(number);
}

void CVeldrinView::displayRecorder(int number) {
    session_->showRecorder(number);
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
    leaveComparison();
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
    listPane_->fill(shown, session_->takeListRefill());
}

void CVeldrinView::fitListColumns() {
    listPane_->fitColumns();
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
    markAttachedRecorders();
    showDisplayedTexts();
    onSelectChanged();
    // The latest progress and alarm texts, now in the new language.
    session_->languageChanged();
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

} // namespace veldrin
