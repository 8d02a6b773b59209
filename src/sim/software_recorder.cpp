#include "sim/software_recorder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace veldrin::sim {
namespace {

constexpr int kRecordsPerBlock = kBlockSize / kRecordSize;
constexpr int64_t kMsPerMinute = 60'000;
constexpr int64_t kMsPerDay = 86'400'000;
constexpr double kMaxAcceleration = 1e6;
// A catch-up never runs more rounds than this (a clock that jumped years ahead fast-forwards).
constexpr int kCatchUpRoundLimit = 4 * kRecordCapacity + 64;

int64_t minuteOf(int64_t ms) {
    return ms - ms % kMsPerMinute;
}

} // namespace

// ----- RecorderSession ------------------------------------------------------------------------

RecorderSession::RecorderSession(std::shared_ptr<SoftwareRecorder> recorder, uint64_t generation)
    : recorder_(std::move(recorder)), generation_(generation) {}

RecorderSession::~RecorderSession() = default;

bool RecorderSession::receive(const uint8_t (&report)[kReportSize]) {
    std::lock_guard lock(recorder_->mutex_);
    return recorder_->receiveLocked(*this, report);
}

bool RecorderSession::nextAnswer(InputReport& out) {
    std::lock_guard lock(recorder_->mutex_);
    if (!recorder_->sessionAlive(*this) || answers_.empty()) {
        return false;
    }
    out = answers_.front();
    answers_.pop_front();
    return true;
}

bool RecorderSession::alive() const {
    std::lock_guard lock(recorder_->mutex_);
    return recorder_->sessionAlive(*this);
}

// ----- SoftwareRecorder: set-up ---------------------------------------------------------------

SoftwareRecorder::SoftwareRecorder(RecorderConfig config, Clock& clock)
    : clock_(clock), config_(std::move(config)), memory_(kMemorySize, 0xFF) {
    config_.acceleration = std::clamp(config_.acceleration, 1.0, kMaxAcceleration);
    if (config_.slots.size() > static_cast<std::size_t>(kSlotCount)) {
        config_.slots.resize(kSlotCount);
    }
    anchorSteadyMs_ = clock_.steadyMs();
    anchorOwnMs_ = localDateTimeFromUnix(
                       static_cast<std::time_t>(clock_.unixSeconds() + config_.clockOffsetSeconds))
                       .linearSeconds() *
                   1000;

    if (config_.headerFill) {
        std::fill(memory_.begin(), memory_.begin() + kHeaderSize, *config_.headerFill);
        live_ = false;
        return;
    }

    memory_[header::tempUnit] = config_.tempUnit;
    memory_[header::interval] = config_.interval;
    memory_[header::dateOrder] = config_.dateOrder;
    memory_[header::versionMajor] = config_.versionMajor;
    memory_[header::versionMinor] = config_.versionMinor;
    memory_[header::circularMode] = config_.circularMode;
    memory_[header::clockSetMarker] = 0x00;
    if (config_.identity) {
        HeaderImage image{};
        storeIdentity(image, *config_.identity);
        std::copy(image.begin() + header::idProduct, image.begin() + header::clockSetMarker,
                  memory_.begin() + header::idProduct);
    }
    int slotsInUse = 0;
    for (int k = 0; k < kSlotCount; ++k) {
        uint8_t* block = memory_.data() + header::slotOffset(k);
        block[12] = 0;
        block[13] = 0;
        if (static_cast<std::size_t>(k) < config_.slots.size()) {
            uint8_t start[6];
            uint8_t end[6];
            const SlotWindow& w = config_.slots[static_cast<std::size_t>(k)];
            if (bytesFromDateTime(w.start, start) && bytesFromDateTime(w.end, end)) {
                std::copy(start, start + 5, block);
                std::copy(end, end + 5, block + 5);
                ++slotsInUse;
            }
        }
        std::copy(block, block + 10, slots_[static_cast<std::size_t>(k)].times.begin());
    }
    memory_[header::slotsInUse] = static_cast<uint8_t>(slotsInUse);

    nextDueSteadyMs_ = anchorSteadyMs_ + std::max<int64_t>(recordPeriodMs(), 1);
    storeRecordingState();
    preloadLocked(config_.preloadRecords);
    updateLocked();
}

// ----- the model ------------------------------------------------------------------------------

void SoftwareRecorder::update() {
    std::lock_guard lock(mutex_);
    updateLocked();
}

