#pragma once
// The one small interface behind which every way of reaching a recorder sits: the real device
// through hidapi, the in-process software recorder, and a recorder in another process over a
// Unix-domain socket. Reports are the 9-byte HID reports of the wire (byte 0 the report ID 0,
// bytes 1 to 8 the frame) in both directions, whatever the backend has to add or strip.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace veldrin {

constexpr std::size_t kReportSize = 9;
constexpr std::size_t kFrameSize = 8;
constexpr int kWriteTimeoutMs = 50;
constexpr int kReadTimeoutMs = 1200;

constexpr uint16_t kRecorderVendorId = 0x1941;
constexpr uint16_t kRecorderProductId = 0x8021;
constexpr uint16_t kRecorderRelease = 0x0100;

struct HidAttributes {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t release = 0;

    bool isRecorder() const {
        return vendorId == kRecorderVendorId && productId == kRecorderProductId &&
               release == kRecorderRelease;
    }
};

// An open device interface. Closed when destroyed.
class HidDevice {
public:
    virtual ~HidDevice() = default;
    // Sends one 9-byte output report within kWriteTimeoutMs where the backend can bound the
    // write (hidapi cannot: see hidapi_backend.cpp); 1 or 0.
    virtual int writeReport(const uint8_t (&report)[kReportSize]) = 0;
    // Receives one input report within kReadTimeoutMs into a buffer the caller has zeroed;
    // positions the device did not fill stay 0. 1 or 0 (time-out, error, unplugged).
    virtual int readReport(uint8_t (&report)[kReportSize]) = 0;
    // The device's attributes, asked of the open handle; false when the query fails.
    virtual bool attributes(HidAttributes& out) = 0;
};

class HidBackend {
public:
    virtual ~HidBackend() = default;
    // Paths of the present HID interfaces worth trying, in a stable order. False when the
    // enumeration itself fails.
    virtual bool listInterfaces(std::vector<std::string>& paths) = 0;
    // Opens one interface; nullptr when it cannot be opened.
    virtual std::unique_ptr<HidDevice> open(const std::string& path) = 0;
};

// The real device through hidapi (hidraw on Linux).
std::unique_ptr<HidBackend> makeHidapiBackend();
// The real device through the system's own HID access: hidapi, or hid.dll on Windows.
std::unique_ptr<HidBackend> makeHidBackend();
// A recorder listening on a Unix-domain stream socket (see socket_backend.cpp for the protocol);
// null where the system has no such sockets.
std::unique_ptr<HidBackend> makeSocketBackend(const std::string& socketPath);
// Several recorders, one per socket path, listed in the order given.
std::unique_ptr<HidBackend> makeSocketBackend(const std::vector<std::string>& socketPaths);
// Every socket in a folder is a recorder: each listing reads the folder anew, so recorders come
// and go as their sockets appear and vanish. Null where the system has no such sockets.
std::unique_ptr<HidBackend> makeSocketFolderBackend(const std::string& folder);

} // namespace veldrin
