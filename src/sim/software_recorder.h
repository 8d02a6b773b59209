#pragma once
// The software recorder: a model of the USB temperature/humidity recorder that the tests, the
// in-process `sim` backend and the `veldrin-recorder-sim` program serve to the host.
//
// Fixed by the wire: the 65,536-byte memory (256-byte header, then 4-byte records in blocks 1 to
// 255), the three memory commands (0xA1 read 32 bytes, 0xA0 write 32 bytes in four data frames,
// 0xA2 write one byte) with the acknowledgement of eight 0xA5, and the meaning of the header bytes
// the host reads and writes. Everything below is this recorder's own choice:
//
// - Time. The recorder keeps a wall clock of its own (no time zone, no daylight saving), started
//   at the local time of the injected Clock plus a configurable offset and running with the
//   Clock's steady time. Bytes 33 to 38 show it whenever the host looks. The host sets it by
//   writing 0x55 to byte 16 and the six fields to bytes 17 to 22: the new time takes effect as soon
//   as all six have been written after the marker (in whatever order), and the marker is then
//   cleared to 0x00. Fields that name no calendar time are ignored (the marker is cleared all the
//   same). Byte 32 (the latch) is kept as written and has no effect.
// - Recording. One record every `interval` minutes (header byte 1, read afresh for every record;
//   0 stops recording) on a schedule of its own that starts one interval after power-up.
//   Acceleration divides that period (60 gives one record a second at a 1-minute interval); it
//   does not speed up the clock, so the host's clock check behaves as with a real recorder.
//   The interval byte of each record is the header's interval. Values come from a given series
//   (repeated) or from a generated daily curve.
// - Blocks. Records fill the record area by rising address. Entering a block erases it to 0xFF
//   first and makes it `lastBlock` (byte 2). In circular mode (byte 240 = 0x02) recording wraps
//   from the last position back to address 256 and byte 3 becomes 0xFF for good; any other value
//   of byte 240 means linear recording, which stops when the area is full.
// - Byte 3 before the memory has wrapped is kept equal to `lastBlock`. The host's restart
//   threshold T = ((lastBlock - byte3) rem 256 + 1) x 256 is then 256, so a download always
//   continues where the previous one stopped however many blocks the recorder has filled since.
//   (With 0 there T would equal the end address and every download that had not reached it would
//   start over.)
// - Time slots. In linear mode with byte 4 (slots in use) not 0, a record is made only when the
//   recorder's time lies inside a slot whose start and end bytes name calendar times (start <=
//   time <= end, minutes). A slot's first record begins a fresh block; the recorder then writes
//   that block into the slot's `firstBlock` (slot byte 12) and 0 into its `lastBlock` (byte 13),
//   and when the slot's end has passed it writes the header's `lastBlock` into byte 13. A slot
//   whose start or end bytes are changed by the host starts afresh (bytes 12 and 13 become 0).
//   In circular mode the slots are ignored and recording is continuous.
// - Host frames with a report ID other than 0, or command frames that do not match the command
//   layout (bytes 3 and 7 = 0x20, byte 4 = byte 0), are ignored: no answer. The data frames of a
//   32-byte write are taken as data whatever they contain. Unread answers stay queued in order, as
//   in an input report buffer (at most kAnswerQueueLimit; answers beyond are dropped).
// - Each open (connection) has its own protocol state; all share one memory under one mutex.
//   Unplugging ends every open handle for good; after plugging in again only new opens work.
//
// Fault injection counts host frames (output reports received on any connection, from 1, counted
// afresh whenever a fault plan is set) and is deterministic; see FaultPlan.

#include "core/clock.h"
#include "core/date_time.h"
#include "core/recorder_types.h"
#include "device/frames.h"
#include "device/hid_backend.h"
#include "device/logger_header.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace veldrin::sim {

struct Measurement {
    double celsius = 20.0;
    int humidity = 50; // percent
};

// A recording window in the recorder's own time (minutes; seconds are ignored).
struct SlotWindow {
    DateTime start;
    DateTime end;
};

struct RecorderConfig {
    // The identity in bytes 8 to 15; none: blank, as erased (eight 0xFF).
    std::optional<RecorderIdentity> identity;
    // A recorder that has never been set up: the whole header reads as this byte, nothing is
    // recorded and the clock bytes are not kept (bad input for the host).
    std::optional<uint8_t> headerFill;
    uint8_t versionMajor = 1;
    uint8_t versionMinor = 0;
    uint8_t circularMode = 0x02;   // 0x00 linear, 0x02 circular, 0xFF no circular mode (linear)
    uint8_t tempUnit = 0xFF;       // 0xFF Celsius, other Fahrenheit
    uint8_t dateOrder = 0xFF;      // 0xFF day-month, other month-day
    uint8_t interval = 1;          // minutes
    std::vector<SlotWindow> slots; // at most kSlotCount are used
    HidAttributes attributes{kRecorderVendorId, kRecorderProductId, kRecorderRelease};
    int64_t clockOffsetSeconds = 0;  // recorder clock minus PC clock at start
    double acceleration = 1.0;       // recording cadence factor (clock unaffected); >= 1
    std::vector<Measurement> series; // repeated; empty: a generated daily curve
    uint32_t preloadRecords = 0;     // history already in memory at start (see preloadHistory)
    // Every host frame is answered this many milliseconds of the clock after it came (a real
    // recorder's turnaround on the bus); 0: at once.
    int64_t answerDelayMs = 0;
};

