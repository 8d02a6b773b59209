#include "settings/settings_dialog.h"

#include "qlang/qlang.h"

#include "acquisition/configuration_rules.h"
#include "lang/language_table.h"
#include "lang/safe_format.h"
#include "settings/dialog_units.h"
#include "settings/fitting_layout.h"

#include <QButtonGroup>
#include <QDateTimeEdit>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <cstdio>

namespace veldrin {

using namespace settings_ids;

namespace {

constexpr int kDialogWidth = 330;
constexpr int kDialogHeight = 219;
constexpr std::array<int, kSlotCount> kRowY = {98, 120, 142, 164};
constexpr std::array<int, kSlotCount> kGroupY = {93, 114, 137, 159};
constexpr int kRowHeight = 12;

// Language string numbers of the dialog's texts.

// Slot times are plain wall-clock fields; held as UTC values so that no daylight-saving gap of
// the PC's zone can shift or refuse them.
QDateTime toQt(const DateTime& t) {
    CalendarFields f;
    if (!t.fields(f)) {
        return {};
    }
    return QDateTime(QDate(f.year, f.month, f.day), QTime(f.hour, f.minute, f.second), Qt::UTC);
}

DateTime fromQt(const QDateTime& t) {
    const QDate d = t.date();
    const QTime tm = t.time();
    return DateTime::fromFields(d.year(), d.month(), d.day(), tm.hour(), tm.minute(), 0);
}

QDateTime toMinute(const QDateTime& t) {
    return QDateTime(t.date(), QTime(t.time().hour(), t.time().minute()), Qt::UTC);
}

const QDateTime& firstStorableTime() {
    static const QDateTime t(QDate(rules::kFirstSlotYear, 1, 1), QTime(0, 0), Qt::UTC);
    return t;
}

const QDateTime& lastShownTime() {
    static const QDateTime t(QDate(2099, 12, 31), QTime(23, 59, 59), Qt::UTC);
    return t;
}

} // namespace

DateTime displayableSlotTime(const DateTime& t) {
    static const DateTime latest = DateTime::fromFields(2099, 12, 31, 23, 59, 59);
    static const DateTime earliest = DateTime::fromFields(200, 1, 1, 0, 0, 0);
    if (!t.isValid() || t > latest || t < earliest) {
        return latest;
    }
    return t;
}

CSettingsDialog::CSettingsDialog(const RecorderSettings& settings, Clock& clock,
                                 CUserPrompts& prompts, QWidget* parent)
    : QDialog(parent), settings_(settings), clock_(clock), prompts_(prompts) {
    setObjectName(QStringLiteral("settingsDialog%1").arg(kDialog));
    createControls();
    initialise();
}

CSettingsDialog::~CSettingsDialog() = default;

CSettingsDialog::Pair CSettingsDialog::pairOf(int id) {
    const int offset = id - kFirstPicker; // 0..15: start date, end date, start time, end time
    return Pair{offset % kSlotCount, (offset / kSlotCount) % 2 == 1};
}

bool CSettingsDialog::isTimePicker(int id) {
    return id >= kStartTime && id <= kLastPicker;
}

void CSettingsDialog::createControls() {
    setFont(QFont(QStringLiteral("Arial"), 10));
    layout_ = std::make_unique<FittingLayout>(DialogUnits(font()));

    const auto place = [&](QWidget* w, int id, int x, int y, int width, int height) {
        layout_->add(w, x, y, width, height);
        if (id != 0) {
            w->setObjectName(QString::number(id));
            controls_[id] = w;
        }
        return w;
    };
    const auto label = [&](int id, int x, int y, int width, int height) {
        auto* l = new QLabel(this);
        l->setTextFormat(Qt::PlainText);
        place(l, id, x, y, width, height);
        return l;
    };
    const auto radio = [&](int id, int x, int y, int width, int height) {
        auto* r = new QRadioButton(this);
        place(r, id, x, y, width, height);
        return r;
    };

    // Frames first, so that the rows' controls lie above them.
    for (int k = 0; k < kSlotCount; ++k) {
        auto* frame = new QFrame(this);
        frame->setFrameShape(QFrame::Box);
        frame->setFrameShadow(QFrame::Sunken);
        layout_->addFrame(frame, 24, kGroupY[static_cast<std::size_t>(k)], 277, 19);
    }

    label(kUnitLabel, 29, 18, 62, 10);
    unitGroup_ = new QButtonGroup(this);
    unitGroup_->addButton(radio(kCelsius, 97, 18, 24, 10), 0);
    unitGroup_->addButton(radio(kFahrenheit, 137, 18, 24, 10), 1);
    label(kDateOrderLabel, 175, 18, 29, 10);
    orderGroup_ = new QButtonGroup(this);
    orderGroup_->addButton(radio(kMonthDay, 211, 18, 24, 10), 0);
    orderGroup_->addButton(radio(kDayMonth, 251, 18, 25, 10), 1);

    label(kNumberLabel, 29, 35, 17, 10);
    label(kNumber, 51, 35, 41, 10);
    label(kVersionLabel, 100, 35, 44, 8);
    label(kVersion, 148, 35, 47, 8);
    label(kIntervalLabel, 202, 35, 32, 10);
    intervalEdit_ = new QLineEdit(this);
    place(intervalEdit_, kInterval, 236, 33, 24, 12);

    label(kDescriptionLabel, 29, 53, 38, 10);
    descriptionEdit_ = new QLineEdit(this);
    descriptionEdit_->setMaxLength(rules::kMaxDescriptionUnits);
    place(descriptionEdit_, kDescription, 73, 53, 154, 12);

    label(kStatusLabel, 30, 77, 26, 8);
    circularGroup_ = new QButtonGroup(this);
    circularGroup_->addButton(radio(kNoCirculation, 63, 77, 75, 8), rules::kLinear);
    circularGroup_->addButton(radio(kCirculation, 139, 77, 58, 8), rules::kCircular);
    connect(circularGroup_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked && !settingControls_) {
            circularChosen(id);
        }
    });
    label(kStartLabel, 29, 87, 81, 8);
    label(kEndLabel, 157, 87, 82, 8);

    for (int k = 0; k < kSlotCount; ++k) {
        const int y = kRowY[static_cast<std::size_t>(k)];
        label(0, 16, y + 2, 8, 8)->setText(QStringLiteral("%1.").arg(k + 1));
        const struct {
            int id;
            int x;
            int width;
        } pickers[] = {{kStartDate + k, 25, 55},
                       {kStartTime + k, 84, 42},
                       {kEndDate + k, 156, 55},
                       {kEndTime + k, 214, 41}};
        for (const auto& p : pickers) {
            auto* edit = new QDateTimeEdit(this);
            edit->setTimeSpec(Qt::UTC);
            edit->setKeyboardTracking(false);
            edit->setDateTimeRange(firstStorableTime(), lastShownTime());
            if (isTimePicker(p.id)) {
                edit->setDisplayFormat(QStringLiteral("HH:mm"));
            } else {
                edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
                edit->setCalendarPopup(true);
            }
            place(edit, p.id, p.x, y, p.width, kRowHeight);
            const int id = p.id;
            connect(edit, &QDateTimeEdit::dateTimeChanged, this,
                    [this, id] { onPickerSignal(id); });
        }
        auto* button = new QPushButton(this);
        place(button, kRowSwitch[static_cast<std::size_t>(k)], 262, y, 35, kRowHeight);
        // Enter keeps pressing OK after a switch was clicked.
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, k] { switchRow(k); });
    }

    auto* ok = new QPushButton(this);
    place(ok, kOk, 53, 191, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CSettingsDialog::accept);
    auto* cancel = new QPushButton(this);
    place(cancel, kCancel, 153, 192, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &CSettingsDialog::reject);
}

