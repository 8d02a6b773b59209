#include "chain_rig.h"

#include <chrono>
#include <stdexcept>

namespace veldrin::testing {

sim::RecorderConfig ChainRig::blankRecorder(uint32_t records) {
    sim::RecorderConfig config;
    config.circularMode = 0x02;
    config.interval = 1;
    config.preloadRecords = records;
    config.series = {{21.5, 40}, {22.0, 41}, {22.5, 42}};
    return config;
}

ChainRig::ChainRig(sim::RecorderConfig config) {
    recorder = std::make_shared<sim::SoftwareRecorder>(config, clock);
    recorder->setFrameObserver([this](const Frame& f) { frames.push_back(f); });
    backend = sim::makeSimBackend(recorder);
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
        if (reports.waitFor(report, acquisition->workerBusy() ? 100ms : 20ms)) {
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
