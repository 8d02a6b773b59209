#pragma once
// The time window of the main view: the preset periods relative to now, and the two pairs of
// date-and-time pickers that hold the window's start and end with their consistency rules.

#include "core/date_time.h"

#include <QDateTime>
#include <QObject>

#include <optional>

class QDateTimeEdit;
class QWidget;

namespace veldrin {

struct TimeWindow {
    DateTime start;
    DateTime end;
};

// Positions of the preset periods in the period combo.
enum class PresetPeriod : int { hour = 0, day = 1, week = 2, month = 3, year = 4 };

// The preset period around `now`, both ends at a full hour or midnight; the week runs from the
// most recent Sunday. Nothing for a position that names no preset or a `now` that is no time.
std::optional<TimeWindow> presetWindow(int position, const DateTime& now);

// A picker holds the local wall-clock fields; they are kept in a QDateTime without a time zone so
// that no daylight-saving gap ever changes a value.
QDateTime pickerValue(const DateTime& time);
DateTime fromPickerValue(const QDateTime& value);

// The pickers 1011/1012 (start date and time) and 1013/1014 (end date and time). Within a pair
// both hold the same full value. A start moved past the end drags the end along; an end moved
// before the start is set back to the start, and `endCorrected` asks for the message about it.
// Values set by the program never signal.
class TimeWindowPickers : public QObject {
    Q_OBJECT
public:
    explicit TimeWindowPickers(QWidget* parent);

    QDateTimeEdit* startDate() const { return startDate_; }
    QDateTimeEdit* startTime() const { return startTime_; }
    QDateTimeEdit* endDate() const { return endDate_; }
    QDateTimeEdit* endTime() const { return endTime_; }

    TimeWindow window() const;
    void setWindow(const TimeWindow& window);
    void setEnabled(bool enabled);

Q_SIGNALS:
    // The user changed a picker (after any correction): the display repaints.
    void changed();
    // An end was corrected back to the start.
    void endCorrected();

private:
    void startChanged(QDateTimeEdit* source);
    void endChanged(QDateTimeEdit* source);
    static void setBoth(QDateTimeEdit* a, QDateTimeEdit* b, const QDateTime& value);

    QDateTimeEdit* startDate_;
    QDateTimeEdit* startTime_;
    QDateTimeEdit* endDate_;
    QDateTimeEdit* endTime_;
};

} // namespace veldrin
