// The whole connection chain (identify, register, refresh, download, clock, download) of the
// acquisition worker and its window-side reaction, against the software recorder behind a
// transport whose every answer the fuzzer decides.
//
// Input: 16 bytes that set up the recorder and the PC's files (see Setup), then one 9-byte step
// per input report the host reads: a step byte and eight bytes. Step byte mod 8: 0-3 the
// recorder's answer as it is; 4 its bytes from a position on read as 0 (a short report); 5 one
// byte altered; 6 the answer lost (the read times out); 7 the eight bytes in place of the answer.
// Reads beyond the steps get the recorder's answers.

#include "acquisition/acquisition.h"
#include "core/atomic_file.h"
#include "core/clock.h"
#include "fuzz_support.h"
#include "sim/sim_backend.h"
#include "sim/software_recorder.h"
#include "store/data_file.h"
#include "store/data_store.h"
#include "store/registry.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>

namespace {

using namespace veldrin;

constexpr std::size_t kSetupSize = 16;
constexpr std::size_t kStepSize = 9;
constexpr int64_t kStart = 1308148212; // 2011-06-15 14:30:12 UTC
// A chain that has not come to rest after this many reports is taken as one that never will.
constexpr int kMaxReports = 200000;

struct Steps {
    const uint8_t* data = nullptr;
    std::size_t count = 0;
    std::atomic<std::size_t> next{0};
    std::atomic<int> altered{0};
};

class FuzzedDevice final : public HidDevice {
public:
    FuzzedDevice(std::unique_ptr<HidDevice> inner, Steps& steps, Clock& clock)
        : inner_(std::move(inner)), steps_(steps), clock_(clock) {}

    int writeReport(const uint8_t (&report)[kReportSize]) override {
        return inner_->writeReport(report);
    }

    int readReport(uint8_t (&report)[kReportSize]) override {
        const int got = inner_->readReport(report);
        const std::size_t index = steps_.next.fetch_add(1);
        if (index >= steps_.count) {
            return got;
        }
        const uint8_t* step = steps_.data + index * kStepSize;
        const uint8_t* bytes = step + 1;
        switch (step[0] % 8) {
        case 4:
            std::memset(report + 1 + bytes[0] % 8, 0, 8 - bytes[0] % 8);
            break;
        case 5:
            report[1 + bytes[0] % 8] ^= static_cast<uint8_t>(bytes[1] | 1);
            break;
        case 6:
            if (got != 0) {
                clock_.sleepMs(kReadTimeoutMs);
            }
            ++steps_.altered;
            return 0;
        case 7:
            std::memcpy(report + 1, bytes, 8);
            ++steps_.altered;
            return 1;
        default:
            return got;
        }
        ++steps_.altered;
        return got;
    }

    bool attributes(HidAttributes& out) override { return inner_->attributes(out); }

private:
    std::unique_ptr<HidDevice> inner_;
    Steps& steps_;
    Clock& clock_;
};

class FuzzedBackend final : public HidBackend {
public:
    FuzzedBackend(std::unique_ptr<HidBackend> inner, Steps& steps, Clock& clock)
        : inner_(std::move(inner)), steps_(steps), clock_(clock) {}
    bool listInterfaces(std::vector<std::string>& paths) override {
        return inner_->listInterfaces(paths);
    }
    std::unique_ptr<HidDevice> open(const std::string& path) override {
        std::unique_ptr<HidDevice> device = inner_->open(path);
        if (!device) {
            return nullptr;
        }
        return std::make_unique<FuzzedDevice>(std::move(device), steps_, clock_);
    }

private:
    std::unique_ptr<HidBackend> inner_;
    Steps& steps_;
    Clock& clock_;
};

// Reports are handled as they are posted, on the worker's thread, while the fuzzer's thread
// waits for the chain to come to rest: the same order of events as the window's message loop,
// without its waiting.
class InlineReports final : public ReportSink {
public:
    void postLoggerStatus(int32_t number, int code) override {
        if (++count > kMaxReports) {
            fuzz::broken("the acquisition chain does not come to rest", __FILE__, __LINE__);
        }
        acquisition->HandleLoggerStatus(number, code);
        std::lock_guard lock(mutex);
        handled.notify_all();
    }
    // Until the chain rests; a worker that ends sets the busy flag without a report, which the
    // time-out of each wait notices.
    void waitUntilIdle() {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        std::unique_lock lock(mutex);
        while (acquisition->workerBusy()) {
            if (std::chrono::steady_clock::now() > giveUp) {
                fuzz::broken("the acquisition chain does not come to rest", __FILE__, __LINE__);
            }
            handled.wait_for(lock, std::chrono::milliseconds(1));
        }
    }
    Acquisition* acquisition = nullptr;
    std::atomic<int> count{0};
    std::mutex mutex;
    std::condition_variable handled;
};

// The first 16 bytes of the input.
struct Setup {
    explicit Setup(const uint8_t* b) {
        recorderHasIdentity = (b[0] & 0x01) != 0;
        registeredOnPc = (b[0] & 0x02) != 0;
        unset = (b[0] & 0x04) != 0;
        slots = (b[0] & 0x10) != 0;
        secondRun = (b[0] & 0x40) != 0;
        config.circularMode = (b[0] & 0x08) != 0 ? ((b[0] & 0x20) != 0 ? 0xFF : 0x00) : 0x02;
        config.interval = b[1];
        config.preloadRecords = b[2] | (b[3] & 0x0F) << 8;
        if (unset) {
            config.headerFill = b[4];
        }
        config.clockOffsetSeconds = static_cast<int8_t>(b[5]) * 60;
        id.high = static_cast<uint16_t>(0x1234 + b[15]);
        id.low = 0x5678;
        id.product = static_cast<uint32_t>(uint32_t{id.high} * id.low);
        if (recorderHasIdentity) {
            config.identity = id;
        }
        const DateTime now = localDateTimeFromUnix(kStart);
        for (int k = 0; slots && k < 2; ++k) {
            const DateTime start = now.plusMinutes(static_cast<int8_t>(b[6 + 2 * k]) * 10);
            config.slots.push_back({start, start.plusMinutes(b[7 + 2 * k] * 10)});
        }
        storedNextAddress = static_cast<int32_t>(b[10] | b[11] << 8 | b[12] << 16 |
                                                 static_cast<uint32_t>(b[13]) << 24);
        storedRecords = b[14];
    }