HeaderImage SoftwareRecorder::header() {
    std::lock_guard lock(mutex_);
    updateLocked();
    HeaderImage h{};
    std::copy(memory_.begin(), memory_.begin() + kHeaderSize, h.begin());
    return h;
}

void SoftwareRecorder::read(uint16_t address, uint8_t* out, std::size_t count) {
    std::lock_guard lock(mutex_);
    updateLocked();
    readLocked(address, out, count);
}

std::vector<uint8_t> SoftwareRecorder::memory() {
    std::lock_guard lock(mutex_);
    updateLocked();
    return memory_;
}

void SoftwareRecorder::write(uint16_t address, const uint8_t* data, std::size_t count) {
    std::lock_guard lock(mutex_);
    updateLocked();
    writeLocked(address, data, count);
}

void SoftwareRecorder::preloadHistory(uint64_t count) {
    std::lock_guard lock(mutex_);
    updateLocked();
    preloadLocked(count);
}

DateTime SoftwareRecorder::recorderTime() {
    std::lock_guard lock(mutex_);
    return DateTime::fromLinearSeconds(ownMsAt(clock_.steadyMs()) / 1000);
}

void SoftwareRecorder::setClockOffsetSeconds(int64_t seconds) {
    std::lock_guard lock(mutex_);
    updateLocked();
    anchorSteadyMs_ = clock_.steadyMs();
    anchorOwnMs_ = localDateTimeFromUnix(static_cast<std::time_t>(clock_.unixSeconds() + seconds))
                       .linearSeconds() *
                   1000;
    dirty_ = true;
    updateLocked();
}

uint64_t SoftwareRecorder::recordsMade() {
    std::lock_guard lock(mutex_);
    updateLocked();
    return recordsMade_;
}

int SoftwareRecorder::nextRecordAddress() {
    std::lock_guard lock(mutex_);
    updateLocked();
    return kRecordAreaStart + position_ * kRecordSize;
}

bool SoftwareRecorder::full() {
    std::lock_guard lock(mutex_);
    updateLocked();
    return live_ && !circular() && position_ >= kRecordCapacity;
}

bool SoftwareRecorder::wrapped() {
    std::lock_guard lock(mutex_);
    updateLocked();
    return wrapped_;
}

int SoftwareRecorder::clockSettings() const {
    std::lock_guard lock(mutex_);
    return clockSettings_;
}

void SoftwareRecorder::readLocked(uint16_t address, uint8_t* out, std::size_t count) const {
    if (address + count <= memory_.size()) {
        std::memcpy(out, memory_.data() + address, count);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = memory_[(address + i) & 0xFFFF];
    }
}

void SoftwareRecorder::writeLocked(uint16_t address, const uint8_t* data, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = (address + i) & 0xFFFF;
        memory_[at] = data[i];
        if (at < static_cast<std::size_t>(kHeaderSize)) {
            noteHeaderWrite(static_cast<int>(at), data[i]);
        }
    }
    dirty_ = true;
    if (live_ && memory_[header::clockSetMarker] == header::clockSetMarkerValue &&
        clockSetWritten_ == 0x3F) {
        applyClockSetting();
    }
}

void SoftwareRecorder::noteHeaderWrite(int offset, uint8_t) {
    if (offset == header::clockSetMarker) {
        clockSetWritten_ = 0; // a new setting begins; fields written before it do not count
    } else if (offset >= header::clockSet && offset < header::clockSet + 6) {
        clockSetWritten_ |= static_cast<uint8_t>(1u << (offset - header::clockSet));
    }
}

void SoftwareRecorder::applyClockSetting() {
    clockSetWritten_ = 0;
    memory_[header::clockSetMarker] = 0x00;
    if (refuseLeft_ != 0) {
        if (refuseLeft_ > 0) {
            --refuseLeft_;
        }
        return;
    }
    const DateTime t = dateTimeFromBytes(memory_.data() + header::clockSet);
    if (!t.isValid()) {
        return;
    }
    // Recording up to this moment already happened under the old time (every frame catches up
    // first); from here the recorder's time runs on from the new value.
    anchorSteadyMs_ = clock_.steadyMs();
    anchorOwnMs_ = t.linearSeconds() * 1000;
    ++clockSettings_;
    dirty_ = true;
}

int64_t SoftwareRecorder::ownMsAt(int64_t steadyMs) const {
    return anchorOwnMs_ + (steadyMs - anchorSteadyMs_);
}

