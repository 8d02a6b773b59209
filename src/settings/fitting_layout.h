#pragma once
// Lays controls out from their template rectangles (dialog units) and lets each one take the width
// its text needs in the current language and font. A control that grows pushes what follows it in
// the same band to the right, controls that share a template column keep sharing one width, and
// frames grow around what they hold. Run apply() again after the texts have changed.

#include "settings/dialog_units.h"

#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <vector>

namespace veldrin {

// The width `widget` needs to show its text (every item, for a combo box) uncut in its own font;
// 0 for a widget whose width does not depend on a text.
int neededTextWidth(const QWidget& widget);

class FittingLayout {
public:
    explicit FittingLayout(const DialogUnits& units) : units_(units) {}

    // Places `widget` at the template rectangle (dialog units) and returns it.
    template <class W> W* add(W* widget, int x, int y, int width, int height) {
        addItem(widget, units_.rect(x, y, width, height), false);
        return widget;
    }
    // A frame drawn around controls: it grows by as much as the controls inside it moved out.
    void addFrame(QWidget* frame, int x, int y, int width, int height) {
        addItem(frame, units_.rect(x, y, width, height), true);
    }

    // Sets every geometry; returns by how much the content grew beyond the template rectangles.
    QSize apply() const;
    // Tab then walks the focusable controls line by line, left to right, as they are read.
    void setReadingTabOrder() const;

private:
    struct Item {
        QPointer<QWidget> widget;
        QRect base;
        bool frame = false;
    };
    void addItem(QWidget* widget, const QRect& base, bool frame);

    DialogUnits units_;
    std::vector<Item> items_;
};

} // namespace veldrin
