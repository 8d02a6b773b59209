#include "sim/sim_backend.h"

#include <algorithm>

namespace veldrin::sim {
namespace {

class SimDevice final : public HidDevice {
public:
    SimDevice(std::shared_ptr<SoftwareRecorder> recorder, std::unique_ptr<RecorderSession> session)
        : recorder_(std::move(recorder)), session_(std::move(session)) {}

    int writeReport(const uint8_t (&report)[kReportSize]) override {
        if (!session_->receive(report)) {
            return 0;
        }
        recorder_->waitAnswerDelay();
        return 1;
    }

    int readReport(uint8_t (&report)[kReportSize]) override {
        if (!session_->alive()) {
            return 0; // a dead handle fails at once
        }
        InputReport answer;
        if (!session_->nextAnswer(answer)) {
            // Nothing will come: fail now, but let simulated time pass as the wait would have.
            recorder_->clock().sleepMs(kReadTimeoutMs);
            return 0;
        }
        if (answer.hangUp) {
            session_->close();
            return 0;
        }
        std::copy(answer.bytes, answer.bytes + std::min(answer.length, kReportSize), report);
        return 1;
    }

    bool attributes(HidAttributes& out) override {
        if (!session_->alive()) {
            return false;
        }
        out = recorder_->attributes();
        return true;
    }

private:
    std::shared_ptr<SoftwareRecorder> recorder_;
    std::unique_ptr<RecorderSession> session_;
};

class SimBackend final : public HidBackend {
public:
    explicit SimBackend(std::vector<std::shared_ptr<SoftwareRecorder>> recorders)
        : recorders_(std::move(recorders)) {}

    bool listInterfaces(std::vector<std::string>& paths) override {
        paths.clear();
        for (std::size_t i = 0; i < recorders_.size(); ++i) {
            if (recorders_[i]->plugged()) {
                paths.push_back(simInterfacePath(i));
            }
        }
        return true;
    }

    std::unique_ptr<HidDevice> open(const std::string& path) override {
        const std::shared_ptr<SoftwareRecorder> recorder = recorderAt(path);
        if (!recorder) {
            return nullptr;
        }
        std::unique_ptr<RecorderSession> session = recorder->openSession();
        if (!session) {
            return nullptr;
        }
        return std::make_unique<SimDevice>(recorder, std::move(session));
    }

private:
    std::shared_ptr<SoftwareRecorder> recorderAt(const std::string& path) const {
        for (std::size_t i = 0; i < recorders_.size(); ++i) {
            if (path == simInterfacePath(i)) {
                return recorders_[i];
            }
        }
        return nullptr;
    }

    std::vector<std::shared_ptr<SoftwareRecorder>> recorders_;
};

} // namespace

std::string simInterfacePath(std::size_t index) {
    return "sim:" + std::to_string(index);
}

std::unique_ptr<HidBackend> makeSimBackend(std::shared_ptr<SoftwareRecorder> recorder) {
    return makeSimBackend(std::vector<std::shared_ptr<SoftwareRecorder>>{std::move(recorder)});
}

std::unique_ptr<HidBackend>
makeSimBackend(std::vector<std::shared_ptr<SoftwareRecorder>> recorders) {
    return std::make_unique<SimBackend>(std::move(recorders));
}

} // namespace veldrin::sim
