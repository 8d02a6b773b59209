#include "view/time_window.h"

#include <QDateTimeEdit>
#include <QSignalBlocker>

namespace veldrin {

namespace {

DateTime midnight(int year, int month, int day) {
    return DateTime::fromFields(year, month, day);
}

QDateTimeEdit* makePicker(QWidget* parent, const QString& format, bool calendar) {
    auto* picker = new QDateTimeEdit(parent);
    picker->setTimeSpec(Qt::UTC);
    picker->setDisplayFormat(format);
    picker->setCalendarPopup(calendar);
    picker->setKeyboardTracking(false);
    picker->setDateTimeRange(QDateTime(QDate(1753, 1, 1), QTime(0, 0), Qt::UTC),
                             QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC));
    return picker;
}

} // namespace

std::optional<TimeWindow> presetWindow(int position, const DateTime& now) {
    CalendarFields f;
    if (!now.fields(f)) {
        return std::nullopt;
    }
    const DateTime today = midnight(f.year, f.month, f.day);
    TimeWindow w;
    switch (static_cast<PresetPeriod>(position)) {
    case PresetPeriod::hour:
        w.start = today.plusMinutes(int64_t{f.hour} * 60);
        w.end = w.start.plusMinutes(60);
        break;
    case PresetPeriod::day:
        w.start = today;
        w.end = today.plusMinutes(24 * 60);
        break;
    case PresetPeriod::week:
        w.start = today.plusMinutes(-int64_t{f.dayOfWeek - 1} * 24 * 60);
        w.end = w.start.plusMinutes(7 * 24 * 60);
        break;
    case PresetPeriod::month:
        w.start = midnight(f.year, f.month, 1);
        w.end = f.month == 12 ? midnight(f.year + 1, 1, 1) : midnight(f.year, f.month + 1, 1);
        break;
    case PresetPeriod::year:
        w.start = midnight(f.year, 1, 1);
        w.end = midnight(f.year + 1, 1, 1);
        break;
    default:
        return std::nullopt;
    }
    if (!w.start.isValid() || !w.end.isValid()) {
        return std::nullopt;
    }
    return w;
}

QDateTime pickerValue(const DateTime& time) {
    CalendarFields f;
    if (!time.fields(f)) {
        return QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
    }
    return QDateTime(QDate(f.year, f.month, f.day), QTime(f.hour, f.minute, f.second), Qt::UTC);
}

DateTime fromPickerValue(const QDateTime& value) {
    const QDate d = value.date();
    const QTime t = value.time();
    return DateTime::fromFields(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

TimeWindowPickers::TimeWindowPickers(QWidget* parent)
    : QObject(parent), startDate_(makePicker(parent, QStringLiteral("yyyy-MM-dd"), true)),
      startTime_(makePicker(parent, QStringLiteral("HH:mm:ss"), false)),
      endDate_(makePicker(parent, QStringLiteral("yyyy-MM-dd"), true)),
      endTime_(makePicker(parent, QStringLiteral("HH:mm:ss"), false)) {
    connect(startDate_, &QDateTimeEdit::dateTimeChanged, this,
            [this] { startChanged(startDate_); });
    connect(startTime_, &QDateTimeEdit::dateTimeChanged, this,
            [this] { startChanged(startTime_); });
    connect(endDate_, &QDateTimeEdit::dateTimeChanged, this, [this] { endChanged(endDate_); });
    connect(endTime_, &QDateTimeEdit::dateTimeChanged, this, [this] { endChanged(endTime_); });
}

void TimeWindowPickers::setBoth(QDateTimeEdit* a, QDateTimeEdit* b, const QDateTime& value) {
    const QSignalBlocker blockA(a);
    const QSignalBlocker blockB(b);
    a->setDateTime(value);
    b->setDateTime(value);
}

TimeWindow TimeWindowPickers::window() const {
    return TimeWindow{fromPickerValue(startDate_->dateTime()),
                      fromPickerValue(endDate_->dateTime())};
}

void TimeWindowPickers::setWindow(const TimeWindow& window) {
    setBoth(startDate_, startTime_, pickerValue(window.start));
    setBoth(endDate_, endTime_, pickerValue(window.end));
}

void TimeWindowPickers::setEnabled(bool enabled) {
    for (QDateTimeEdit* picker : {startDate_, startTime_, endDate_, endTime_}) {
        picker->setEnabled(enabled);
    }
}

void TimeWindowPickers::startChanged(QDateTimeEdit* source) {
    const QDateTime start = source->dateTime();
    setBoth(startDate_, startTime_, start);
    if (endDate_->dateTime() < start) {
        setBoth(endDate_, endTime_, start);
    }
    Q_EMIT changed();
}

void TimeWindowPickers::endChanged(QDateTimeEdit* source) {
    QDateTime end = source->dateTime();
    const QDateTime start = startDate_->dateTime();
    const bool corrected = end < start;
    if (corrected) {
        end = start;
    }
    setBoth(endDate_, endTime_, end);
    if (corrected) {
        Q_EMIT endCorrected();
    }
    Q_EMIT changed();
}

} // namespace veldrin
