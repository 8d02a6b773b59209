#pragma once
// Dialog layouts are given in dialog units: a horizontal unit is a quarter of the dialog font's
// average character width, a vertical unit an eighth of its height.

#include <QFont>
#include <QRect>

namespace veldrin {

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int averageCharWidth, int charHeight) : cx_(averageCharWidth), cy_(charHeight) {}

    int x(int units) const { return units * cx_ / 4; }
    int y(int units) const { return units * cy_ / 8; }
    QRect rect(int x0, int y0, int width, int height) const {
        return QRect(x(x0), y(y0), x(width), y(height));
    }
    int averageCharWidth() const { return cx_; }
    int charHeight() const { return cy_; }

private:
    int cx_;
    int cy_;
};

} // namespace veldrin
