#include "settings/alarm_limits_dialog.h"

#include "qlang/qlang.h"

#include "core/temperature_unit.h"
#include "lang/language_table.h"
#include "settings/dialog_units.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>
#include <cmath>
#include <utility>

namespace veldrin {

using namespace alarm_ids;

namespace {

// Entries are kept to this many decimals in Celsius, so that a value entered in Fahrenheit is
// stored without a tail of conversion noise.
constexpr double kStoredPrecision = 1e4;
constexpr int kShownDecimals = 2;
constexpr int kMaxDelayMinutes = 100000;

constexpr int kFieldIds[] = {kTempHigh, kTempLow, kHumHigh, kHumLow};

bool isTemperature(LimitKind kind) {
    return kind == LimitKind::tempHigh || kind == LimitKind::tempLow;
}

QString unitSuffix(LimitKind kind, bool fahrenheit) {
    if (!isTemperature(kind)) {
        return QStringLiteral(" (%)");
    }
    return fahrenheit ? QStringLiteral(" (\u00B0F)") : QStringLiteral(" (\u00B0C)");
}

const std::optional<double>& limitOf(const AlarmLimits& limits, LimitKind kind) {
    switch (kind) {
    case LimitKind::tempHigh:
        return limits.tempHigh;
    case LimitKind::tempLow:
        return limits.tempLow;
    case LimitKind::humHigh:
        return limits.humHigh;
    case LimitKind::humLow:
        break;
    }
    return limits.humLow;
}

std::optional<double>& limitOf(AlarmLimits& limits, LimitKind kind) {
    return const_cast<std::optional<double>&>(limitOf(std::as_const(limits), kind));
}

} // namespace

QString limitText(double value, bool temperature, bool fahrenheit) {
    const double shown = temperature ? displayTemperature(value, fahrenheit) : value;
    QString t = QString::number(shown, 'f', kShownDecimals);
    while (t.endsWith(QLatin1Char('0'))) {
        t.chop(1);
    }
    if (t.endsWith(QLatin1Char('.'))) {
        t.chop(1);
    }
    if (t == QLatin1String("-0")) {
        t = QStringLiteral("0");
    }
    return t.replace(QLatin1Char('.'), decimalSeparator());
}

QChar decimalSeparator() {
    return qdecimalSign();
}

double celsiusFromEntry(double entered, bool fahrenheit) {
    const double celsius = celsiusFromDisplay(entered, fahrenheit);
    return std::round(celsius * kStoredPrecision) / kStoredPrecision;
}

CAlarmLimitsDialog::CAlarmLimitsDialog(const AlarmLimits& limits, bool fahrenheit,
                                       int recorderNumber, CUserPrompts& prompts, QWidget* parent)
    : QDialog(parent), prompts_(prompts), fahrenheit_(fahrenheit), original_(limits),
      result_(limits) {
    setObjectName(QStringLiteral("alarmLimitsDialog%1").arg(kDialog));
    QFont dialogFont = font();
    dialogFont.setPointSize(10);
    setFont(dialogFont);
    const DialogUnits du(font());
    setFixedSize(du.x(220), du.y(150));
    CurrentLanguage::get(); // clamps an out-of-range language
    setWindowTitle(qlang(text::kAlarmLimits));

    auto label = [&](const QString& caption, int y) {
        auto* l = new QLabel(caption, this);
        l->setTextFormat(Qt::PlainText); // language files are never read as markup
        l->setGeometry(du.rect(10, y, 140, 10));
        return l;
    };
    label(qlang(text::kRecorderNumber) + QLatin1Char(' ') + QString::number(recorderNumber), 8);
    for (const LimitKind kind : kLimitKinds) {
        const auto k = static_cast<std::size_t>(kind);
        const int y = 26 + static_cast<int>(k) * 18;
        label(qlang(text::kLimitNames[k]) + unitSuffix(kind, fahrenheit), y + 2);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::number(kFieldIds[k]));
        edit->setGeometry(du.rect(150, y, 60, 13));
        if (const auto& value = limitOf(limits, kind)) {
            edit->setText(limitText(*value, isTemperature(kind), fahrenheit));
        }
        fields_[k] = edit;
    }
    label(qlang(text::kDelay), 100);
    delay_ = new QSpinBox(this);
    delay_->setObjectName(QString::number(kDelay));
    delay_->setRange(0, kMaxDelayMinutes);
    delay_->setValue(std::max(0, limits.delayMinutes));
    delay_->setGeometry(du.rect(150, 98, 60, 13));
    auto* hint = label(qlang(text::kEmptyIsOff), 114);
    hint->setGeometry(du.rect(10, 114, 200, 10));

    auto* ok = new QPushButton(qlang(text::kOk), this);
    ok->setObjectName(QString::number(kOk));
    ok->setGeometry(du.rect(50, 130, 50, 14));
    ok->setDefault(true);
    auto* cancel = new QPushButton(qlang(text::kCancel), this);
    cancel->setObjectName(QString::number(kCancel));
    cancel->setGeometry(du.rect(120, 130, 50, 14));
    connect(ok, &QPushButton::clicked, this, &CAlarmLimitsDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<double> CAlarmLimitsDialog::entry(LimitKind kind, bool& valid) const {
    const QString t = field(kind)->text().trimmed();
    valid = true;
    if (t.isEmpty()) {
        return std::nullopt;
    }
    const std::optional<double>& before = limitOf(original_, kind);
    // A field left as shown keeps its stored value exactly, whatever the unit's rounding.
    if (before && t == limitText(*before, isTemperature(kind), fahrenheit_)) {
        return before;
    }
    bool ok = false;
    // Either separator is taken, as users of German and French type a comma; QString::toDouble
    // itself is locale-free.
    const double value = QString(t).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        valid = false;
        return std::nullopt;
    }
    return isTemperature(kind) ? celsiusFromEntry(value, fahrenheit_) : value;
}

std::optional<AlarmLimits> CAlarmLimitsDialog::entered(QString& problem) const {
    AlarmLimits limits;
    for (const LimitKind kind : kLimitKinds) {
        bool valid = true;
        limitOf(limits, kind) = entry(kind, valid);
        if (!valid) {
            problem = qlang(text::kNotANumber) + QLatin1Char(' ') + field(kind)->text();
            return std::nullopt;
        }
    }
    if ((limits.tempLow && limits.tempHigh && *limits.tempLow > *limits.tempHigh) ||
        (limits.humLow && limits.humHigh && *limits.humLow > *limits.humHigh)) {
        problem = qlang(text::kLowAboveHigh);
        return std::nullopt;
    }
    limits.delayMinutes = delay_->value();
    return limits;
}

void CAlarmLimitsDialog::accept() {
    QString problem;
    const std::optional<AlarmLimits> limits = entered(problem);
    if (!limits) {
        prompts_.message(this, problem, PromptIcon::Warning);
        return;
    }
    result_ = *limits;
    QDialog::accept();
}

} // namespace veldrin