    sim::RecorderConfig config;
    RecorderIdentity id;
    bool recorderHasIdentity = false;
    bool registeredOnPc = false;
    bool unset = false;
    bool slots = false;
    bool secondRun = false;
    int32_t storedNextAddress = 0;
    int storedRecords = 0;
};

// The PC has met this recorder before: its registry entry and a data file with some history.
void writePcFiles(const Setup& setup, const fuzz::ScratchFolder& dir) {
    std::string error;
    const std::string ini =
        "[Drive ID]\nMaxID=1\nID=0\nID0000000=" + std::to_string(setup.id.product) + "," +
        std::to_string(setup.id.high) + "," + std::to_string(setup.id.low) + "\n";
    FUZZ_REQUIRE(writeFileAtomically(dir.file("main.ini"), ini, error));
    RecorderSettings settings;
    RecordList records;
    const DateTime newest = localDateTimeFromUnix(kStart - 3600);
    for (int i = 0; i < setup.storedRecords; ++i) {
        HistoryRecord r;
        r.temperature = 21.5;
        r.humidity = 45;
        r.interval = 1;
        r.setTime(newest.plusMinutes(i - setup.storedRecords));
        r.setDownloadTime(newest);
        records.push_back(r);
    }
    FUZZ_REQUIRE(writeFileAtomically(
        dir.file("0.dat"), encodeDataFile(settings, records, setup.storedNextAddress), error));
}

// One start of the program: start-up load, the recorder found, the chain run until it rests.
void runProgram(const fuzz::ScratchFolder& dir, HidBackend& backend, Clock& clock) {
    IniFile ini(dir.file("main.ini"));
    DataStore store(dir.path(), ini, clock);
    LoggerLink link(backend);
    InlineReports reports;
    Acquisition acquisition(link, store, clock, reports);
    reports.acquisition = &acquisition;
    const int32_t number = store.loadAtStartUp();
    if (number >= 0) {
        acquisition.setCurrentRecorder(number);
    }
    acquisition.PollPresence();
    reports.waitUntilIdle();
}

// Whatever the recorder answered, every data file the registry names reads back, and only
// plausible, time-stamped records reached it.
void checkFiles(const fuzz::ScratchFolder& dir) {
    const int32_t count = readMaxId(IniFile(dir.file("main.ini")));
    for (int32_t n = 0; n < count; ++n) {
        std::string bytes;
        std::string error;
        if (!readWholeFile(dataFilePath(dir.path(), n), bytes, error) || bytes.empty()) {
            continue;
        }
        DataFileContent content;
        FUZZ_REQUIRE(decodeDataFile(bytes, content, error));
        for (const HistoryRecord& r : content.records) {
            FUZZ_REQUIRE(r.humidity >= 1 && r.humidity <= 99);
            FUZZ_REQUIRE(r.interval >= 1 && r.interval <= 240);
            FUZZ_REQUIRE(r.temperature <= 80.0 + 1e-9 && r.temperature >= -369.5 - 1e-9);
            FUZZ_REQUIRE(r.time().isValid() && r.downloadTime().isValid());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kSetupSize) {
        return 0;
    }
    const Setup setup(data);
    const fuzz::ScratchFolder& dir = fuzz::scratch();
    dir.clear();
    if (setup.registeredOnPc) {
        writePcFiles(setup, dir);
    }
    Steps steps;
    steps.data = data + kSetupSize;
    steps.count = (size - kSetupSize) / kStepSize;

    ManualClock clock(kStart);
    auto recorder = std::make_shared<sim::SoftwareRecorder>(setup.config, clock);
    FuzzedBackend backend(sim::makeSimBackend(recorder), steps, clock);
    runProgram(dir, backend, clock);
    checkFiles(dir);
    if (setup.secondRun) {
        clock.advanceMs(20 * 60 * 1000);
        runProgram(dir, backend, clock);
        checkFiles(dir);
    }
    return 0;
}