// Faults, each tied to a host frame number n (1 = the first output report after the plan was
// set; 0 = fault off). "At or after" faults hit the first matching answer once frame n has come.
struct FaultPlan {
    // Frame n is swallowed: not acted on, not answered, and the exchange in progress is dropped
    // (later frames are taken as new commands).
    uint64_t silentFrame = 0;
    // The first acknowledgement at or after frame n reads A5 A5 A5 A5 A5 A5 A5 00; the write
    // itself is carried out.
    uint64_t wrongAckFrame = 0;
    // From frame n on, `unstableReads` read commands (negative: all) answer with one byte altered,
    // differently each time, so that two reads of the same unit never agree while it lasts.
    uint64_t unstableReadFrame = 0;
    int32_t unstableReads = 1;
    // The first input report at or after frame n carries only `shortReportLength` bytes (the rest
    // reads as 0 on the host; the socket transport sends them as zeros).
    uint64_t shortReportFrame = 0;
    uint32_t shortReportLength = 5;
    // The connection that carries the first input report at or after frame n is cut in the middle
    // of that report (the socket transport sends part of it and closes); other opens go on.
    uint64_t hangUpFrame = 0;
    // The recorder is unplugged right after taking frame n: every transfer fails, no new open
    // succeeds, until plug().
    uint64_t unplugFrame = 0;
    // Clock settings ignored (the marker is still cleared); negative: all.
    int32_t refuseClockSettings = 0;
};

// One input report as the recorder hands it to a transport.
struct InputReport {
    uint8_t bytes[kReportSize] = {};
    std::size_t length = kReportSize; // < 9: a short report
    bool hangUp = false;              // the connection is cut in the middle of this report
};

constexpr std::size_t kAnswerQueueLimit = 64;

class SoftwareRecorder;

// The protocol state of one open handle (one connection): takes 9-byte output reports, queues
// 9-byte input reports. Used by one transport thread at a time; holds the recorder alive.
class RecorderSession {
public:
    ~RecorderSession();
    RecorderSession(const RecorderSession&) = delete;
    RecorderSession& operator=(const RecorderSession&) = delete;

    // Takes one output report. False when this handle is dead (unplugged, cut): the transfer fails.
    bool receive(const uint8_t (&report)[kReportSize]);
    // The next queued answer; false when there is none.
    bool nextAnswer(InputReport& out);
    // Usable: not cut, and the recorder has stayed plugged in since this handle was opened.
    bool alive() const;
    // Ends this handle (the transport closed it, or cut it in a report).
    void close() { closed_ = true; }

private:
    friend class SoftwareRecorder;
    enum class Stage { command, writeData };
    explicit RecorderSession(std::shared_ptr<SoftwareRecorder> recorder, uint64_t generation);

    std::shared_ptr<SoftwareRecorder> recorder_;
    uint64_t generation_;
    bool closed_ = false;
    Stage stage_ = Stage::command;
    uint16_t writeAddress_ = 0;
    int dataFrames_ = 0;
    uint8_t writeBuffer_[kMemoryUnit] = {};
    std::deque<InputReport> answers_;
};

// Create with std::make_shared (sessions and backends share it).
class SoftwareRecorder : public std::enable_shared_from_this<SoftwareRecorder> {
public:
    explicit SoftwareRecorder(RecorderConfig config = {}, Clock& clock = SystemClock::instance());
    SoftwareRecorder(const SoftwareRecorder&) = delete;
    SoftwareRecorder& operator=(const SoftwareRecorder&) = delete;

    // --- the model ---------------------------------------------------------------------------
    // Brings recording, slots and the clock bytes up to the injected clock's present. Every host
    // frame does this first; tests call it after advancing a ManualClock.
    void update();
    HeaderImage header();
    // Reads memory as it stands (after update), wrapping at 65536; no frame is counted.
    void read(uint16_t address, uint8_t* out, std::size_t count);
    std::vector<uint8_t> memory();
    // Writes memory as the host's write commands do (the clock setting and slot rules apply).
    void write(uint16_t address, const uint8_t* data, std::size_t count);
    // Appends `count` records at once as if they had been recorded one interval apart up to the
    // present (slots are not consulted). Linear recording stops when full; in circular mode only
    // the last wraps are written, so any count is quick.
    void preloadHistory(uint64_t count);
    // The recorder's own time, to the second.
    DateTime recorderTime();
    // Puts the recorder's clock at the PC's local time plus `seconds`.
    void setClockOffsetSeconds(int64_t seconds);
    // Records written since start (preloaded ones included). These four bring the recorder up to
    // the present first, as every other view of its state does.
    uint64_t recordsMade();
    // Address where the next record goes (before any wrap decision), and whether linear recording
    // has filled the area.
    int nextRecordAddress();
    bool full();
    bool wrapped();
    // Number of clock settings the recorder has carried out.
    int clockSettings() const;
    Clock& clock() const { return clock_; }

