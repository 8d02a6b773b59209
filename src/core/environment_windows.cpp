#include "core/environment.h"

#include "core/wide_text_windows.h"

#include <cstdlib>

namespace veldrin {

std::optional<std::string> environmentVariable(const char* name) {
    if (const wchar_t* value = _wgetenv(widen(name).c_str())) {
        return narrow(value);
    }
    return std::nullopt;
}

} // namespace veldrin
