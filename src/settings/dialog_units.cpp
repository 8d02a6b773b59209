#include "settings/dialog_units.h"

#include <QFontMetrics>

namespace veldrin {

namespace {

// The average width the way dialog templates measure it: the 52 letters' mean, rounded.
int averageLetterWidth(const QFontMetrics& metrics) {
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
}

} // namespace

DialogUnits::DialogUnits(const QFont& font)
    : cx_(averageLetterWidth(QFontMetrics(font))), cy_(QFontMetrics(font).height()) {}

} // namespace veldrin
