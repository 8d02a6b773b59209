#include "cli/cli_context.h"

#include "cli/exit_status.h"
#include "core/paths.h"
#include "device/backend_registry.h"
#include "lang/language_table.h"
#include "lang/startup_language.h"
#include "lang/utf.h"
#include "store/registry.h"

#include <cstdio>

namespace veldrin::cli {

void printLine(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void printError(const std::string& message) {
    std::fprintf(stderr, "veldrin-cli: %s\n", message.c_str());
    std::fflush(stderr);
}

void printNoRecorder(int waitSeconds) {
    printError("no recorder attached within " + std::to_string(waitSeconds) +
               (waitSeconds == 1 ? " second" : " seconds"));
}

std::string timeText(const DateTime& time) {
    const std::string text = calendarText(time);
    return text.empty() ? "(no time)" : text;
}

std::string mainIniPath(const Folders& folders) {
    return joinPath(folders.data, "main.ini");
}

bool prepareFolders(const CliRequest& request, Folders& out, int& status) {
    std::string error;
    const bool writes = request.command == Command::sync || request.command == Command::watch ||
                        request.command == Command::configure || request.command == Command::clear;
    if (!resolveDataDirectory(request.dataDir, out.data, error, writes)) {
        printError(error);
        status = kExitInvalid;
        return false;
    }
    out.resources = resolveResourceDirectory();
    if (!LanguageTable::instance().load(out.resources, error)) {
        printError(error);
        status = kExitInvalid;
        return false;
    }
    // Read without writing: the read-only commands must not create main.ini.
    const int stored = IniSnapshot::load(mainIniPath(out)).readInt(kLanguageSection, "Lang", 0);
    CurrentLanguage::set(request.language ? *request.language : chooseStartupLanguage(stored));
    return true;
}

bool lockDataFolder(DataDirectoryLock& lock, const Folders& folders, Command command, int& status) {
    std::string holder;
    const std::string me = std::string("veldrin-cli ") + commandName(command);
    switch (lock.tryAcquire(folders.data, me, holder)) {
    case DataDirectoryLock::Result::acquired:
        return true;
    case DataDirectoryLock::Result::heldElsewhere:
        printError("the data folder " + folders.data + " is in use by " + holder +
                   "; only one program may write it at a time");
        break;
    case DataDirectoryLock::Result::unusable:
        printError("the data folder " + folders.data + " cannot be used: " + holder);
        break;
    }
    status = kExitInvalid;
    return false;
}

bool openBackend(const CliRequest& request, std::unique_ptr<HidBackend>& out, int& status) {
    std::string error;
    out = chooseBackend(request.device, error, SystemClock::instance());
    if (!out) {
        printError(error);
        status = kExitUsage;
        return false;
    }
    // Said once, before the first attempt: the presence poll itself only sees "no recorder".
    const DeviceCheck check = checkDeviceName(request.device);
    if (check.outlook == DeviceOutlook::never) {
        printError("--device: " + check.reason);
        status = kExitInvalid;
        return false;
    }
    if (check.outlook == DeviceOutlook::notYet) {
        printError(check.reason);
    }
    return true;
}

void ConsoleListener::statusText(const std::u16string& text) {
    if (!text.empty()) {
        printLine(utf16ToUtf8(text));
    }
}

void ConsoleListener::problem(const std::string& message) {
    printError(message);
}

std::unique_ptr<AcquisitionContext> AcquisitionContext::open(const CliRequest& request,
                                                             const Folders& folders, Clock& clock,
                                                             int& status) {
    auto lock = std::make_unique<DataDirectoryLock>();
    std::unique_ptr<HidBackend> backend;
    if (!lockDataFolder(*lock, folders, request.command, status) ||
        !openBackend(request, backend, status)) {
        return nullptr;
    }
    return std::unique_ptr<AcquisitionContext>(
        new AcquisitionContext(std::move(lock), folders, std::move(backend), clock));
}

RecorderChain::RecorderChain(HidBackend& backend, const std::string& interfacePath,
                             const Folders& folders, ConsoleListener& console, Clock& clock)
    : link_(backend, interfacePath), ini_(mainIniPath(folders)), store_(folders.data, ini_, clock),
      acquisition_(link_, store_, clock, reports_, &console) {
    store_.setListener(&console);
}

AcquisitionContext::AcquisitionContext(std::unique_ptr<DataDirectoryLock> lock,
                                       const Folders& folders, std::unique_ptr<HidBackend> backend,
                                       Clock& clock)
    : lock_(std::move(lock)), backend_(std::move(backend)), folders_(folders), clock_(clock) {}

RecorderChain& AcquisitionContext::first() {
    if (!first_) {
        first_ = openChain(firstPath_);
    }
    return *first_;
}

std::vector<std::string> AcquisitionContext::attachedInterfaces() {
    std::vector<std::string> paths;
    if (!backend_->listInterfaces(paths)) {
        paths.clear();
    }
    return paths;
}

std::unique_ptr<RecorderChain> AcquisitionContext::openChain(const std::string& interfacePath) {
    auto chain =
        std::make_unique<RecorderChain>(*backend_, interfacePath, folders_, console_, clock_);
    chain->acquisition().shareIssuedIdentities(issued_);
    return chain;
}

} // namespace veldrin::cli
