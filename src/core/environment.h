#pragma once
// Environment variables as UTF-8. On Windows the narrow environment is in the legacy code page,
// which cannot hold every name (a folder "Jörg" read there may come back as another folder), so
// the values are read in UTF-16 and converted (environment_posix.cpp, environment_windows.cpp).

#include <optional>
#include <string>

namespace veldrin {

// The value of the variable `name`; nothing when it is not set.
std::optional<std::string> environmentVariable(const char* name);

} // namespace veldrin
