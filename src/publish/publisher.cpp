#include "publish/publisher.h"

#include "core/atomic_file.h"
#include "lang/utf.h"
#include "store/ini_file.h"
#include "store/registry.h"

#include <sys/stat.h>

namespace veldrin::publish {
namespace {

constexpr int64_t kIdleMs = 100;

std::string mainIniPath(const std::string& folder) {
    return folder + "/main.ini";
}

} // namespace

Publisher::Publisher(PublisherSettings settings, BrokerSession& session, Clock& clock,
                     AttachedRecorder attached, LogLine notice, LogLine problem)
    : settings_(std::move(settings)), topics_(settings_.prefix), session_(session), clock_(clock),
      attached_(std::move(attached)), notice_(std::move(notice)), problem_(std::move(problem)),
      window_(settings_.window) {}

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
    if (!sessionOpen_) {
        clock_.sleepMs(kIdleMs);
        return;
    }
    std::string error;
    if (failing_ || !session_.pump(kPumpMs, error)) {
        connectionLost(failing_ ? "a message could not be sent" : error, clock_.steadyMs());
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
    for (auto& [number, recorder] : recorders_) {
        recorder.discoveryDue = settings_.discovery;
        recorder.availabilitySent.clear();
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
    const std::string why = refusal_.empty() ? error : "the broker refused the login: " + refusal_;
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
    recorder.discoveryDue = settings_.discovery;
    recorder.backlog.restore(loadPosition(positionPath(settings_.dataFolder, number)));
    return recorder;
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
            recorder.discoveryDue = settings_.discovery;
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
                     content.settings.versionMinor != recorder.info.versionMinor)) {
        recorder.info.description = description;
        recorder.info.versionMajor = content.settings.versionMajor;
        recorder.info.versionMinor = content.settings.versionMinor;
        recorder.discoveryDue = settings_.discovery;
    }
    if (recorder.backlog.replaceRecords(recorder.identity, std::move(content.records))) {
        recorder.positionDirty = true;
    }
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
    const int32_t attached = attached_ ? attached_() : -1;
    for (auto& [number, recorder] : recorders_) {
        if (!recorder.valid) {
            continue;
        }
        if (recorder.discoveryDue) {
            for (const Quantity quantity : {Quantity::temperature, Quantity::humidity}) {
                publishTracked(discoveryTopic(recorder.info.identity, quantity),
                               discoveryJson(recorder.info, quantity, topics_), true);
            }
            recorder.discoveryDue = false;
        }
        const std::string wanted = number == attached ? kOnline : kOffline;
        if (recorder.availabilitySent != wanted) {
            publishTracked(topics_.availability(recorder.info.identity), wanted, true);
            recorder.availabilitySent = wanted;
        }
    }
}

// One record of each recorder in turn, so that a long backlog of one does not hold back the
// others.
void Publisher::fillWindow() {
    bool sent = true;
    while (sent && window_.hasRoom() && !failing_) {
        sent = false;
        for (auto& [number, recorder] : recorders_) {
            if (!window_.hasRoom() || failing_) {
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
    const std::string payload = recordJson(recorder.info, backlog.record(index));
    const int messageId = publishTracked(topics_.record(recorder.info.identity), payload, false);
    if (messageId < 0) {
        return false;
    }
    window_.add(messageId, InFlightRecord{recorder.number, backlog.generation(), index});
    if (backlog.isNewest(index)) {
        publishTracked(topics_.state(recorder.info.identity), payload, true);
    }
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
    if (recorder.backlog.position().acknowledged == recorder.backlog.recordCount()) {
        // Caught up: kept at once, so that a restart does not send the whole backlog again.
        savePosition(recorder);
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
    std::string error;
    if (!publish::savePosition(positionPath(settings_.dataFolder, recorder.number),
                               recorder.backlog.position(), error)) {
        // Said once per recorder until its position is kept again: saves are tried every second.
        if (!recorder.positionProblemSaid) {
            problem_("MQTT: the published position cannot be kept: " + error);
            recorder.positionProblemSaid = true;
        }
        return;
    }
    recorder.positionProblemSaid = false;
    recorder.positionDirty = false;
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

} // namespace veldrin::publish