int64_t SoftwareRecorder::recordPeriodMs() const {
    const int interval = memory_[header::interval];
    if (interval == 0) {
        return 0;
    }
    const auto period =
        std::llround(static_cast<double>(interval * kMsPerMinute) / config_.acceleration);
    return std::max<int64_t>(period, 1);
}

bool SoftwareRecorder::circular() const {
    return memory_[header::circularMode] == 0x02;
}

bool SoftwareRecorder::slotsGovern() const {
    return !circular() && memory_[header::slotsInUse] != 0;
}

void SoftwareRecorder::refreshClockBytes(int64_t ownSeconds) {
    lastClockSecond_ = ownSeconds;
    uint8_t six[6];
    if (bytesFromDateTime(DateTime::fromLinearSeconds(ownSeconds), six)) {
        std::copy(six, six + 6, memory_.begin() + header::clock);
    }
}

void SoftwareRecorder::updateLocked() {
    if (!live_) {
        return;
    }
    const int64_t now = clock_.steadyMs();
    const int64_t second = ownMsAt(now) / 1000;
    if (!dirty_ && second == lastClockSecond_ && now < nextDueSteadyMs_) {
        return; // nothing due: the common case of every host frame
    }
    dirty_ = false;
    trackSlotChanges();
    skipWholeWraps(now);
    for (int round = 0; nextDueSteadyMs_ <= now; ++round) {
        const int64_t period = recordPeriodMs();
        if (period == 0 || (!circular() && position_ >= kRecordCapacity) ||
            round >= kCatchUpRoundLimit) {
            fastForwardSchedule(now);
            break;
        }
        const int64_t own = ownMsAt(nextDueSteadyMs_);
        if (slotsGovern()) {
            closeEndedSlots(own);
            const int k = slotAt(own);
            if (k < 0) {
                skipToNextSlot(own, now);
                continue;
            }
            recordInSlot(k, own);
        } else {
            appendRecord(own);
        }
        nextDueSteadyMs_ += period;
    }
    if (slotsGovern()) {
        closeEndedSlots(ownMsAt(now));
    }
    refreshClockBytes(ownMsAt(now) / 1000);
}

void SoftwareRecorder::fastForwardSchedule(int64_t steadyNow) {
    const int64_t period = recordPeriodMs() > 0 ? recordPeriodMs() : kMsPerMinute;
    if (nextDueSteadyMs_ <= steadyNow) {
        nextDueSteadyMs_ += ((steadyNow - nextDueSteadyMs_) / period + 1) * period;
    }
}

// In circular mode a long absence only matters for its last wraps: whole wraps before them are
// counted, not written, which leaves the same memory behind.
void SoftwareRecorder::skipWholeWraps(int64_t steadyNow) {
    const int64_t period = recordPeriodMs();
    if (!circular() || period == 0 || nextDueSteadyMs_ > steadyNow) {
        return;
    }
    const int64_t due = (steadyNow - nextDueSteadyMs_) / period + 1;
    if (due < 2 * int64_t{kRecordCapacity}) {
        return;
    }
    const int64_t skipped = (due / kRecordCapacity - 1) * kRecordCapacity;
    recordsMade_ += static_cast<uint64_t>(skipped);
    wrapped_ = true;
    nextDueSteadyMs_ += skipped * period;
    storeRecordingState();
}

bool SoftwareRecorder::slotTimes(int k, int64_t& startMs, int64_t& endMs) const {
    const uint8_t* block = memory_.data() + header::slotOffset(k);
    const DateTime start = dateTimeFromFiveBytes(block);
    const DateTime end = dateTimeFromFiveBytes(block + 5);
    if (!start.isValid() || !end.isValid()) {
        return false;
    }
    startMs = start.linearSeconds() * 1000;
    endMs = end.linearSeconds() * 1000;
    return true;
}

int SoftwareRecorder::slotAt(int64_t ownMs) const {
    const int64_t minute = minuteOf(ownMs);
    for (int k = 0; k < kSlotCount; ++k) {
        int64_t start = 0;
        int64_t end = 0;
        if (slots_[static_cast<std::size_t>(k)].state != SlotProgress::State::done &&
            slotTimes(k, start, end) && start <= minute && minute <= end) {
            return k;
        }
    }
    return -1;
}

