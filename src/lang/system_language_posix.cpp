#include "lang/startup_language.h"

namespace veldrin {

LangId systemLangId() {
    return systemLangId(processEnvironment());
}

} // namespace veldrin
