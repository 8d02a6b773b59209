#include "device/logger_link.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace veldrin {
namespace {

int writeOn(HidDevice* device, const Frame& frame) {
    if (device == nullptr) {
        return 0;
    }
    uint8_t report[kReportSize] = {};
    std::copy(frame.begin(), frame.end(), report + 1);
    return device->writeReport(report) != 0 ? 1 : 0;
}

int readOn(HidDevice* device, Frame& destination) {
    if (device == nullptr) {
        return 0;
    }
    uint8_t report[kReportSize] = {};
    if (device->readReport(report) == 0) {
        return 0;
    }
    std::copy(report + 1, report + kReportSize, destination.begin());
    return 1;
}

int readAcknowledgement(HidDevice* device) {
    Frame answer{};
    return readOn(device, answer) != 0 && isAcknowledgement(answer) ? 1 : 0;
}

} // namespace

LoggerLink::LoggerLink(HidBackend& backend) : backend_(backend) {
    replaceDevice(FindRecorder());
}

LoggerLink::LoggerLink(HidBackend& backend, std::string interfacePath)
    : backend_(backend), interfacePath_(std::move(interfacePath)) {
    replaceDevice(FindRecorder());
}

LoggerLink::~LoggerLink() = default;

std::shared_ptr<HidDevice> LoggerLink::FindRecorder() {
    std::string found;
    std::shared_ptr<HidDevice> device = searchRecorder(found);
    std::lock_guard lock(deviceMutex_);
    foundPath_ = std::move(found);
    return device;
}

std::string LoggerLink::foundPath() const {
    std::lock_guard lock(deviceMutex_);
    return foundPath_;
}

std::shared_ptr<HidDevice> LoggerLink::searchRecorder(std::string& found) {
    std::vector<std::string> paths;
    if (!backend_.listInterfaces(paths)) {
        return nullptr;
    }
    if (!interfacePath_.empty()) {
        // Bound to one interface: it alone is tried, and only while the backend lists it.
        const bool listed = std::find(paths.begin(), paths.end(), interfacePath_) != paths.end();
        paths.assign(listed ? 1 : 0, interfacePath_);
    }
    for (const std::string& path : paths) {
        std::unique_ptr<HidDevice> device = backend_.open(path);
        if (!device) {
            continue;
        }
        HidAttributes attributes;
        if (!device->attributes(attributes)) {
            return nullptr; // an interface whose attributes cannot be read ends the search
        }
        if (attributes.isRecorder()) {
            found = path;
            return std::shared_ptr<HidDevice>(std::move(device));
        }
    }
    return nullptr;
}

int LoggerLink::CheckPresence() {
    std::shared_ptr<HidDevice> found = FindRecorder();
    replaceDevice(found);
    HidAttributes attributes;
    if (found && found->attributes(attributes)) {
        return 1;
    }
    replaceDevice(nullptr);
    return 0;
}

std::shared_ptr<HidDevice> LoggerLink::device() const {
    std::lock_guard lock(deviceMutex_);
    return device_;
}

void LoggerLink::replaceDevice(std::shared_ptr<HidDevice> device) {
    std::shared_ptr<HidDevice> old;
    {
        std::lock_guard lock(deviceMutex_);
        old = std::exchange(device_, std::move(device));
    }
    // `old` is closed here unless a transfer still holds it; then that transfer closes it.
}

bool LoggerLink::hasDevice() const {
    return device() != nullptr;
}

int LoggerLink::WriteFrame(const Frame& frame) {
    return writeOn(device().get(), frame);
}

int LoggerLink::ReadFrame(Frame& destination) {
    return readOn(device().get(), destination);
}

// Each memory command holds one handle for its whole exchange, so a presence check that replaces
// the handle meanwhile cannot split an exchange across two handles.
int LoggerLink::ReadMemory(uint16_t address, uint8_t (&data)[32]) {
    const std::shared_ptr<HidDevice> held = device();
    if (writeOn(held.get(), commandFrame(RecorderCommand::read32, address)) == 0) {
        return 0;
    }
    uint8_t received[32];
    for (int part = 0; part < 4; ++part) {
        Frame frame{};
        if (readOn(held.get(), frame) == 0) {
            return 0;
        }
        std::copy(frame.begin(), frame.end(), received + part * 8);
    }
    std::memcpy(data, received, sizeof received);
    return 1;
}

int LoggerLink::WriteMemory(uint16_t address, const uint8_t (&data)[32]) {
    const std::shared_ptr<HidDevice> held = device();
    if (writeOn(held.get(), commandFrame(RecorderCommand::write32, address)) == 0) {
        return 0;
    }
    for (int part = 0; part < 4; ++part) {
        Frame frame{};
        std::copy(data + part * 8, data + part * 8 + 8, frame.begin());
        if (writeOn(held.get(), frame) == 0) {
            return 0;
        }
    }
    return readAcknowledgement(held.get());
}

int LoggerLink::WriteByte(uint16_t address, uint8_t value) {
    const std::shared_ptr<HidDevice> held = device();
    if (writeOn(held.get(), commandFrame(RecorderCommand::writeByte, address, value)) == 0) {
        return 0;
    }
    return readAcknowledgement(held.get());
}

int LoggerLink::ReadHeader(HeaderBytes& header) {
    for (int part = 0; part < 8; ++part) {
        uint8_t chunk[32];
        if (ReadMemory(static_cast<uint16_t>(part * 32), chunk) == 0) {
            return 0;
        }
        std::copy(chunk, chunk + 32, header.begin() + part * 32);
    }
    return 1;
}

} // namespace veldrin