void CSettingsDialog::applyTexts() {
    CurrentLanguage::get(); // clamps an out-of-range language
    setWindowTitle(qlang(text::kSettings));
    const std::pair<int, int> captions[] = {
        {kUnitLabel, text::kTemperatureUnit}, {kDateOrderLabel, text::kDateOrder},
        {kNumberLabel, text::kNumber},        {kVersionLabel, text::kVersion},
        {kIntervalLabel, text::kInterval},    {kDescriptionLabel, text::kDescription},
        {kStatusLabel, text::kRecording},     {kStartLabel, text::kStartTime},
        {kEndLabel, text::kEndTime},
    };
    for (const auto& [id, index] : captions) {
        static_cast<QLabel*>(control(id))->setText(qlang(index));
    }
    static_cast<QRadioButton*>(control(kCelsius))->setText(QStringLiteral("\u00B0C"));
    static_cast<QRadioButton*>(control(kFahrenheit))->setText(QStringLiteral("\u00B0F"));
    static_cast<QRadioButton*>(control(kMonthDay))->setText(QStringLiteral("MD"));
    static_cast<QRadioButton*>(control(kDayMonth))->setText(QStringLiteral("DM"));
    static_cast<QRadioButton*>(control(kNoCirculation))->setText(qlang(text::kStopWhenFull));
    static_cast<QRadioButton*>(control(kCirculation))->setText(qlang(text::kCircular));
    static_cast<QPushButton*>(control(kOk))->setText(qlang(text::kOk));
    static_cast<QPushButton*>(control(kCancel))->setText(qlang(text::kCancel));
    fitToTexts();
}

