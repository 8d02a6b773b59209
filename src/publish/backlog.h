#pragma once
// What is left to publish of one recorder's history, and the bound on the messages in flight
// across all recorders. Pure bookkeeping: the session that sends and the files that are read are
// elsewhere.
//
// Records are sent in order from the acknowledged position; the position moves only over an
// unbroken run of acknowledged records, so a record is never skipped. When the connection is
// lost, everything past the position is sent again: delivery is at least once.

#include "publish/published_position.h"
#include "store/data_file.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>

namespace veldrin::publish {

class RecorderBacklog {
public:
    // The position kept from an earlier run; taken as it stands until the first file read.
    void restore(const PublishedPosition& position) { position_ = position; }

    // The history as the data file holds it now. Progress is kept while the file still holds
    // the acknowledged records unchanged (new records appended); a history cleared or replaced
    // starts again from its first record. True when that happened.
    bool replaceRecords(const std::string& identity, RecordList records);

    bool hasPending() const { return next_ < records_.size(); }
    // The next record to send: its index, marked as in flight.
    uint64_t takeNext();
    const HistoryRecord& record(uint64_t index) const {
        return records_[static_cast<std::size_t>(index)];
    }
    bool isNewest(uint64_t index) const { return index + 1 == records_.size(); }
    // The id of record `index` (`record` is that record): the one it was first sent with when it
    // has been sent (in this run, or as the last acknowledged one of an earlier run), otherwise
    // made now from its time and kept for its later sendings.
    std::string idFor(uint64_t index, const HistoryRecord& record);

    // An acknowledgement of record `index` sent in `generation`; true when the position moved.
    bool acknowledge(uint64_t generation, uint64_t index);
    // The connection is gone: what was in flight is sent again, from the position.
    void connectionLost();

    uint64_t generation() const { return generation_; }
    const PublishedPosition& position() const { return position_; }
    std::size_t inFlight() const { return inFlight_.size(); }
    std::size_t recordCount() const { return records_.size(); }

    // Once every record is acknowledged the copy of the history is dropped; the position's
    // fingerprint is enough to recognise the next read of the file.
    void releaseIfCaughtUp();

private:
    void startAfresh(const std::string& identity);

    PublishedPosition position_;
    RecordList records_;
    uint64_t next_ = 0;
    std::set<uint64_t> inFlight_;
    // Ids given to records past the position, by index: a record sent again (after a lost
    // connection, or after the clock stepped back and the store re-timed it) keeps its id.
    std::map<uint64_t, std::string> givenIds_;
    // Changes when the history is replaced, so that a late acknowledgement of a record of the
    // old history moves nothing.
    uint64_t generation_ = 0;
};

// The messages of the history in flight, by the session's message id, across all recorders.
struct InFlightRecord {
    int32_t recorder = 0;
    uint64_t generation = 0;
    uint64_t index = 0;
};

class SendWindow {
public:
    explicit SendWindow(std::size_t capacity) : capacity_(capacity) {}
    bool hasRoom() const { return byMessage_.size() < capacity_; }
    std::size_t size() const { return byMessage_.size(); }
    std::size_t capacity() const { return capacity_; }
    void add(int messageId, const InFlightRecord& record) { byMessage_[messageId] = record; }
    // The record of an acknowledged message; nothing for a message outside the window (a
    // state, an availability or a discovery message).
    std::optional<InFlightRecord> take(int messageId);
    void clear() { byMessage_.clear(); }

private:
    std::size_t capacity_;
    std::unordered_map<int, InFlightRecord> byMessage_;
};

// Pauses between attempts to reach the broker: 1 s, doubled after every failure up to 60 s.
class RetryPacer {
public:
    static constexpr int64_t kFirstPauseMs = 1000;
    static constexpr int64_t kLongestPauseMs = 60000;

    bool due(int64_t nowMs) const { return nowMs >= nextAttemptMs_; }
    // A failed attempt; true for the first failure of an outage (the one to report).
    bool failed(int64_t nowMs);
    void succeeded();
    int64_t pauseMs() const { return pauseMs_; }
    int64_t nextAttemptMs() const { return nextAttemptMs_; }

private:
    int64_t pauseMs_ = kFirstPauseMs;
    int64_t nextAttemptMs_ = 0;
    bool inOutage_ = false;
};

} // namespace veldrin::publish
