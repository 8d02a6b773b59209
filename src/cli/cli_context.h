#pragma once
// What every command of veldrin-cli sets up: the folders, the language, and for the commands that
// talk to a recorder through the acquisition chain, the recorder link, the data store and the
// acquisition with a console in place of the window.

#include "acquisition/acquisition.h"
#include "cli/cli_options.h"
#include "core/clock.h"
#include "core/data_directory_lock.h"
#include "device/hid_backend.h"
#include "device/logger_link.h"
#include "store/data_store.h"
#include "store/ini_file.h"

#include <memory>
#include <string>
#include <vector>

namespace veldrin::cli {

// One line of UTF-8 on standard output, flushed at once (a watching user or a pipe sees it).
void printLine(const std::string& text);
// "veldrin-cli: " and the message on standard error.
void printError(const std::string& message);

// The message of exit status 3.
void printNoRecorder(int waitSeconds);

// "YYYY-MM-DD HH:MM:SS"; "(no time)" for a value that is not a time.
std::string timeText(const DateTime& time);

struct Folders {
    std::string data;
    std::string resources;
};

std::string mainIniPath(const Folders& folders);

// The data folder, the three language files and the language in use. On failure a message has
// been printed and `status` holds the exit status.
bool prepareFolders(const CliRequest& request, Folders& out, int& status);

// The data-folder lock of the commands that write there; refused: the holder is named, status 2.
bool lockDataFolder(DataDirectoryLock& lock, const Folders& folders, Command command, int& status);

// The recorder backend named by --device; not understood: a message, status 1; a path that can
// never lead to a recorder: its fault, status 2; one that may get a recorder later: its state is
// said and the command goes on to wait.
bool openBackend(const CliRequest& request, std::unique_ptr<HidBackend>& out, int& status);

// Status texts as lines on standard output, store problems on standard error.
class ConsoleListener final : public AcquisitionListener, public DataStoreListener {
public:
    void statusText(const std::u16string& text) override;
    void problem(const std::string& message) override;
};

// What one recorder needs of its own: its link, main.ini, the data store, the report queue and the
// acquisition, torn down acquisition first (which ends its worker). The link is bound to one
// interface of the backend, or takes the first recorder found when the path is empty.
class RecorderChain {
public:
    RecorderChain(HidBackend& backend, const std::string& interfacePath, const Folders& folders,
                  ConsoleListener& console, Clock& clock);

    Acquisition& acquisition() { return acquisition_; }
    ReportQueue& reports() { return reports_; }
    DataStore& store() { return store_; }
    LoggerLink& link() { return link_; }

private:
    LoggerLink link_;
    IniFile ini_;
    DataStore store_;
    ReportQueue reports_;
    Acquisition acquisition_;
};

// The data-folder lock, the recorder, the data store and the acquisition of one command that runs
// the acquisition chain, torn down in the right order (the acquisition first, which ends its
// worker; the lock last).
class AcquisitionContext {
public:
    // Takes the lock, opens the backend named by --device and sets up the chain over them, in this
    // order. Null when the lock or the backend cannot be had: the reason has been printed and
    // `status` holds the exit status (lockDataFolder(), openBackend()).
    static std::unique_ptr<AcquisitionContext>
    open(const CliRequest& request, const Folders& folders, Clock& clock, int& status);

    // The command's chain: bound to the interface given to bindFirst(), or the first recorder
    // found. Made at the first use.
    Acquisition& acquisition() { return first().acquisition(); }
    ReportQueue& reports() { return first().reports(); }
    DataStore& store() { return first().store(); }
    LoggerLink& link() { return first().link(); }
    // Binds the command's chain to one interface (chooseRecorder()); before its first use.
    void bindFirst(const std::string& interfacePath) { firstPath_ = interfacePath; }
    HidBackend& backend() { return *backend_; }

    // The interfaces the backend lists now, each a recorder of its own.
    std::vector<std::string> attachedInterfaces();
    // A chain of its own for the recorder at `interfacePath`, under the same lock and backend;
    // the context must outlive it.
    std::unique_ptr<RecorderChain> openChain(const std::string& interfacePath);

private:
    RecorderChain& first();

    AcquisitionContext(std::unique_ptr<DataDirectoryLock> lock, const Folders& folders,
                       std::unique_ptr<HidBackend> backend, Clock& clock);

    std::unique_ptr<DataDirectoryLock> lock_;
    std::unique_ptr<HidBackend> backend_;
    Folders folders_;
    Clock& clock_;
    ConsoleListener console_;
    // Shared by every chain: recorders registered within one second get identities of their own.
    IssuedIdentities issued_;
    std::string firstPath_;
    std::unique_ptr<RecorderChain> first_;
};

} // namespace veldrin::cli
