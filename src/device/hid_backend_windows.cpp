// The real recorder on Windows through hid.dll and SetupAPI. Windows hands over whole reports
// with the report ID in byte 0, in both directions, padded to the lengths the device declares.
// Reads and writes are overlapped, so that the time-outs of the other backends hold here too; a
// transfer that runs out of time is cancelled before its buffer goes away.

#include "device/hid_backend.h"
#include "device/hid_report.h"

#include "core/wide_text_windows.h"

#include <algorithm>
#include <vector>

// The HID headers need windows.h first, and declare C functions without saying so.
// clang-format off
#include <windows.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}
// clang-format on

namespace veldrin {
namespace {

struct ReportLengths {
    std::size_t input = kReportSize;
    std::size_t output = kReportSize;
};

ReportLengths reportLengthsOf(HANDLE device) {
    ReportLengths lengths;
    PHIDP_PREPARSED_DATA data = nullptr;
    if (HidD_GetPreparsedData(device, &data)) {
        HIDP_CAPS caps{};
        if (HidP_GetCaps(data, &caps) == HIDP_STATUS_SUCCESS) {
            lengths.input = std::max<std::size_t>(caps.InputReportByteLength, 1);
            lengths.output = std::max<std::size_t>(caps.OutputReportByteLength, kReportSize);
        }
        HidD_FreePreparsedData(data);
    }
    return lengths;
}

// Runs one overlapped transfer to its end or its time-out; the bytes moved, or -1.
long finishTransfer(HANDLE device, OVERLAPPED& overlapped, BOOL started, DWORD timeoutMs) {
    DWORD moved = 0;
    if (!started && GetLastError() != ERROR_IO_PENDING) {
        return -1;
    }
    if (WaitForSingleObject(overlapped.hEvent, timeoutMs) != WAIT_OBJECT_0) {
        CancelIo(device);
        GetOverlappedResult(device, &overlapped, &moved, TRUE); // the buffer is free after this
        return -1;
    }
    return GetOverlappedResult(device, &overlapped, &moved, FALSE) ? static_cast<long>(moved) : -1;
}

class WindowsHidDevice final : public HidDevice {
public:
    WindowsHidDevice(HANDLE device, ReportLengths lengths)
        : device_(device), lengths_(lengths), event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~WindowsHidDevice() override {
        CancelIo(device_);
        CloseHandle(device_);
        if (event_ != nullptr) {
            CloseHandle(event_);
        }
    }
    WindowsHidDevice(const WindowsHidDevice&) = delete;
    WindowsHidDevice& operator=(const WindowsHidDevice&) = delete;

    int writeReport(const uint8_t (&report)[kReportSize]) override {
        std::vector<uint8_t> buffer(lengths_.output, 0);
        std::copy_n(report, kReportSize, buffer.begin());
        OVERLAPPED overlapped = freshOverlapped();
        const BOOL started = WriteFile(device_, buffer.data(), static_cast<DWORD>(buffer.size()),
                                       nullptr, &overlapped);
        return finishTransfer(device_, overlapped, started, kWriteTimeoutMs) > 0 ? 1 : 0;
    }

    int readReport(uint8_t (&report)[kReportSize]) override {
        std::vector<uint8_t> buffer(lengths_.input, 0);
        OVERLAPPED overlapped = freshOverlapped();
        const BOOL started = ReadFile(device_, buffer.data(), static_cast<DWORD>(buffer.size()),
                                      nullptr, &overlapped);
        const long n = finishTransfer(device_, overlapped, started, kReadTimeoutMs);
        if (n <= 0) {
            return 0;
        }
        placeInputReport(buffer.data(), static_cast<std::size_t>(n), ReportIdByte::included,
                         report);
        return 1;
    }

    bool attributes(HidAttributes& out) override {
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof attributes;
        if (!HidD_GetAttributes(device_, &attributes)) {
            return false;
        }
        out.vendorId = attributes.VendorID;
        out.productId = attributes.ProductID;
        out.release = attributes.VersionNumber;
        return true;
    }

private:
    OVERLAPPED freshOverlapped() {
        OVERLAPPED overlapped{};
        ResetEvent(event_);
        overlapped.hEvent = event_;
        return overlapped;
    }

    HANDLE device_;
    ReportLengths lengths_;
    HANDLE event_;
};

std::vector<std::string> presentHidInterfaces() {
    GUID hidClass{};
    HidD_GetHidGuid(&hidClass);
    std::vector<std::string> paths;
    HDEVINFO set =
        SetupDiGetClassDevsW(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return paths;
    }
    SP_DEVICE_INTERFACE_DATA item{};
    item.cbSize = sizeof item;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &hidClass, i, &item); ++i) {
        DWORD needed = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &item, nullptr, 0, &needed, nullptr);
        if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
            continue;
        }
        std::vector<uint8_t> storage(needed, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (SetupDiGetDeviceInterfaceDetailW(set, &item, detail, needed, nullptr, nullptr)) {
            paths.push_back(narrow(detail->DevicePath));
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
}

// Asked without read or write access, which Windows grants even for devices it holds itself.
bool isRecorderInterface(const std::string& path) {
    HANDLE device = CreateFileW(widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        return false;
    }
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    const bool recorder = HidD_GetAttributes(device, &attributes) &&
                          attributes.VendorID == kRecorderVendorId &&
                          attributes.ProductID == kRecorderProductId;
    CloseHandle(device);
    return recorder;
}

class WindowsHidBackend final : public HidBackend {
public:
    bool listInterfaces(std::vector<std::string>& paths) override {
        paths.clear();
        for (const std::string& path : presentHidInterfaces()) {
            if (isRecorderInterface(path)) {
                paths.push_back(path);
            }
        }
        std::sort(paths.begin(), paths.end());
        return true;
    }

    std::unique_ptr<HidDevice> open(const std::string& path) override {
        HANDLE device = CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
        if (device == INVALID_HANDLE_VALUE) {
            return nullptr;
        }
        return std::make_unique<WindowsHidDevice>(device, reportLengthsOf(device));
    }
};

} // namespace

std::unique_ptr<HidBackend> makeHidBackend() {
    return std::make_unique<WindowsHidBackend>();
}

} // namespace veldrin
