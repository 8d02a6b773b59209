#pragma once
// The template of the main view's form: where each control lies in dialog units, the description
// line under them and the form's width, and the small helpers that make its controls.

#include "settings/fitting_layout.h"

class QLabel;
class QWidget;

namespace veldrin::view_form {

// The description line under the controls and the template's width of the whole form.
inline constexpr int kDescriptionX = 7;
inline constexpr int kDescriptionY = 58;
inline constexpr int kDescriptionHeight = 9;
inline constexpr int kFormWidth = 427;
// The display below the form keeps at least this height (dialog units) before the form scrolls.
inline constexpr int kMinimumDisplayHeight = 60;

// The form's controls, found by their identifiers among `form`'s children, placed by the template.
FittingLayout layoutOf(const QWidget& form);

// A label whose texts (language files, main.ini, descriptions) are never read as markup.
QLabel* makeLabel(QWidget* parent);
// The control's form identifier (see command_ids.h), kept as its object name.
void setId(QWidget* widget, int id);

} // namespace veldrin::view_form
