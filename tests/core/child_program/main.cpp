// The program the Windows launcher tests start: it writes what it was given to the file named by
// VELDRIN_CHILD_OUT, and with VELDRIN_CHILD_HANG it stays (or leaves a copy of itself that stays).

#include <cstdio>
#include <cstdlib>
#include <string>
#include <windows.h>

namespace {

void write(const std::string& text) {
    const char* out = std::getenv("VELDRIN_CHILD_OUT");
    if (FILE* file = out != nullptr ? std::fopen(out, "wb") : nullptr) {
        std::fputs(text.c_str(), file);
        std::fclose(file);
    }
}

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "-";
}

bool inputIsEmpty() {
    char byte = 0;
    DWORD got = 0;
    return !ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &got, nullptr) || got == 0;
}

// Starts a copy of this program that hangs and says its process id.
int leaveAHangingCopy() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SetEnvironmentVariableW(L"VELDRIN_CHILD_HANG", L"self");
    SetEnvironmentVariableW(L"VELDRIN_CHILD_OUT", nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(self, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
        return 2;
    }
    write(std::to_string(started.dwProcessId));
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return 0;
}

} // namespace

int main(int argc, char**) {
    const std::string hang = variable("VELDRIN_CHILD_HANG");
    if (hang == "self") {
        Sleep(INFINITE);
    }
    if (hang == "copy") {
        return leaveAHangingCopy();
    }
    write(std::to_string(argc - 1) + " " + variable("VELDRIN_STATE") + " " +
          variable("VELDRIN_LIMIT") + (inputIsEmpty() ? " empty" : " input"));
    return 3;
}
