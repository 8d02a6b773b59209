#include "core/program_arguments.h"

#include "core/wide_text_windows.h"

#include <shellapi.h>

namespace veldrin {

std::vector<std::string> programArguments(int argc, char** argv) {
    // Texts printed in UTF-8 show as such in the console.
    SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
    }
    std::vector<std::string> out;
    for (int i = 1; i < count; ++i) {
        out.push_back(narrow(wide[i]));
    }
    LocalFree(wide);
    return out;
}

} // namespace veldrin