void SoftwareRecorder::skipToNextSlot(int64_t ownMs, int64_t steadyNow) {
    int64_t nextStart = INT64_MAX;
    for (int k = 0; k < kSlotCount; ++k) {
        int64_t start = 0;
        int64_t end = 0;
        if (slots_[static_cast<std::size_t>(k)].state == SlotProgress::State::pending &&
            slotTimes(k, start, end) && start > ownMs && start <= end) {
            nextStart = std::min(nextStart, start);
        }
    }
    if (nextStart == INT64_MAX) {
        fastForwardSchedule(steadyNow); // no slot ahead: nothing to record until the host acts
        return;
    }
    const int64_t period = recordPeriodMs();
    const int64_t steps = (nextStart - ownMs + period - 1) / period;
    nextDueSteadyMs_ += steps * period;
}

void SoftwareRecorder::trackSlotChanges() {
    for (int k = 0; k < kSlotCount; ++k) {
        SlotProgress& slot = slots_[static_cast<std::size_t>(k)];
        uint8_t* block = memory_.data() + header::slotOffset(k);
        if (!std::equal(slot.times.begin(), slot.times.end(), block)) {
            std::copy(block, block + 10, slot.times.begin());
            slot.state = SlotProgress::State::pending;
            block[12] = 0;
            block[13] = 0;
        }
    }
}

void SoftwareRecorder::closeEndedSlots(int64_t ownMs) {
    const int64_t minute = minuteOf(ownMs);
    for (int k = 0; k < kSlotCount; ++k) {
        SlotProgress& slot = slots_[static_cast<std::size_t>(k)];
        int64_t start = 0;
        int64_t end = 0;
        if (slot.state == SlotProgress::State::done || !slotTimes(k, start, end) || minute <= end) {
            continue;
        }
        if (slot.state == SlotProgress::State::recording) {
            finishSlot(k);
        } else {
            slot.state = SlotProgress::State::done; // passed without a record
        }
    }
}

void SoftwareRecorder::finishSlot(int k) {
    slots_[static_cast<std::size_t>(k)].state = SlotProgress::State::done;
    memory_[static_cast<std::size_t>(header::slotOffset(k) + 13)] = lastBlock_;
}

void SoftwareRecorder::recordInSlot(int k, int64_t ownMs) {
    SlotProgress& slot = slots_[static_cast<std::size_t>(k)];
    if (slot.state == SlotProgress::State::recording) {
        appendRecord(ownMs);
        return;
    }
    for (int j = 0; j < kSlotCount; ++j) {
        if (j != k && slots_[static_cast<std::size_t>(j)].state == SlotProgress::State::recording) {
            finishSlot(j);
        }
    }
    // A slot's records begin a block of their own.
    position_ = (position_ + kRecordsPerBlock - 1) / kRecordsPerBlock * kRecordsPerBlock;
    if (!appendRecord(ownMs)) {
        return;
    }
    uint8_t* block = memory_.data() + header::slotOffset(k);
    block[12] = lastBlock_;
    block[13] = 0;
    slot.state = SlotProgress::State::recording;
}

bool SoftwareRecorder::appendRecord(int64_t ownMs) {
    if (position_ >= kRecordCapacity) {
        if (!circular()) {
            return false;
        }
        position_ = 0;
        wrapped_ = true;
    }
    enterBlockIfNeeded();
    const Measurement m = measurementAt(ownMs);
    const int raw = static_cast<int>(std::lround((m.celsius + 40.0) * 10.0));
    const auto bytes =
        encodeRecord(raw, m.humidity & 0xFF, std::max<int>(memory_[header::interval], 1));
    std::copy(bytes.begin(), bytes.end(),
              memory_.begin() + kRecordAreaStart + position_ * kRecordSize);
    ++position_;
    ++recordsMade_;
    storeRecordingState();
    return true;
}

void SoftwareRecorder::enterBlockIfNeeded() {
    if (position_ % kRecordsPerBlock != 0) {
        return;
    }
    const int block = 1 + position_ / kRecordsPerBlock;
    std::fill_n(memory_.begin() + block * kBlockSize, kBlockSize, uint8_t{0xFF});
    lastBlock_ = static_cast<uint8_t>(block);
}

// Byte 3 follows lastBlock until the memory wraps, so that the host's restart threshold stays at
// 256 and every download continues from where the previous one stopped.
void SoftwareRecorder::storeRecordingState() {
    memory_[header::lastBlock] = lastBlock_;
    memory_[header::wrapMarker] = wrapped_ ? header::wrapped : lastBlock_;
}

