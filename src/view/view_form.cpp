#include "view/view_form.h"

#include "settings/dialog_units.h"
#include "view/command_ids.h"

#include <QLabel>
#include <QWidget>

namespace veldrin::view_form {

namespace {

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

} // namespace

FittingLayout layoutOf(const QWidget& form) {
    FittingLayout layout{DialogUnits(form.font())};
    for (const Placement& p : kPlacements) {
        if (auto* widget = form.findChild<QWidget*>(QString::number(p.id))) {
            layout.add(widget, p.x, p.y, p.width, p.height);
        }
    }
    return layout;
}

QLabel* makeLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

void setId(QWidget* widget, int id) {
    widget->setObjectName(QString::number(id));
}

} // namespace veldrin::view_form
