#include "view_rig.h"

#include "store/data_file.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

namespace veldrin::testing {

namespace {

sim::RecorderConfig blankRecorder() {
    sim::RecorderConfig config;
    config.circularMode = 0x02;
    config.interval = 1;
    config.preloadRecords = 300;
    config.series = {{21.5, 40}, {22.0, 41}, {22.5, 42}};
    return config;
}

constexpr qint64 kPumpBoundMs = 60000;

} // namespace

ViewRig::ViewRig(bool plugged, int64_t start, int count)
    : clock(start), recorder(std::make_shared<sim::SoftwareRecorder>(blankRecorder(), clock)) {
    if (!plugged) {
        recorder->unplug();
    }
    recorders.push_back(recorder);
    while (static_cast<int>(recorders.size()) < count) {
        recorders.push_back(std::make_shared<sim::SoftwareRecorder>(blankRecorder(), clock));
        recorders.back()->unplug();
    }
}

ViewRig::~ViewRig() {
    view_.reset();
}

CVeldrinView& ViewRig::start() {
    view_.reset();
    ViewStartup startup;
    startup.dataFolder = dir.path();
    startup.clock = &clock;
    startup.prompts = &prompts;
    startup.backend = std::shared_ptr<HidBackend>(
        recorders.size() == 1 ? sim::makeSimBackend(recorder) : sim::makeSimBackend(recorders));
    startup.runTimer = false;
    view_ = std::make_unique<CVeldrinView>(startup, frame);
    view_->resize(900, 600);
    if (!view_->initialUpdate()) {
        throw std::runtime_error("start-up failed");
    }
    view_->show();
    QCoreApplication::processEvents();
    return *view_;
}

bool ViewRig::pumpUntil(const std::function<bool()>& done) {
    QElapsedTimer elapsed;
    elapsed.start();
    QCoreApplication::processEvents();
    while (!done()) {
        if (elapsed.elapsed() > kPumpBoundMs) {
            return false;
        }
        // Wakes the wait below even when no report comes.
        QTimer::singleShot(20, [] {});
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    QCoreApplication::processEvents();
    return true;
}

bool ViewRig::pumpUntilIdle() {
    return pumpUntil([this] { return !view_->session().busy(); });
}

void ViewRig::tick() {
    clock.advanceMs(1000);
    view_->onTick();
}

void writeDataFile(const std::string& path, const RecorderSettings& settings,
                   const RecordList& records) {
    writeFile(path, encodeDataFile(settings, records, 0));
}

HistoryRecord recordAt(const DateTime& time, double celsius, int humidity) {
    HistoryRecord r;
    r.setTime(time);
    r.setDownloadTime(time.plusMinutes(30));
    r.temperature = celsius;
    r.humidity = static_cast<int8_t>(humidity);
    r.interval = 10;
    return r;
}

} // namespace veldrin::testing