Measurement SoftwareRecorder::measurementAt(int64_t ownMs) const {
    if (!config_.series.empty()) {
        return config_.series[recordsMade_ % config_.series.size()];
    }
    // A day's swing, warmest mid-afternoon, driest when warmest, with a small ripple.
    const double dayFraction = static_cast<double>(ownMs % kMsPerDay) / kMsPerDay;
    const double swing = std::sin(2.0 * std::numbers::pi * (dayFraction - 0.375));
    const double ripple = std::sin(static_cast<double>(recordsMade_) * 0.9);
    Measurement m;
    m.celsius = 21.0 + 4.0 * swing + 0.3 * ripple;
    m.humidity = static_cast<int>(std::lround(55.0 - 12.0 * swing + 2.0 * ripple));
    return m;
}

void SoftwareRecorder::preloadLocked(uint64_t count) {
    if (!live_) {
        return;
    }
    if (!circular()) {
        count = std::min<uint64_t>(count,
                                   static_cast<uint64_t>(std::max(kRecordCapacity - position_, 0)));
    } else if (count >= 2 * uint64_t{kRecordCapacity}) {
        const uint64_t skipped = (count / kRecordCapacity - 1) * kRecordCapacity;
        recordsMade_ += skipped;
        wrapped_ = true;
        count -= skipped;
    }
    const int interval = std::max<int>(memory_[header::interval], 1);
    const int64_t ownNow = ownMsAt(clock_.steadyMs());
    for (uint64_t i = 0; i < count; ++i) {
        const auto before = static_cast<int64_t>(count - 1 - i);
        appendRecord(ownNow - before * interval * kMsPerMinute);
    }
    storeRecordingState();
}

// ----- presence -------------------------------------------------------------------------------

HidAttributes SoftwareRecorder::attributes() const {
    std::lock_guard lock(mutex_);
    return config_.attributes;
}

void SoftwareRecorder::setRelease(uint16_t release) {
    std::lock_guard lock(mutex_);
    config_.attributes.release = release;
}

bool SoftwareRecorder::plugged() const {
    std::lock_guard lock(mutex_);
    return plugged_;
}

void SoftwareRecorder::unplug() {
    std::lock_guard lock(mutex_);
    unplugLocked();
}

void SoftwareRecorder::unplugLocked() {
    if (!plugged_) {
        return;
    }
    plugged_ = false;
    ++plugGeneration_;
    unpluggedAtMs_ = clock_.steadyMs();
}

void SoftwareRecorder::plug() {
    std::lock_guard lock(mutex_);
    plugged_ = true;
}

bool SoftwareRecorder::replugAfter(int64_t ms) {
    std::lock_guard lock(mutex_);
    if (plugged_ || clock_.steadyMs() - unpluggedAtMs_ < ms) {
        return false;
    }
    plugged_ = true;
    return true;
}

uint64_t SoftwareRecorder::plugGeneration() const {
    std::lock_guard lock(mutex_);
    return plugGeneration_;
}

// ----- protocol -------------------------------------------------------------------------------

std::unique_ptr<RecorderSession> SoftwareRecorder::openSession() {
    std::lock_guard lock(mutex_);
    if (!plugged_) {
        return nullptr;
    }
    return std::unique_ptr<RecorderSession>(
        new RecorderSession(shared_from_this(), plugGeneration_));
}

void SoftwareRecorder::setFaults(const FaultPlan& plan) {
    std::lock_guard lock(mutex_);
    faults_ = plan;
    frames_ = 0;
    wrongAckUsed_ = false;
    shortReportUsed_ = false;
    hangUpUsed_ = false;
    unstableLeft_ = plan.unstableReadFrame != 0 ? plan.unstableReads : 0;
    unstableCount_ = 0;
    refuseLeft_ = plan.refuseClockSettings;
}

uint64_t SoftwareRecorder::framesReceived() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

std::vector<Frame> SoftwareRecorder::recentFrames() const {
    std::lock_guard lock(mutex_);
    const uint64_t count = std::min<uint64_t>(frameLogCount_, frameLog_.size());
    std::vector<Frame> out;
    out.reserve(count);
    for (uint64_t i = frameLogCount_ - count; i < frameLogCount_; ++i) {
        out.push_back(frameLog_[i % frameLog_.size()]);
    }
    return out;
}

void SoftwareRecorder::setFrameObserver(std::function<void(const Frame&)> observer) {
    std::lock_guard lock(mutex_);
    frameObserver_ = std::move(observer);
}

