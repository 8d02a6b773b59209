#pragma once
// A recorder written straight from the command protocol, sharing no code with the software
// recorder: a flat memory, the three commands, the acknowledgement, presence, and the faults
// numbered as the software recorder numbers them. The protocol tests run against it as the
// reference the other backends must match.

#include "device/hid_backend.h"
#include "device/logger_header.h"
#include "sim/software_recorder.h"

#include <algorithm>
#include <array>
#include <deque>
#include <memory>
#include <vector>

namespace veldrin::testing {

struct FakeRecorderState {
    std::vector<uint8_t> memory = std::vector<uint8_t>(kMemorySize, 0xFF);
    HidAttributes attributes{kRecorderVendorId, kRecorderProductId, kRecorderRelease};
    sim::FaultPlan faults;
    bool plugged = true;
    int generation = 0;
    uint64_t frames = 0;
    bool wrongAckDone = false;
    bool shortDone = false;
    bool hangUpDone = false;
    std::vector<Frame> seen;
};

class FakeRecorderDevice final : public HidDevice {
public:
    explicit FakeRecorderDevice(std::shared_ptr<FakeRecorderState> s)
        : s_(std::move(s)), generation_(s_->generation) {}

    int writeReport(const uint8_t (&report)[kReportSize]) override {
        if (!alive()) {
            return 0;
        }
        const uint64_t n = ++s_->frames;
        Frame f;
        std::copy(report + 1, report + kReportSize, f.begin());
        s_->seen.push_back(f);
        if (s_->faults.unplugFrame == n) {
            s_->plugged = false;
            ++s_->generation;
            return 1;
        }
        if (s_->faults.silentFrame == n) {
            dataLeft_ = 0;
            return 1;
        }
        if (dataLeft_ > 0) {
            std::copy(f.begin(), f.end(), data_.begin() + (4 - dataLeft_) * 8);
            if (--dataLeft_ == 0) {
                std::copy(data_.begin(), data_.end(), s_->memory.begin() + writeAt_);
                answer(ack(n), n);
            }
            return 1;
        }
        const bool command = f[3] == 0x20 && f[7] == 0x20 && f[4] == f[0];
        const int address = f[1] * 256 + f[2];
        if (command && f[0] == 0xA1) {
            for (int part = 0; part < 4; ++part) {
                std::vector<uint8_t> r(kReportSize, 0);
                std::copy_n(s_->memory.begin() + address + part * 8, 8, r.begin() + 1);
                answer(r, n);
            }
        } else if (command && f[0] == 0xA0) {
            writeAt_ = address;
            dataLeft_ = 4;
        } else if (command && f[0] == 0xA2) {
            s_->memory[static_cast<std::size_t>(address)] = f[5];
            answer(ack(n), n);
        }
        return 1;
    }

    int readReport(uint8_t (&report)[kReportSize]) override {
        if (!alive() || answers_.empty()) {
            return 0;
        }
        const std::vector<uint8_t> r = answers_.front();
        answers_.pop_front();
        if (r.empty()) {
            cut_ = true; // the connection was cut in this report
            return 0;
        }
        std::copy(r.begin(), r.end(), report);
        return 1;
    }

    bool attributes(HidAttributes& out) override {
        if (!alive()) {
            return false;
        }
        out = s_->attributes;
        return true;
    }

private:
    bool alive() const { return !cut_ && s_->plugged && generation_ == s_->generation; }

    std::vector<uint8_t> ack(uint64_t n) {
        std::vector<uint8_t> r(kReportSize, 0xA5);
        r[0] = 0;
        if (s_->faults.wrongAckFrame != 0 && n >= s_->faults.wrongAckFrame && !s_->wrongAckDone) {
            s_->wrongAckDone = true;
            r[8] = 0;
        }
        return r;
    }

    void answer(std::vector<uint8_t> r, uint64_t n) {
        if (s_->faults.shortReportFrame != 0 && n >= s_->faults.shortReportFrame &&
            !s_->shortDone) {
            s_->shortDone = true;
            r.resize(s_->faults.shortReportLength);
        }
        if (s_->faults.hangUpFrame != 0 && n >= s_->faults.hangUpFrame && !s_->hangUpDone) {
            s_->hangUpDone = true;
            r.clear();
        }
        answers_.push_back(std::move(r));
    }

    std::shared_ptr<FakeRecorderState> s_;
    int generation_;
    bool cut_ = false;
    int writeAt_ = 0;
    int dataLeft_ = 0;
    std::array<uint8_t, 32> data_{};
    std::deque<std::vector<uint8_t>> answers_;
};

class FakeRecorderBackend final : public HidBackend {
public:
    explicit FakeRecorderBackend(std::shared_ptr<FakeRecorderState> s) : s_(std::move(s)) {}
    bool listInterfaces(std::vector<std::string>& paths) override {
        paths.clear();
        if (s_->plugged) {
            paths.emplace_back("fake");
        }
        return true;
    }
    std::unique_ptr<HidDevice> open(const std::string&) override {
        if (!s_->plugged) {
            return nullptr;
        }
        return std::make_unique<FakeRecorderDevice>(s_);
    }

private:
    std::shared_ptr<FakeRecorderState> s_;
};

} // namespace veldrin::testing
