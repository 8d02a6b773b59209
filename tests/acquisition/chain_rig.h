#pragma once
// A whole acquisition chain on simulated time: a software recorder behind the in-process backend,
// the link, a data store in a temporary folder and the window-side logic, with a loop that hands
// every report to the reaction as the window's message loop would.

#include "acquisition/acquisition.h"
#include "core/clock.h"
#include "sim/sim_backend.h"
#include "sim/software_recorder.h"
#include "store/data_store.h"
#include "store/ini_file.h"
#include "support/test_support.h"

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace veldrin::testing {

// 2011-06-15 14:30:12 UTC.
constexpr int64_t kChainStart = 1308148212;

// The manual clock, with a hook on pauses so a test can act in the middle of one.
class HookedClock final : public Clock {
public:
    int64_t unixSeconds() override { return base.unixSeconds(); }
    int64_t steadyMs() override { return base.steadyMs(); }
    void sleepMs(int64_t ms) override {
        base.sleepMs(ms);
        if (onSleep) {
            onSleep(ms);
        }
    }
    ManualClock base{kChainStart};
    std::function<void(int64_t)> onSleep;
};

// Passes every transfer to the software recorder, except that while `mute` is set the recorder
// takes reports but never answers (it stays on the bus): each read fails after its time-out.
class MutableBackend final : public HidBackend {
public:
    MutableBackend(std::unique_ptr<HidBackend> inner, Clock& clock)
        : inner_(std::move(inner)), clock_(clock) {}
    bool listInterfaces(std::vector<std::string>& paths) override {
        if (onList) {
            onList();
        }
        return inner_->listInterfaces(paths);
    }
    std::unique_ptr<HidDevice> open(const std::string& path) override;
    std::atomic<bool> mute{false};
    // Called at the start of every device search (a presence check), on the searching thread.
    std::function<void()> onList;

private:
    std::unique_ptr<HidBackend> inner_;
    Clock& clock_;
};

class ChainRig {
public:
    // The data folder is made under `folderRoot`.
    explicit ChainRig(sim::RecorderConfig config = blankRecorder(300),
                      const std::string& folderRoot = "/tmp");
    ~ChainRig();

    static sim::RecorderConfig blankRecorder(uint32_t records);

    // A new program start on the same data folder and recorder.
    void restartProgram();
    // Runs the presence poll and hands reports to the reaction until the chain is idle.
    void poll();
    // Hands reports over until the worker is idle and no report is left.
    void drain();
    // The codes seen since the last call, runs of progress reports (6) folded into one.
    std::vector<int> takeCodes();

    std::string iniText() const { return readFile(dir.file("main.ini")); }
    std::string dataFile(int n) const { return dir.file(std::to_string(n) + ".dat"); }

    ScopedTimeZone tz{"UTC0"};
    HookedClock clock;
    TempDir dir;
    std::shared_ptr<sim::SoftwareRecorder> recorder;
    std::unique_ptr<MutableBackend> backend;
    std::unique_ptr<IniFile> ini;
    std::unique_ptr<DataStore> store;
    std::unique_ptr<LoggerLink> link;
    ReportQueue reports;
    std::unique_ptr<Acquisition> acquisition;
    std::vector<Frame> frames; // every host frame the recorder took

private:
    void startProgram();
    std::vector<int> codes_;
};

} // namespace veldrin::testing
