#include "core/child_process.h"

#include "core/wide_text_windows.h"

#include <cwchar>

namespace veldrin {
namespace {

// Windows has no signals; a program this one stopped is reported with the number of the POSIX kill
// signal, so that the messages read the same on every system.
constexpr int kKilledCode = 9;
constexpr UINT kKilledExitCode = 1;

bool isExecutableName(const std::string& program) {
    const std::size_t dot = program.find_last_of('.');
    const std::size_t slash = program.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return false;
    }
    const std::wstring extension = widen(program.substr(dot));
    return _wcsicmp(extension.c_str(), L".exe") == 0 || _wcsicmp(extension.c_str(), L".com") == 0;
}

// The program runs in a job object of its own, so that killing it takes what it started too.
class WindowsChild final : public ChildProcess {
public:
    WindowsChild(HANDLE process, HANDLE job) : process_(process), job_(job) {}
    ~WindowsChild() override {
        if (!end_) {
            kill();
            wait();
        }
        CloseHandle(process_);
        CloseHandle(job_);
    }

    std::optional<ChildEnd> poll() override {
        if (!end_) {
            collect(0);
        }
        return end_;
    }

    ChildEnd wait() override {
        if (!end_) {
            collect(INFINITE);
        }
        return end_.value_or(ChildEnd{true, kKilledCode});
    }

    void kill() override {
        if (end_) {
            return;
        }
        killed_ = true;
        if (!TerminateJobObject(job_, kKilledExitCode)) {
            TerminateProcess(process_, kKilledExitCode);
        }
    }

private:
    void collect(DWORD timeout) {
        const DWORD waited = WaitForSingleObject(process_, timeout);
        if (waited == WAIT_TIMEOUT) {
            return;
        }
        DWORD code = 0;
        if (waited != WAIT_OBJECT_0 || !GetExitCodeProcess(process_, &code)) {
            end_ = ChildEnd{true, kKilledCode};
            return;
        }
        end_ = killed_ ? ChildEnd{true, kKilledCode} : ChildEnd{false, static_cast<int>(code)};
    }

    HANDLE process_;
    HANDLE job_;
    bool killed_ = false;
    std::optional<ChildEnd> end_;
};

bool setByExtra(std::wstring_view entry, const std::vector<std::wstring>& names) {
    // Entries such as "=C:=C:\dir" keep the working folder of each drive; their name starts with
    // '='.
    const std::size_t equals = entry.find(L'=', 1);
    const std::wstring name(entry.substr(0, equals));
    for (const std::wstring& other : names) {
        if (_wcsicmp(name.c_str(), other.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

// This process's environment without the names `extra` sets (names compare without case, as
// Windows does) and without its secrets, then `extra`: a block of UTF-16 entries each ended by a
// null, ended by a null.
std::wstring environmentBlockFor(const ChildEnvironment& extra) {
    std::vector<std::wstring> names;
    for (const auto& [key, value] : extra) {
        names.push_back(widen(key));
    }
    std::wstring block;
    if (wchar_t* own = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = own; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
            const std::wstring_view view(entry);
            const std::wstring_view name = view.substr(0, view.find(L'=', 1));
            if (!setByExtra(view, names) && !isWithheldFromChildren(narrow(name))) {
                block.append(view);
                block.push_back(L'\0');
            }
        }
        FreeEnvironmentStringsW(own);
    }
    for (const auto& [key, value] : extra) {
        block.append(widen(key + "=" + value));
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

std::string startFailure(const std::string& program, DWORD code) {
    return program + " could not be started: " + systemMessage(code);
}

class WindowsLauncher final : public ChildLauncher {
public:
    std::unique_ptr<ChildProcess> start(const std::string& program, const ChildEnvironment& extra,
                                        std::string& error) override {
        const std::wstring path = widen(program);
        // The command line is the program's quoted name alone: no arguments, no shell.
        std::wstring commandLine = L"\"" + path + L"\"";
        std::wstring environment = environmentBlockFor(extra);

        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE nothing = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inheritable, OPEN_EXISTING, 0, nullptr);
        if (nothing == INVALID_HANDLE_VALUE) {
            error = startFailure(program, GetLastError());
            return nullptr;
        }
        HANDLE job = CreateJobObjectW(nullptr, nullptr);
        if (job == nullptr) {
            error = startFailure(program, GetLastError());
            CloseHandle(nothing);
            return nullptr;
        }
        // Should this program end without stopping it, the job's closing still does.
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));

        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nothing;
        startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION started{};
        // Started suspended so that it is in the job before it can start anything of its own.
        const BOOL ok = CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                       CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED,
                                       environment.data(), nullptr, &startup, &started);
        const DWORD code = GetLastError();
        CloseHandle(nothing);
        if (!ok) {
            error = startFailure(program, code);
            CloseHandle(job);
            return nullptr;
        }
        if (!AssignProcessToJobObject(job, started.hProcess)) {
            error = startFailure(program, GetLastError());
            TerminateProcess(started.hProcess, kKilledExitCode);
            WaitForSingleObject(started.hProcess, INFINITE);
            CloseHandle(started.hThread);
            CloseHandle(started.hProcess);
            CloseHandle(job);
            return nullptr;
        }
        ResumeThread(started.hThread);
        CloseHandle(started.hThread);
        return std::make_unique<WindowsChild>(started.hProcess, job);
    }
};

} // namespace

ChildLauncher& systemChildLauncher() {
    static WindowsLauncher launcher;
    return launcher;
}

std::string executableFault(const std::string& program) {
    const DWORD attributes = GetFileAttributesW(widen(program).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return program + ": " + systemMessage(GetLastError());
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return program + " is not a file";
    }
    if (!isExecutableName(program)) {
        return program + " is not executable";
    }
    return {};
}

} // namespace veldrin