bool SoftwareRecorder::sessionAlive(const RecorderSession& session) const {
    return !session.closed_ && plugged_ && session.generation_ == plugGeneration_;
}

bool SoftwareRecorder::receiveLocked(RecorderSession& session,
                                     const uint8_t (&report)[kReportSize]) {
    if (!sessionAlive(session)) {
        return false;
    }
    updateLocked();
    const uint64_t n = ++frames_;
    Frame frame;
    std::copy(report + 1, report + kReportSize, frame.begin());
    frameLog_[frameLogCount_++ % frameLog_.size()] = frame;
    if (frameObserver_) {
        frameObserver_(frame);
    }

    if (faults_.unplugFrame == n) {
        unplugLocked();
        return true; // the report went out; the recorder is gone before it answers
    }
    if (faults_.silentFrame == n) {
        session.stage_ = RecorderSession::Stage::command;
        return true;
    }
    if (report[0] != 0) {
        return true; // not a report of ours: ignored
    }
    if (session.stage_ == RecorderSession::Stage::writeData) {
        std::copy(frame.begin(), frame.end(), session.writeBuffer_ + session.dataFrames_ * 8);
        if (++session.dataFrames_ == 4) {
            session.stage_ = RecorderSession::Stage::command;
            writeLocked(session.writeAddress_, session.writeBuffer_, kMemoryUnit);
            queueAcknowledgement(session, n);
        }
        return true;
    }
    handleCommand(session, frame, n);
    return true;
}

void SoftwareRecorder::handleCommand(RecorderSession& session, const Frame& frame,
                                     uint64_t frameNumber) {
    if (frame[3] != 0x20 || frame[7] != 0x20 || frame[4] != frame[0]) {
        return; // not a command frame
    }
    const auto address = static_cast<uint16_t>((frame[1] << 8) | frame[2]);
    switch (static_cast<RecorderCommand>(frame[0])) {
    case RecorderCommand::read32: {
        uint8_t unit[kMemoryUnit];
        readLocked(address, unit, sizeof unit);
        if (faults_.unstableReadFrame != 0 && frameNumber >= faults_.unstableReadFrame &&
            unstableLeft_ != 0) {
            unit[kMemoryUnit - 1] ^= (unstableCount_++ % 2 == 0) ? 0x01 : 0x02;
            if (unstableLeft_ > 0) {
                --unstableLeft_;
            }
        }
        for (int part = 0; part < 4; ++part) {
            InputReport answer;
            std::copy(unit + part * 8, unit + part * 8 + 8, answer.bytes + 1);
            queueAnswer(session, answer, frameNumber);
        }
        break;
    }
    case RecorderCommand::write32:
        session.stage_ = RecorderSession::Stage::writeData;
        session.writeAddress_ = address;
        session.dataFrames_ = 0;
        break;
    case RecorderCommand::writeByte:
        writeLocked(address, &frame[5], 1);
        queueAcknowledgement(session, frameNumber);
        break;
    default:
        break;
    }
}

void SoftwareRecorder::queueAcknowledgement(RecorderSession& session, uint64_t frameNumber) {
    InputReport ack;
    std::fill(ack.bytes + 1, ack.bytes + kReportSize, kAckByte);
    if (faults_.wrongAckFrame != 0 && frameNumber >= faults_.wrongAckFrame && !wrongAckUsed_) {
        wrongAckUsed_ = true;
        ack.bytes[kReportSize - 1] = 0x00;
    }
    queueAnswer(session, ack, frameNumber);
}

void SoftwareRecorder::queueAnswer(RecorderSession& session, InputReport answer,
                                   uint64_t frameNumber) {
    if (faults_.shortReportFrame != 0 && frameNumber >= faults_.shortReportFrame &&
        !shortReportUsed_) {
        shortReportUsed_ = true;
        answer.length = std::min<std::size_t>(faults_.shortReportLength, kReportSize);
    }
    if (faults_.hangUpFrame != 0 && frameNumber >= faults_.hangUpFrame && !hangUpUsed_) {
        hangUpUsed_ = true;
        answer.hangUp = true;
    }
    if (session.answers_.size() < kAnswerQueueLimit) {
        session.answers_.push_back(answer);
    }
}

void SoftwareRecorder::waitAnswerDelay() {
    // Set at construction and never changed: read without the lock.
    if (config_.answerDelayMs > 0) {
        clock_.sleepMs(config_.answerDelayMs);
    }
}

} // namespace veldrin::sim
