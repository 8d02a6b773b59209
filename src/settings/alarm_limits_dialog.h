#pragma once
// The Alarm limits dialog: the four limits of one recorder and the delay, shown and entered in the
// recorder's unit (temperatures in Fahrenheit for a recorder that shows Fahrenheit), kept in
// Celsius. An empty field switches its limit off.

#include "core/alarm_limits.h"
#include "settings/user_prompts.h"

#include <QDialog>
#include <QString>

#include <array>
#include <optional>

class QLineEdit;
class QSpinBox;

namespace veldrin {

namespace alarm_ids {
constexpr int kDialog = 170;
constexpr int kTempHigh = 1101;
constexpr int kTempLow = 1102;
constexpr int kHumHigh = 1103;
constexpr int kHumLow = 1104;
constexpr int kDelay = 1105;
constexpr int kOk = 1;
constexpr int kCancel = 2;
} // namespace alarm_ids

// Text of a limit in the unit shown with the decimal separator of the language, at most two
// decimals, no trailing zeros.
QString limitText(double celsiusOrPercent, bool temperature, bool fahrenheit);
// The decimal separator of the dialog's numbers: the comma in German and French.
QChar decimalSeparator();
// The Celsius value of a temperature entered in the unit shown.
double celsiusFromEntry(double entered, bool fahrenheit);

class CAlarmLimitsDialog : public QDialog {
    Q_OBJECT
public:
    CAlarmLimitsDialog(const AlarmLimits& limits, bool fahrenheit, int recorderNumber,
                       CUserPrompts& prompts, QWidget* parent = nullptr);

    // The limits entered, in Celsius; none when a field is not a number or a low limit lies
    // above its high one, with the reason in `problem`.
    std::optional<AlarmLimits> entered(QString& problem) const;

    QLineEdit* field(LimitKind kind) const { return fields_[static_cast<std::size_t>(kind)]; }
    QSpinBox* delayBox() const { return delay_; }

    // OK: checks the entries first and stays open, saying why, when they cannot be taken.
    void accept() override;
    const AlarmLimits& result() const { return result_; }

private:
    std::optional<double> entry(LimitKind kind, bool& valid) const;

    CUserPrompts& prompts_;
    bool fahrenheit_;
    AlarmLimits original_;
    AlarmLimits result_;
    std::array<QLineEdit*, 4> fields_{};
    QSpinBox* delay_ = nullptr;
};

} // namespace veldrin
