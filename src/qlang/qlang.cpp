#include "qlang/qlang.h"

#include "lang/language_table.h"
#include "lang/safe_format.h"

#include <algorithm>

namespace veldrin {

QString qstr(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QString qlang(int number) {
    return qstr(languageString(number));
}

QString qlangFormatted(int number, std::initializer_list<long long> values) {
    return qstr(formattedLanguageString(number, values));
}

QChar qdecimalSign() {
    return CurrentLanguage::get() == kEnglish ? QLatin1Char('.') : QLatin1Char(',');
}

QString qdecimal(double value, int decimals) {
    QString text = QString::number(value, 'f', decimals); // always a dot: replaced below
    const bool onlyZeros = std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c == QLatin1Char('0') || c == QLatin1Char('.') || c == QLatin1Char('-');
    });
    if (onlyZeros && text.startsWith(QLatin1Char('-'))) {
        text.remove(0, 1);
    }
    return text.replace(QLatin1Char('.'), qdecimalSign());
}

QString qpunctuation(QChar mark) {
    const QString before = CurrentLanguage::get() == kFrench ? QStringLiteral(" ") : QString();
    return before + mark + QLatin1Char(' ');
}

} // namespace veldrin
