#pragma once
// A scripted HID backend for tests of the recorder link: interfaces with given attributes, a log of
// every output report and a queue of input reports to answer with.

#include "device/hid_backend.h"

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veldrin::testing {

using Report = std::array<uint8_t, kReportSize>;

struct FakeInterfaceState {
    HidAttributes attributes{kRecorderVendorId, kRecorderProductId, kRecorderRelease};
    bool opens = true;
    bool attributesWork = true;
    std::vector<Report> written;
    std::deque<std::vector<uint8_t>> answers; // input reports; shorter ones fill only their part
    int failWritesFrom = -1;                  // index of the first write that fails
    int opened = 0;
    int alive = 0; // open handles not yet closed
    // Called after each write with the report, so a test can queue the answer a device would give.
    std::function<void(FakeInterfaceState&, const Report&)> onWrite;
};

class FakeDevice final : public HidDevice {
public:
    explicit FakeDevice(std::shared_ptr<FakeInterfaceState> s) : s_(std::move(s)) { ++s_->alive; }
    ~FakeDevice() override { --s_->alive; }
    int writeReport(const uint8_t (&report)[kReportSize]) override {
        if (s_->failWritesFrom >= 0 && static_cast<int>(s_->written.size()) >= s_->failWritesFrom) {
            return 0;
        }
        Report r{};
        std::copy(report, report + kReportSize, r.begin());
        s_->written.push_back(r);
        if (s_->onWrite) {
            s_->onWrite(*s_, r);
        }
        return 1;
    }
    int readReport(uint8_t (&report)[kReportSize]) override {
        if (s_->answers.empty()) {
            return 0;
        }
        const std::vector<uint8_t> a = std::move(s_->answers.front());
        s_->answers.pop_front();
        std::copy(a.begin(), a.begin() + std::min(a.size(), kReportSize), report);
        return 1;
    }
    bool attributes(HidAttributes& out) override {
        if (!s_->attributesWork) {
            return false;
        }
        out = s_->attributes;
        return true;
    }

private:
    std::shared_ptr<FakeInterfaceState> s_;
};

class FakeBackend final : public HidBackend {
public:
    std::shared_ptr<FakeInterfaceState> add(const std::string& path) {
        auto s = std::make_shared<FakeInterfaceState>();
        interfaces.emplace_back(path, s);
        return s;
    }
    bool listInterfaces(std::vector<std::string>& paths) override {
        ++enumerations;
        if (enumerationFails) {
            return false;
        }
        paths.clear();
        for (const auto& [path, s] : interfaces) {
            paths.push_back(path);
        }
        return true;
    }
    std::unique_ptr<HidDevice> open(const std::string& path) override {
        for (const auto& [p, s] : interfaces) {
            if (p == path && s->opens) {
                ++s->opened;
                return std::make_unique<FakeDevice>(s);
            }
        }
        return nullptr;
    }

    std::vector<std::pair<std::string, std::shared_ptr<FakeInterfaceState>>> interfaces;
    bool enumerationFails = false;
    int enumerations = 0;
};

// An input report carrying a frame (report ID 0 first).
inline std::vector<uint8_t> frameReport(std::initializer_list<uint8_t> frame) {
    std::vector<uint8_t> r(1 + frame.size(), 0);
    std::copy(frame.begin(), frame.end(), r.begin() + 1);
    return r;
}

} // namespace veldrin::testing
