#include "lang/startup_language.h"

#include <windows.h>

namespace veldrin {

// The language the user reads Windows in.
LangId systemLangId() {
    return static_cast<LangId>(GetUserDefaultUILanguage());
}

} // namespace veldrin
