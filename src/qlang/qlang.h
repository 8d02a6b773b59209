#pragma once
// The language texts as Qt strings, for every window layer: one helper instead of a wrapper per
// file. The numbers are named in lang/text_numbers.h.

#include "lang/text_numbers.h"

#include <QString>

#include <initializer_list>
#include <string>

namespace veldrin {

// A UTF-16 text of the headless layers as a QString.
QString qstr(const std::u16string& text);

// Language string `number` in the current language.
QString qlang(int number);

// Language string `number` used as a format, with its integers filled in safely.
QString qlangFormatted(int number, std::initializer_list<long long> values = {});

// The decimal sign of the current language (the comma in German and French), whatever the
// process's locale.
QChar qdecimalSign();
// A number shown to the user with `decimals` places and the language's decimal sign; a value that
// rounds to zero never shows as "-0".
QString qdecimal(double value, int decimals);
// A colon or semicolon that joins a label to its value, or two clauses of one line, in code, as
// the current language writes it: ": " in English and German, " : " in French, which sets a space
// before the marks of two strokes (as its texts that end in a colon already do).
QString qpunctuation(QChar mark);

} // namespace veldrin