void CSettingsDialog::fitToTexts() {
    // A row switch shows either of two texts: it is made wide enough for both.
    for (const int id : kRowSwitch) {
        auto* button = static_cast<QPushButton*>(control(id));
        const QString shown = button->text();
        int widest = 0;
        for (const int index : {text::kSwitchOff, text::kEnable}) {
            button->setText(qlang(index));
            widest = std::max(widest, button->sizeHint().width());
        }
        button->setText(shown);
        button->setMinimumWidth(widest);
    }
    const QSize growth = layout_->apply();
    const DialogUnits du(font());
    setFixedSize(du.x(kDialogWidth) + growth.width(), du.y(kDialogHeight));
}

void CSettingsDialog::initialise() {
    settingControls_ = true;
    applyTexts();
    descriptionEdit_->setText(qstr(settings_.description));
    static_cast<QLabel*>(control(kNumber))->setText(QString::number(settings_.recorderNumber));
    intervalEdit_->setText(QString::number(settings_.interval));
    unitGroup_->button(settings_.tempUnit != 0 ? 1 : 0)->setChecked(true);
    orderGroup_->button(settings_.dateOrder == 1 ? 1 : 0)->setChecked(true);

    circularChoice_ = settings_.circularMode;
    circularHidden_ = !rules::recorderHasCircularMode(circularChoice_);
    if (circularHidden_) {
        for (int id : {kStatusLabel, kNoCirculation, kCirculation}) {
            control(id)->hide();
        }
    } else {
        // 1 and 2 both mean circular recording (both are written as 0x02).
        circularChoice_ = circularChoice_ >= rules::kCircular ? rules::kCircular : rules::kLinear;
        circularGroup_->button(circularChoice_)->setChecked(true);
    }

    char version[32];
    std::snprintf(version, sizeof version, "%d.%02d", static_cast<int>(settings_.versionMajor),
                  static_cast<int>(settings_.versionMinor));
    static_cast<QLabel*>(control(kVersion))->setText(QString::fromLatin1(version));

    for (int k = 0; k < kSlotCount; ++k) {
        const TimeSlot& slot = settings_.slots[static_cast<std::size_t>(k)];
        showValue(k, false, toQt(displayableSlotTime(slot.start)));
        showValue(k, true, toQt(displayableSlotTime(slot.end)));
        setRowInUse(k, slot.inUse != 0);
    }
    settingControls_ = false;
}