    // --- presence ------------------------------------------------------------------------------
    HidAttributes attributes() const;
    void setRelease(uint16_t release);
    bool plugged() const;
    void unplug();
    void plug();
    // Plugs the recorder in again once it has been unplugged for at least `ms` of the clock's
    // steady time; true when it did.
    bool replugAfter(int64_t ms);
    // Changes whenever the recorder is unplugged; a transport closes connections opened before.
    uint64_t plugGeneration() const;

    // --- protocol and faults -------------------------------------------------------------------
    // A new handle; nullptr while unplugged.
    std::unique_ptr<RecorderSession> openSession();
    // Waits the answer delay on the injected clock; a transport calls it after handing over a
    // host frame, without holding anything another recorder needs.
    void waitAnswerDelay();
    // Sets the faults and restarts the host frame count from 0.
    void setFaults(const FaultPlan& plan);
    uint64_t framesReceived() const;
    // The latest host frames (up to 256, oldest first), report ID stripped.
    std::vector<Frame> recentFrames() const;
    // Called with every host frame as it arrives (under the recorder's lock: keep it short).
    void setFrameObserver(std::function<void(const Frame&)> observer);

private:
    friend class RecorderSession;
    struct SlotProgress {
        enum class State { pending, recording, done } state = State::pending;
        std::array<uint8_t, 10> times{};
    };

    bool receiveLocked(RecorderSession& session, const uint8_t (&report)[kReportSize]);
    void handleCommand(RecorderSession& session, const Frame& frame, uint64_t frameNumber);
    void queueAnswer(RecorderSession& session, InputReport answer, uint64_t frameNumber);
    void queueAcknowledgement(RecorderSession& session, uint64_t frameNumber);
    bool sessionAlive(const RecorderSession& session) const;

    void updateLocked();
    void readLocked(uint16_t address, uint8_t* out, std::size_t count) const;
    void writeLocked(uint16_t address, const uint8_t* data, std::size_t count);
    void noteHeaderWrite(int offset, uint8_t value);
    void applyClockSetting();
    void refreshClockBytes(int64_t ownSeconds);
    int64_t ownMsAt(int64_t steadyMs) const;
    int64_t recordPeriodMs() const;
    bool circular() const;
    bool slotsGovern() const;
    bool appendRecord(int64_t ownMs);
    void enterBlockIfNeeded();
    void storeRecordingState();
    Measurement measurementAt(int64_t ownMs) const;
    void fastForwardSchedule(int64_t steadyNow);
    void skipWholeWraps(int64_t steadyNow);
    void skipToNextSlot(int64_t ownMs, int64_t steadyNow);
    int slotAt(int64_t ownMs) const;
    bool slotTimes(int k, int64_t& startMs, int64_t& endMs) const;
    void trackSlotChanges();
    void closeEndedSlots(int64_t ownMs);
    void recordInSlot(int k, int64_t ownMs);
    void finishSlot(int k);
    void preloadLocked(uint64_t count);
    void unplugLocked();

    mutable std::mutex mutex_;
    Clock& clock_;
    RecorderConfig config_;
    std::vector<uint8_t> memory_;
    bool live_ = true; // keeps clock, recording and state bytes (false for a header fill)

    // Own wall clock, as linear milliseconds since 1899-12-30 00:00.
    int64_t anchorOwnMs_ = 0;
    int64_t anchorSteadyMs_ = 0;
    int64_t lastClockSecond_ = INT64_MIN;
    bool dirty_ = true;
    uint8_t clockSetWritten_ = 0; // bits 0..5: bytes 17..22 written since the marker
    int clockSettings_ = 0;

    int64_t nextDueSteadyMs_ = 0;
    int position_ = 0; // index of the next record, 0 .. kRecordCapacity
    bool wrapped_ = false;
    uint8_t lastBlock_ = 1;
    uint64_t recordsMade_ = 0;
    std::array<SlotProgress, kSlotCount> slots_{};

    bool plugged_ = true;
    uint64_t plugGeneration_ = 1;
    int64_t unpluggedAtMs_ = 0;

    FaultPlan faults_;
    uint64_t frames_ = 0;
    bool wrongAckUsed_ = false;
    bool shortReportUsed_ = false;
    bool hangUpUsed_ = false;
    int32_t unstableLeft_ = 0;
    uint64_t unstableCount_ = 0;
    int32_t refuseLeft_ = 0;

    std::array<Frame, 256> frameLog_{};
    uint64_t frameLogCount_ = 0;
    std::function<void(const Frame&)> frameObserver_;
};

} // namespace veldrin::sim
