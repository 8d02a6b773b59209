#include "qlang/qlang.h"

#include "lang/language_table.h"
#include "lang/safe_format.h"

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

} // namespace veldrin