const std::array<TimeSlot, kSlotCount>& CSettingsDialog::slotTimes() const {
    return settings_.slots;
}

QWidget* CSettingsDialog::control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QDateTimeEdit* CSettingsDialog::picker(int id) const {
    if (id < kFirstPicker || id > kLastPicker) {
        return nullptr;
    }
    return static_cast<QDateTimeEdit*>(control(id));
}

QDateTime CSettingsDialog::pickerValue(int id) const {
    const Pair p = pairOf(id);
    return values_[static_cast<std::size_t>(p.row)][p.end ? 1 : 0];
}

void CSettingsDialog::enterPickerValue(int id, const QDateTime& value) {
    QDateTimeEdit* edit = picker(id);
    if (edit == nullptr) {
        return;
    }
    const QSignalBlocker blocker(edit);
    edit->setDateTime(QDateTime(value.date(), value.time(), Qt::UTC));
}

// Both pickers of a pair show the value; the picker clamps it to what the recorder can store.
void CSettingsDialog::showValue(int row, bool end, const QDateTime& value) {
    const int dateId = (end ? kEndDate : kStartDate) + row;
    QDateTimeEdit* date = picker(dateId);
    QDateTimeEdit* time = picker(dateId + 8);
    {
        const QSignalBlocker blockDate(date);
        const QSignalBlocker blockTime(time);
        date->setDateTime(value);
        time->setDateTime(value);
    }
    values_[static_cast<std::size_t>(row)][end ? 1 : 0] = toMinute(date->dateTime());
}

void CSettingsDialog::setRowInUse(int row, bool inUse) {
    const auto k = static_cast<std::size_t>(row);
    rowInUse_[k] = inUse;
    settings_.slots[k].inUse = inUse ? 1 : 0;
    for (int base : {kStartDate, kEndDate, kStartTime, kEndTime}) {
        control(base + row)->setEnabled(inUse);
    }
    static_cast<QPushButton*>(control(kRowSwitch[k]))
        ->setText(qlang(inUse ? text::kSwitchOff : text::kEnable));
}

void CSettingsDialog::selectCircularChoice(int choice) {
    circularChoice_ = choice;
    settings_.circularMode = choice;
    const bool wasSetting = settingControls_;
    settingControls_ = true;
    circularGroup_->button(choice)->setChecked(true);
    settingControls_ = wasSetting;
}

void CSettingsDialog::switchRow(int row) {
    if (row < 0 || row >= kSlotCount) {
        return;
    }
    CurrentLanguage::get();
    if (rowInUse(row)) {
        setRowInUse(row, false);
        return;
    }
    setRowInUse(row, true);
    if (!circularHidden_ && circularChoice_ == rules::kCircular) {
        selectCircularChoice(rules::kLinear);
    }
}

void CSettingsDialog::circularChosen(int choice) {
    if (circularHidden_) {
        return;
    }
    circularChoice_ = choice == rules::kCircular ? rules::kCircular : rules::kLinear;
    if (circularChoice_ != rules::kCircular) {
        return;
    }
    bool anyInUse = false;
    for (bool inUse : rowInUse_) {
        anyInUse = anyInUse || inUse;
    }
    if (!anyInUse) {
        return;
    }
    message(text::kCircularWithSlots);
    for (int k = 0; k < kSlotCount; ++k) {
        if (rowInUse(k)) {
            switchRow(k);
        }
    }
}

void CSettingsDialog::onPickerSignal(int id) {
    if (settingControls_) {
        return;
    }
    // Messages wait until the picker has finished with its own event.
    QTimer::singleShot(0, this, [this, id] { pickerChanged(id); });
}

