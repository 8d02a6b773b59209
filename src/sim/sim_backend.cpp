#include "sim/sim_backend.h"

#include <algorithm>

namespace veldrin::sim {
namespace {

class SimDevice final : public HidDevice {
public:
    SimDevice(std::shared_ptr<SoftwareRecorder> recorder, std::unique_ptr<RecorderSession> session)
        : recorder_(std::move(recorder)), session_(std::move(session)) {}

    int writeReport(const uint8_t (&report)[kReportSize]) override {
        return session_->receive(report) ? 1 : 0;
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
    explicit SimBackend(std::shared_ptr<SoftwareRecorder> recorder)
        : recorder_(std::move(recorder)) {}

    bool listInterfaces(std::vector<std::string>& paths) override {
        paths.clear();
        if (recorder_->plugged()) {
            paths.emplace_back(kSimInterfacePath);
        }
        return true;
    }

    std::unique_ptr<HidDevice> open(const std::string& path) override {
        if (path != kSimInterfacePath) {
            return nullptr;
        }
        std::unique_ptr<RecorderSession> session = recorder_->openSession();
        if (!session) {
            return nullptr;
        }
        return std::make_unique<SimDevice>(recorder_, std::move(session));
    }

private:
    std::shared_ptr<SoftwareRecorder> recorder_;
};

} // namespace

std::unique_ptr<HidBackend> makeSimBackend(std::shared_ptr<SoftwareRecorder> recorder) {
    return std::make_unique<SimBackend>(std::move(recorder));
}

} // namespace veldrin::sim
