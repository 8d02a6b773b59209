#pragma once
// LoggerLink: the one object that owns the recorder's handle, moves frames, checks presence and
// carries the memory commands. Not thread-safe for transfers (one thread talks to the recorder at
// a time, by the busy protocol of the acquisition layer), but the handle may be replaced by one
// thread while another still finishes a transfer on the old one: each transfer holds the device
// by shared ownership, so the old handle is closed only when its last transfer has ended.

#include "device/frames.h"
#include "device/hid_backend.h"
#include "device/logger_header.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace veldrin {

using HeaderBytes = HeaderImage;

class LoggerLink {
public:
    // Searches for the recorder at once, as the link always starts with a search.
    explicit LoggerLink(HidBackend& backend);
    // A link to one interface of a backend that presents several recorders: the search tries
    // only that interface, so that each recorder has a link of its own.
    LoggerLink(HidBackend& backend, std::string interfacePath);
    virtual ~LoggerLink();
    LoggerLink(const LoggerLink&) = delete;
    LoggerLink& operator=(const LoggerLink&) = delete;

    // Open handle to the first interface that is the recorder (only the link's own interface when
    // it has one), or nullptr.
    std::shared_ptr<HidDevice> FindRecorder();
    // Opens the recorder anew, keeps the new handle and asks it for its attributes: 1 or 0.
    int CheckPresence();

    int WriteFrame(const Frame& frame);
    int ReadFrame(Frame& destination);

    int ReadMemory(uint16_t address, uint8_t (&data)[32]);
    int WriteMemory(uint16_t address, const uint8_t (&data)[32]);
    int WriteByte(uint16_t address, uint8_t value);
    int ReadHeader(HeaderBytes& header);

    bool hasDevice() const;
    // The interface this link is bound to; empty: the first recorder found.
    const std::string& interfacePath() const { return interfacePath_; }
    // The interface of the recorder the last search found; empty when it found none.
    std::string foundPath() const;

    // Recorder number of the recorder that is or was last connected; -1 until one is known.
    std::atomic<int32_t> currentRecorder{-1};

private:
    std::shared_ptr<HidDevice> searchRecorder(std::string& found);
    std::shared_ptr<HidDevice> device() const;
    void replaceDevice(std::shared_ptr<HidDevice> device);

    HidBackend& backend_;
    const std::string interfacePath_;
    mutable std::mutex deviceMutex_;
    std::shared_ptr<HidDevice> device_;
    std::string foundPath_;
};

} // namespace veldrin
