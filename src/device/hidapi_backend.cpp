// The real recorder through hidapi. This is the only file that sees hidapi.h.
//
// Write time-out: the 50 ms bound of a frame write cannot be kept here. hid_write on hidraw is a
// plain blocking write() on the device node, hidapi offers no write with a time-out and does not
// hand out the descriptor, and polling would not help: the hidraw node always reports itself
// writable, and the kernel sends an output report synchronously (interrupt OUT transfer, or
// SET_REPORT on the control pipe without one) with its own USB time-out of 5 s, whatever the
// descriptor's blocking mode, and cannot be cancelled from here. A write abandoned on another
// thread would still hold the device, and the next transfer would queue behind it.
// So a recorder that stays on the bus but does not take a report holds a frame write for up to
// 5 s, which then fails (ETIMEDOUT) like a timed-out write. An unplugged recorder fails at once.

#include "device/hid_backend.h"
#include "device/hid_report.h"

#include <hidapi.h>

#include <algorithm>
#include <mutex>

namespace veldrin {
namespace {

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { hid_init(); });
}

class HidapiDevice final : public HidDevice {
public:
    explicit HidapiDevice(hid_device* handle) : handle_(handle) {}
    ~HidapiDevice() override { hid_close(handle_); }
    HidapiDevice(const HidapiDevice&) = delete;
    HidapiDevice& operator=(const HidapiDevice&) = delete;

    int writeReport(const uint8_t (&report)[kReportSize]) override {
        // hid_write takes the report ID in byte 0; its return value is not a reliable byte count
        // on every platform, so only an error counts as failure.
        return hid_write(handle_, report, kReportSize) >= 0 ? 1 : 0;
    }

    int readReport(uint8_t (&report)[kReportSize]) override {
        // The recorder uses no numbered reports: hidapi delivers the 8 frame bytes without a
        // report-ID byte.
        uint8_t frame[kFrameSize] = {};
        const int n = hid_read_timeout(handle_, frame, kFrameSize, kReadTimeoutMs);
        if (n <= 0) {
            return 0;
        }
        placeInputReport(frame, static_cast<std::size_t>(n), ReportIdByte::stripped, report);
        return 1;
    }

    bool attributes(HidAttributes& out) override {
        hid_device_info* info = hid_get_device_info(handle_);
        if (info == nullptr) {
            return false;
        }
        out.vendorId = info->vendor_id;
        out.productId = info->product_id;
        out.release = info->release_number;
        return true;
    }

private:
    hid_device* handle_;
};

class HidapiBackend final : public HidBackend {
public:
    HidapiBackend() { initialiseOnce(); }

    bool listInterfaces(std::vector<std::string>& paths) override {
        paths.clear();
        hid_device_info* list = hid_enumerate(kRecorderVendorId, kRecorderProductId);
        for (hid_device_info* d = list; d != nullptr; d = d->next) {
            // One device may be listed once per top-level collection.
            if (d->path != nullptr &&
                std::find(paths.begin(), paths.end(), d->path) == paths.end()) {
                paths.emplace_back(d->path);
            }
        }
        hid_free_enumeration(list);
        return true;
    }

    std::unique_ptr<HidDevice> open(const std::string& path) override {
        hid_device* handle = hid_open_path(path.c_str());
        if (handle == nullptr) {
            return nullptr;
        }
        return std::make_unique<HidapiDevice>(handle);
    }
};

} // namespace

std::unique_ptr<HidBackend> makeHidapiBackend() {
    return std::make_unique<HidapiBackend>();
}

std::unique_ptr<HidBackend> makeHidBackend() {
    return makeHidapiBackend();
}

} // namespace veldrin
