#include "chain_rig.h"

#include <chrono>
#include <stdexcept>

namespace veldrin::testing {

namespace {

class MutableDevice final : public HidDevice {
public:
    MutableDevice(std::unique_ptr<HidDevice> inner, const std::atomic<bool>& mute, Clock& clock)
        : inner_(std::move(inner)), mute_(mute), clock_(clock) {}
    int writeReport(const uint8_t (&report)[kReportSize]) override {
        return inner_->writeReport(report);
    }
    int readReport(uint8_t (&report)[kReportSize]) override {
        if (mute_.load()) {
            clock_.sleepMs(kReadTimeoutMs);
            return 0;
        }
        return inner_->readReport(report);
    }
    bool attributes(HidAttributes& out) override { return inner_->attributes(out); }

private:
    std::unique_ptr<HidDevice> inner_;
    const std::atomic<bool>& mute_;
    Clock& clock_;
};

} // namespace

std::unique_ptr<HidDevice> MutableBackend::open(const std::string& path) {
    std::unique_ptr<HidDevice> device = inner_->open(path);
    if (!device) {
        return nullptr;
    }
    return std::make_unique<MutableDevice>(std::move(device), mute, clock_);
}

sim::RecorderConfig ChainRig::blankRecorder(uint32_t records) {
    sim::RecorderConfig config;
    config.circularMode = 0x02;
    config.interval = 1;
    config.preloadRecords = records;
    config.series = {{21.5, 40}, {22.0, 41}, {22.5, 42}};
    return config;
}

ChainRig::ChainRig(sim::RecorderConfig config, const std::string& folderRoot) : dir(folderRoot) {
    recorder = std::make_shared<sim::SoftwareRecorder>(config, clock);
    recorder->setFrameObserver([this](const Frame& f) { frames.push_back(f); });
    backend = std::make_unique<MutableBackend>(sim::makeSimBackend(recorder), clock);
    startProgram();
}

ChainRig::~ChainRig() {
    acquisition.reset();
    recorder->setFrameObserver(nullptr);
}

void ChainRig::startProgram() {
    ini = std::make_unique<IniFile>(dir.file("main.ini"));
    store = std::make_unique<DataStore>(dir.path(), *ini, clock);
    link = std::make_unique<LoggerLink>(*backend);
    acquisition = std::make_unique<Acquisition>(*link, *store, clock, reports);
    const int32_t number = store->loadAtStartUp();
    if (number >= 0) {
        acquisition->setCurrentRecorder(number);
    }
}

void ChainRig::restartProgram() {
    drain();
    acquisition.reset();
    link.reset();
    store.reset();
    ini.reset();
    startProgram();
}

void ChainRig::poll() {
    acquisition->PollPresence();
    drain();
}

void ChainRig::drain() {
    using namespace std::chrono_literals;
    const auto giveUp = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < giveUp) {
        LoggerReport report;
        // An idle worker has posted all it will: its last report comes before the flag clears.
        if (reports.waitFor(report, acquisition->workerBusy() ? 100ms : 0ms)) {
            codes_.push_back(report.code);
            acquisition->HandleLoggerStatus(report.number, report.code);
        } else if (!acquisition->workerBusy()) {
            return;
        }
    }
    throw std::runtime_error("the acquisition chain did not come to rest");
}

std::vector<int> ChainRig::takeCodes() {
    std::vector<int> folded;
    for (int code : codes_) {
        if (code == 6 && !folded.empty() && folded.back() == 6) {
            continue;
        }
        folded.push_back(code);
    }
    codes_.clear();
    return folded;
}

} // namespace veldrin::testing