void CSettingsDialog::pickerChanged(int id) {
    QDateTimeEdit* edit = picker(id);
    if (edit == nullptr) {
        return;
    }
    CurrentLanguage::get();
    const Pair p = pairOf(id);
    const QDateTime shown = edit->dateTime();
    const QDateTime before = pickerValue(id);
    // The date picker gives the day, the time picker the time of day; the other part is the
    // pair's own.
    QDateTime value = isTimePicker(id) ? QDateTime(before.date(), shown.time(), Qt::UTC)
                                       : QDateTime(shown.date(), before.time(), Qt::UTC);
    value = toMinute(value);

    bool pastCorrected = false;
    const QDateTime now = toMinute(toQt(clock_.nowLocal()));
    if (value < now && rules::pastTimesMatter(circularChoice_)) {
        value = now;
        pastCorrected = true;
    }
    showValue(p.row, p.end, value);
    if (pastCorrected) {
        message(p.end ? text::kEndInPast : text::kStartInPast);
    }

    for (int k = 0; k < kSlotCount; ++k) {
        const auto& pair = values_[static_cast<std::size_t>(k)];
        if (pair[1] < pair[0]) {
            showValue(k, true, pair[0]);
            message(text::kEndBeforeStart);
        }
    }
    takeSlotTimes();
    warnAboutSlotOrder();
}

void CSettingsDialog::takeSlotTimes() {
    for (int k = 0; k < kSlotCount; ++k) {
        TimeSlot& slot = settings_.slots[static_cast<std::size_t>(k)];
        slot.start = fromQt(values_[static_cast<std::size_t>(k)][0]);
        slot.end = fromQt(values_[static_cast<std::size_t>(k)][1]);
    }
}

void CSettingsDialog::warnAboutSlotOrder() {
    ConfigurationEdit current;
    current.circular = circularChoice_;
    current.slots = settings_.slots;
    for (const auto& [later, earlier] : rules::slotsOutOfOrder(current)) {
        message(text::kSlotsOutOfOrder, {later, earlier});
    }
}

QString CSettingsDialog::formattedText(int languageIndex, std::initializer_list<long long> values) {
    return qlangFormatted(languageIndex, values);
}

void CSettingsDialog::message(int languageIndex, std::initializer_list<long long> values) {
    prompts_.message(this, formattedText(languageIndex, values), PromptIcon::None);
}

void CSettingsDialog::validationMessage(const QString& messageText, QWidget* at) {
    prompts_.message(this, messageText, PromptIcon::Warning);
    at->setFocus();
    if (auto* line = qobject_cast<QLineEdit*>(at)) {
        line->selectAll();
    }
}

bool CSettingsDialog::validateAndTake() {
    CurrentLanguage::get();
    bool isInteger = false;
    const int interval = intervalEdit_->text().trimmed().toInt(&isInteger);
    if (!isInteger) {
        validationMessage(formattedText(text::kNotAnInteger), intervalEdit_);
        return false;
    }
    if (!rules::intervalFits(interval)) {
        validationMessage(
            formattedText(text::kIntegerRange, {rules::kMinInterval, rules::kMaxInterval}),
            intervalEdit_);
        return false;
    }
    const QString description = descriptionEdit_->text();
    if (description.size() > rules::kMaxDescriptionUnits) {
        validationMessage(formattedText(text::kTooLong, {rules::kMaxDescriptionUnits}),
                          descriptionEdit_);
        return false;
    }

    ConfigurationEdit edit;
    edit.tempUnit = unitGroup_->checkedId() == 1 ? 1 : 0;
    edit.dateOrder = orderGroup_->checkedId() == 1 ? 1 : 0;
    edit.circular = circularHidden_ ? settings_.circularMode : circularChoice_;
    edit.interval = interval;
    edit.description = description.toStdU16String();
    edit.slots = settings_.slots;
    for (int k = 0; k < kSlotCount; ++k) {
        edit.slots[static_cast<std::size_t>(k)].inUse = rowInUse(k) ? 1 : 0;
    }
    // However the choice was reached, circular recording never goes out with slots in use.
    if (rules::circularClashesWithSlots(edit)) {
        circularChosen(rules::kCircular);
        return false;
    }
    result_ = std::move(edit);
    return true;
}

void CSettingsDialog::accept() {
    if (validateAndTake()) {
        QDialog::accept();
    }
}

} // namespace veldrin
