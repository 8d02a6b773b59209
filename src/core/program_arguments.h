#pragma once
// The command line as UTF-8 strings (without the program name), and a console that shows UTF-8:
// on Windows main() receives the arguments in the legacy code page, which cannot hold every name,
// so they are taken from the UTF-16 command line instead.

#include <string>
#include <vector>

namespace veldrin {

std::vector<std::string> programArguments(int argc, char** argv);

} // namespace veldrin
