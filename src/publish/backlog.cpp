#include "publish/backlog.h"

#include "publish/messages.h"

#include <algorithm>

namespace veldrin::publish {

void RecorderBacklog::startAfresh(const std::string& identity) {
    ++generation_;
    inFlight_.clear();
    givenIds_.clear();
    next_ = 0;
    position_ = PublishedPosition{};
    position_.identity = identity;
    position_.hasDigest = true;
}

bool RecorderBacklog::replaceRecords(const std::string& identity, RecordList records) {
    const bool continues = resumeIndex(position_, identity, records) == position_.acknowledged &&
                           position_.identity == identity && next_ <= records.size();
    records_ = std::move(records);
    if (continues && !position_.hasDigest) { // a position of an earlier version
        position_ = positionAfter(position_, records_, position_.acknowledged, position_.lastId);
    }
    if (continues) {
        next_ = std::max(next_, position_.acknowledged);
        if (next_ > records_.size()) { // a fresh history shorter than what was in flight
            startAfresh(identity);
            return true;
        }
        return false;
    }
    startAfresh(identity);
    return true;
}

uint64_t RecorderBacklog::takeNext() {
    const uint64_t index = next_++;
    inFlight_.insert(index);
    return index;
}

bool RecorderBacklog::acknowledge(uint64_t generation, uint64_t index) {
    if (generation != generation_ || inFlight_.erase(index) == 0) {
        return false;
    }
    const uint64_t unbroken = inFlight_.empty() ? next_ : *inFlight_.begin();
    if (unbroken <= position_.acknowledged) {
        return false;
    }
    const std::string lastId =
        idFor(unbroken - 1, records_[static_cast<std::size_t>(unbroken - 1)]);
    position_ = positionAfter(position_, records_, unbroken, lastId);
    givenIds_.erase(givenIds_.begin(), givenIds_.lower_bound(unbroken));
    return true;
}

std::string RecorderBacklog::idFor(uint64_t index, const HistoryRecord& record) {
    if (index + 1 == position_.acknowledged && !position_.lastId.empty()) {
        return position_.lastId;
    }
    if (const auto given = givenIds_.find(index); given != givenIds_.end()) {
        return given->second;
    }
    std::string id = recordId(position_.identity, record);
    if (index >= position_.acknowledged) {
        givenIds_.emplace(index, id);
    }
    return id;
}

void RecorderBacklog::connectionLost() {
    inFlight_.clear();
    next_ = position_.acknowledged;
}

void RecorderBacklog::releaseIfCaughtUp() {
    if (inFlight_.empty() && !records_.empty() && position_.acknowledged == records_.size()) {
        RecordList().swap(records_);
    }
}

std::optional<InFlightRecord> SendWindow::take(int messageId) {
    const auto found = byMessage_.find(messageId);
    if (found == byMessage_.end()) {
        return std::nullopt;
    }
    const InFlightRecord record = found->second;
    byMessage_.erase(found);
    return record;
}

bool RetryPacer::failed(int64_t nowMs) {
    const bool first = !inOutage_;
    if (first) {
        pauseMs_ = kFirstPauseMs;
    } else {
        pauseMs_ = std::min(pauseMs_ * 2, kLongestPauseMs);
    }
    inOutage_ = true;
    nextAttemptMs_ = nowMs + pauseMs_;
    return first;
}

void RetryPacer::succeeded() {
    inOutage_ = false;
    pauseMs_ = kFirstPauseMs;
}

} // namespace veldrin::publish
