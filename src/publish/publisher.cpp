#include "publish/publisher.h"

#include "core/atomic_file.h"
#include "lang/utf.h"
#include "store/ini_file.h"
#include "store/registry.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

namespace veldrin::publish {
namespace {

constexpr int64_t kIdleMs = 100;

std::string mainIniPath(const std::string& folder) {
    return folder + "/main.ini";
}

} // namespace

namespace {

// The one recorder attached (-1: none) as the set of those attached.
AttachedRecorders asSet(AttachedRecorder attached) {
    if (!attached) {
        return {};
    }
    return [one = std::move(attached)]() -> std::optional<std::set<int32_t>> {
        const std::optional<int32_t> number = one();
        if (!number) {
            return std::nullopt;
        }
        return *number < 0 ? std::set<int32_t>{} : std::set<int32_t>{*number};
    };
}

} // namespace

Publisher::Publisher(PublisherSettings settings, BrokerSession& session, Clock& clock,
                     AttachedRecorder attached, LogLine notice, LogLine problem)
    : settings_(std::move(settings)), topics_(settings_.prefix, settings_.machine),
      session_(session), clock_(clock), attached_(asSet(std::move(attached))),
      notice_(std::move(notice)), problem_(std::move(problem)), window_(settings_.window),
      saver_(settings_.saveInBackground) {}

void Publisher::run(const std::atomic<bool>& stop) {
    stop_ = &stop;
    while (!stop.load()) {
        step();
    }
    finish();
}

void Publisher::step() {
    const int64_t now = clock_.steadyMs();
    if (!sessionOpen_ && pacer_.due(now)) {
        attemptConnection(now);
    }
    if (now >= nextScanMs_) {
        scan();
        nextScanMs_ = now + kScanIntervalMs;
    }
    if (loggedIn_) {
        announce();
        fillWindow();
    }
    savePositions(false);
    for (const std::string& problem : saver_.takeProblems()) {
        problem_(problem);
    }
    if (!sessionOpen_) {
        clock_.sleepMs(kIdleMs);
        return;
    }
    std::string error;
    if (failing_ || !session_.pump(kPumpMs, error)) {
        connectionLost(failing_ ? session_.publishFailure() : error, clock_.steadyMs());
    }
}

void Publisher::attemptConnection(int64_t nowMs) {
    refusal_.clear();
    failing_ = false;
    std::string error;
    if (!session_.open(*this, error)) {
        sessionOpen_ = true; // so that connectionLost() counts the attempt once
        connectionLost(error, nowMs);
        return;
    }
    sessionOpen_ = true;
}

void Publisher::connected(int code, const std::string& reason) {
    if (code != 0) {
        refusal_ = reason;
        return;
    }
    loggedIn_ = true;
    programOnlineSent_ = false;
    // A broker that lost its retained messages (restarted without persistence) gets them again:
    // the configurations, the availabilities and the newest record as the state.
    for (auto& [number, recorder] : recorders_) {
        recorder.discoveryDue = true;
        recorder.stateDue = true;
        recorder.availabilitySent.clear();
    }
    if (settings_.discovery && !session_.subscribe(hubStatusTopic(settings_.discoveryPrefix))) {
        failing_ = true;
    }
    pacer_.succeeded();
    notice_("MQTT: publishing to " + settings_.brokerName);
}

void Publisher::connectionLost(const std::string& error, int64_t nowMs) {
    if (!sessionOpen_) {
        return;
    }
    session_.close();
    sessionOpen_ = false;
    loggedIn_ = false;
    failing_ = false;
    window_.clear();
    for (auto& [number, recorder] : recorders_) {
        recorder.backlog.connectionLost();
    }
    std::string why = refusal_.empty() ? error : "the broker refused the login: " + refusal_;
    // The reason goes on inside a sentence.
    while (!why.empty() && (why.back() == '.' || why.back() == ' ')) {
        why.pop_back();
    }
    // A connection cut short by stopping is no failure to report.
    const bool stopping = stop_ != nullptr && stop_->load();
    if (pacer_.failed(nowMs) && !stopping) {
        problem_("MQTT: " + settings_.brokerName + ": " + why +
                 "; the records stay on disk and are published once the broker can be reached "
                 "(tried again after pauses growing from 1 to 60 seconds)");
    }
}

Publisher::Recorder& Publisher::recorderFor(int32_t number) {
    const auto found = recorders_.find(number);
    if (found != recorders_.end()) {
        return found->second;
    }
    Recorder& recorder = recorders_[number];
    recorder.number = number;
    recorder.info.number = number;
    recorder.discoveryDue = true;
    PublishedPosition position =
        loadPosition(positionPath(settings_.dataFolder, number, settings_.positionKey));
    if (position.identity.empty()) {
        position = loadPosition(legacyPositionPath(settings_.dataFolder, number));
        recorder.legacyPosition = !position.identity.empty();
    }
    recorder.savedAcknowledged = position.acknowledged;
    recorder.published = position.acknowledged > 0;
    recorder.backlog.restore(position);
    return recorder;
}

// The hub has (re)started and knows nothing of the sensors: everything it needs again.
void Publisher::received(const std::string& topic, const std::string& payload) {
    if (topic != hubStatusTopic(settings_.discoveryPrefix) || payload != kOnline) {
        return;
    }
    for (auto& [number, recorder] : recorders_) {
        recorder.discoveryDue = true;
        recorder.stateDue = true;
    }
}

void Publisher::scan() {
    const IniSnapshot ini = IniSnapshot::load(mainIniPath(settings_.dataFolder));
    const int32_t count = registeredCount(ini).count;
    for (int32_t number = 0; number < count; ++number) {
        Recorder& recorder = recorderFor(number);
        RecorderIdentity identity;
        recorder.valid = registeredIdentity(ini, number, identity) && identity.isValid();
        if (!recorder.valid) {
            continue;
        }
        if (!(identity == recorder.info.identity) || recorder.identity.empty()) {
            recorder.info.identity = identity;
            recorder.identity = identityText(identity);
            recorder.discoveryDue = true;
            recorder.availabilitySent.clear();
            recorder.fileSize = -1; // read the history again under the new identity
        }
        readDataFile(recorder);
    }
}

void Publisher::readDataFile(Recorder& recorder) {
    const std::string path = dataFilePath(settings_.dataFolder, recorder.number);
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    const int64_t size = exists ? static_cast<int64_t>(st.st_size) : 0;
    const int64_t timeNs =
        exists ? int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec : 0;
    if (size == recorder.fileSize && timeNs == recorder.fileTimeNs) {
        return;
    }
    DataFileContent content;
    if (size > 0) {
        OpenFailure failure = OpenFailure::none;
        std::string error;
        if (!veldrin::readDataFile(path, content, failure, error)) {
            return; // a damaged file is the store's to deal with; tried again at the next scan
        }
    }
    recorder.fileSize = size;
    recorder.fileTimeNs = timeNs;
    const std::string description = utf16ToUtf8(content.settings.description);
    if (size > 0 && (description != recorder.info.description ||
                     content.settings.versionMajor != recorder.info.versionMajor ||
                     content.settings.versionMinor != recorder.info.versionMinor ||
                     content.settings.interval != recorder.info.intervalMinutes)) {
        recorder.info.description = description;
        recorder.info.versionMajor = content.settings.versionMajor;
        recorder.info.versionMinor = content.settings.versionMinor;
        recorder.info.intervalMinutes = content.settings.interval;
        recorder.discoveryDue = true;
    }
    const RecordList& records = content.records;
    std::optional<HistoryRecord> newest;
    if (!records.empty()) {
        newest = records.back();
    }
    const uint64_t count = records.size();
    const bool restarted =
        recorder.backlog.replaceRecords(recorder.identity, std::move(content.records));
    if (restarted) {
        recorder.positionDirty = true;
    }
    const bool newestChanged =
        count != recorder.recordCount || (newest.has_value() != recorder.newest.has_value()) ||
        (newest && !(fingerprintOf(*newest) == fingerprintOf(*recorder.newest)));
    recorder.recordCount = count;
    recorder.newest = newest;
    if (newestChanged) {
        recorder.stateDue = true;
    }
    if (count == 0 && recorder.published) {
        // Cleared: the hub's sensors of this history go, until records come again.
        recorder.clearDue = true;
        recorder.published = false;
    } else if (count > 0 && !recorder.published) {
        recorder.published = true;
        recorder.discoveryDue = true;
    }
}

void Publisher::sendDiscovery(Recorder& recorder) {
    for (const Quantity quantity : {Quantity::temperature, Quantity::humidity}) {
        publishTracked(discoveryTopic(settings_.discoveryPrefix, recorder.info.identity, quantity),
                       discoveryJson(recorder.info, quantity, topics_), true);
    }
}

// An empty retained message removes the retained one: the hub drops the sensor.
void Publisher::clearDiscovery(Recorder& recorder) {
    for (const Quantity quantity : {Quantity::temperature, Quantity::humidity}) {
        publishTracked(discoveryTopic(settings_.discoveryPrefix, recorder.info.identity, quantity),
                       std::string(), true);
    }
}

void Publisher::sendState(Recorder& recorder) {
    if (!recorder.newest) {
        publishTracked(topics_.state(recorder.info.identity), std::string(), true);
        return;
    }
    const uint64_t index = recorder.recordCount - 1;
    const std::string id = recorder.backlog.idFor(index, *recorder.newest);
    publishTracked(topics_.state(recorder.info.identity),
                   recordJson(recorder.info, *recorder.newest, id), true);
}

int Publisher::publishTracked(const std::string& topic, const std::string& payload, bool retain) {
    const int messageId = session_.publish(topic, payload, retain);
    if (messageId < 0) {
        failing_ = true;
    }
    return messageId;
}

void Publisher::announce() {
    if (!programOnlineSent_) {
        publishTracked(topics_.programAvailability(), kOnline, true);
        programOnlineSent_ = true;
    }
    const std::optional<std::set<int32_t>> attached =
        attached_ ? attached_() : std::optional<std::set<int32_t>>(std::set<int32_t>{});
    for (auto& [number, recorder] : recorders_) {
        if (recorder.valid && recorder.fileSize >= 0) {
            announceRecorder(recorder, attached);
        }
    }
}

void Publisher::announceRecorder(Recorder& recorder,
                                 const std::optional<std::set<int32_t>>& attached) {
    if (recorder.clearDue) {
        clearDiscovery(recorder);
        sendState(recorder);
        recorder.clearDue = false;
        recorder.stateDue = false;
    }
    if (recorder.discoveryDue) {
        // Without discovery, the configurations of earlier runs are cleared.
        if (!settings_.discovery) {
            clearDiscovery(recorder);
        } else if (recorder.published) {
            sendDiscovery(recorder);
        }
        recorder.discoveryDue = false;
    }
    if (recorder.stateDue && recorder.newest) {
        sendState(recorder);
        recorder.stateDue = false;
    }
    // Nothing is said while it is not known whether the recorder is attached: a recorder
    // attached at start goes straight to online.
    if (!attached) {
        return;
    }
    const std::string wanted = attached->count(recorder.number) != 0 ? kOnline : kOffline;
    if (recorder.availabilitySent != wanted) {
        publishTracked(topics_.availability(recorder.info.identity), wanted, true);
        recorder.availabilitySent = wanted;
    }
}

bool Publisher::rateAllows() {
    if (settings_.rate <= 0) {
        return true;
    }
    const int64_t now = clock_.steadyMs();
    const double capacity = static_cast<double>(settings_.rate);
    if (rateFilledMs_ < 0) {
        rateTokens_ = capacity;
    } else {
        rateTokens_ = std::min(capacity, rateTokens_ + static_cast<double>(now - rateFilledMs_) *
                                                           capacity / 1000.0);
    }
    rateFilledMs_ = now;
    return rateTokens_ >= 1.0;
}

// One record of each recorder in turn, so that a long backlog of one does not hold back the
// others.
void Publisher::fillWindow() {
    bool sent = true;
    while (sent && window_.hasRoom() && !failing_) {
        sent = false;
        for (auto& [number, recorder] : recorders_) {
            if (!window_.hasRoom() || failing_ || !rateAllows()) {
                sent = false;
                break;
            }
            if (recorder.valid && recorder.backlog.hasPending()) {
                sent = sendNext(recorder) || sent;
            }
        }
    }
}

bool Publisher::sendNext(Recorder& recorder) {
    RecorderBacklog& backlog = recorder.backlog;
    const uint64_t index = backlog.takeNext();
    const HistoryRecord& record = backlog.record(index);
    const std::string payload = recordJson(recorder.info, record, backlog.idFor(index, record));
    const int messageId = publishTracked(topics_.record(recorder.info.identity), payload, false);
    if (messageId < 0) {
        return false;
    }
    rateTokens_ -= 1.0;
    window_.add(messageId, InFlightRecord{recorder.number, backlog.generation(), index});
    return true;
}

void Publisher::acknowledged(int messageId) {
    finalMessages_.erase(messageId);
    const std::optional<InFlightRecord> sent = window_.take(messageId);
    if (!sent) {
        return;
    }
    const auto found = recorders_.find(sent->recorder);
    if (found == recorders_.end()) {
        return;
    }
    Recorder& recorder = found->second;
    if (!recorder.backlog.acknowledge(sent->generation, sent->index)) {
        return;
    }
    recorder.positionDirty = true;
    const uint64_t acknowledgedNow = recorder.backlog.position().acknowledged;
    const bool caughtUp = acknowledgedNow == recorder.backlog.recordCount();
    if (caughtUp || acknowledgedNow >= recorder.savedAcknowledged + kSaveEveryAcknowledgements) {
        // Caught up: kept at once, so that a restart does not send the whole backlog again.
        savePosition(recorder);
    }
    if (caughtUp) {
        recorder.backlog.releaseIfCaughtUp();
    }
}

void Publisher::savePositions(bool all) {
    const int64_t now = clock_.steadyMs();
    if (!all && now < nextSaveMs_) {
        return;
    }
    nextSaveMs_ = now + kSaveIntervalMs;
    for (auto& [number, recorder] : recorders_) {
        if (recorder.positionDirty) {
            savePosition(recorder);
        }
    }
}

void Publisher::savePosition(Recorder& recorder) {
    const PublishedPosition& position = recorder.backlog.position();
    // A file of an earlier version is taken over by this broker's; another broker then starts
    // from the beginning.
    saver_.save(positionPath(settings_.dataFolder, recorder.number, settings_.positionKey),
                position,
                recorder.legacyPosition ? legacyPositionPath(settings_.dataFolder, recorder.number)
                                        : std::string());
    recorder.positionDirty = false;
    recorder.savedAcknowledged = position.acknowledged;
    recorder.legacyPosition = false;
}

void Publisher::finish() {
    if (loggedIn_) {
        for (auto& [number, recorder] : recorders_) {
            if (recorder.availabilitySent == kOnline) {
                finalMessages_.insert(
                    publishTracked(topics_.availability(recorder.info.identity), kOffline, true));
            }
        }
        finalMessages_.insert(publishTracked(topics_.programAvailability(), kOffline, true));
        const int64_t deadline = clock_.steadyMs() + kFinishBoundMs;
        std::string error;
        while (!finalMessages_.empty() && !failing_ && clock_.steadyMs() < deadline &&
               session_.pump(kPumpMs, error)) {
        }
    }
    savePositions(true);
    saver_.flush();
    for (const std::string& problem : saver_.takeProblems()) {
        problem_(problem);
    }
    if (sessionOpen_) {
        session_.close();
    }
    sessionOpen_ = false;
    loggedIn_ = false;
}

uint64_t Publisher::acknowledgedRecords(int32_t number) const {
    const auto found = recorders_.find(number);
    return found == recorders_.end() ? 0 : found->second.backlog.position().acknowledged;
}

bool Publisher::caughtUp() const {
    for (const auto& [number, recorder] : recorders_) {
        if (recorder.valid && (recorder.backlog.hasPending() || recorder.backlog.inFlight() > 0)) {
            return false;
        }
    }
    return !recorders_.empty();
}

namespace {

struct ForgetEvents final : SessionEvents {
    std::optional<int> answer;
    std::string refusal;
    std::set<int> unacknowledged;
    void connected(int code, const std::string& reason) override {
        answer = code;
        refusal = reason;
    }
    void acknowledged(int messageId) override { unacknowledged.erase(messageId); }
};

} // namespace

bool clearRetained(BrokerSession& session, const std::vector<std::string>& topics, Clock& clock,
                   std::string& error) {
    ForgetEvents events;
    if (!session.open(events, error)) {
        return false;
    }
    const int64_t deadline = clock.steadyMs() + kForgetBoundMs;
    const auto pumpUntil = [&](const std::function<bool()>& done) {
        while (!done() && clock.steadyMs() < deadline) {
            if (!session.pump(Publisher::kPumpMs, error)) {
                return false;
            }
        }
        return done();
    };
    bool ok = pumpUntil([&] { return events.answer.has_value(); });
    if (ok && *events.answer != 0) {
        error = "the broker refused the login: " + events.refusal;
        ok = false;
    }
    for (std::size_t i = 0; ok && i < topics.size(); ++i) {
        const int messageId = session.publish(topics[i], std::string(), true);
        if (messageId < 0) {
            error = session.publishFailure();
            ok = false;
        }
        events.unacknowledged.insert(messageId);
    }
    if (ok && !pumpUntil([&] { return events.unacknowledged.empty(); })) {
        error = error.empty() ? "the broker did not acknowledge in time" : error;
        ok = false;
    }
    session.close();
    return ok;
}

} // namespace veldrin::publish
