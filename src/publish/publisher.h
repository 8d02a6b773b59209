#pragma once
// Publishing what the acquisition chain has saved: the data folder's registry and data files are
// read (never written), every record goes to the broker once the broker acknowledges it, and the
// acknowledged position of every recorder is kept beside its data file. The logging to disk never
// waits for the broker: the publisher runs on a thread of its own and only reads the files.

#include "core/clock.h"
#include "publish/backlog.h"
#include "publish/broker_session.h"
#include "publish/broker_url.h"
#include "publish/messages.h"
#include "publish/position_saver.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace veldrin::publish {

// Messages of the history in flight at most: enough to keep a local or a distant broker busy,
// few enough that a backlog of a million records is a stream rather than a flood.
constexpr std::size_t kDefaultWindow = 64;

struct PublisherSettings {
    std::string dataFolder;
    std::string prefix = kDefaultPrefix;
    std::string machine = "_"; // this machine's topic level (topicLevel())
    std::string positionKey;   // brokerKey() of the broker and prefix
    std::string brokerName;    // the URL as the log names it
    std::string discoveryPrefix = kDefaultDiscoveryPrefix;
    // Off: the discovery configurations of every recorder known are cleared instead.
    bool discovery = true;
    std::size_t window = kDefaultWindow;
    // Records of a backlog per second at most; 0: as fast as the broker takes them.
    int64_t rate = 0;
    // The positions are written on a thread of their own; off: at once (tests).
    bool saveInBackground = true;
};

// The recorder attached now (-1 for none), or nothing while that is not known yet (the first
// presence poll, a recorder being identified); asked from the publisher's thread.
using AttachedRecorder = std::function<std::optional<int32_t>()>;
// Every recorder attached now (none: an empty set), or nothing while that is not known yet (the
// first presence step, a recorder found and being identified); asked from the publisher's thread.
using AttachedRecorders = std::function<std::optional<std::set<int32_t>>()>;
using LogLine = std::function<void(const std::string&)>;

class Publisher final : private SessionEvents {
public:
    static constexpr int64_t kScanIntervalMs = 1000;
    static constexpr int64_t kSaveIntervalMs = 1000;
    static constexpr int kPumpMs = 100;
    static constexpr int64_t kFinishBoundMs = 2000;
    // The position is saved after this many acknowledgements at the latest, so that a crash
    // sends no more than that again.
    static constexpr uint64_t kSaveEveryAcknowledgements = 1000;

    Publisher(PublisherSettings settings, BrokerSession& session, Clock& clock,
              AttachedRecorder attached, LogLine notice, LogLine problem);
    // Several recorders attached at once, each online while attached: in place of the one
    // recorder given at construction. Before the first step.
    void followRecorders(AttachedRecorders attached) { attached_ = std::move(attached); }

    // One turn: connect when due, read the files that changed, send, move the network.
    void step();
    // Steps until `stop` is set, then finish().
    void run(const std::atomic<bool>& stop);
    // Availabilities offline, the acknowledged positions saved, a clean disconnect.
    void finish();

    bool loggedIn() const { return loggedIn_; }
    // Acknowledged records of a recorder (0 for one not known).
    uint64_t acknowledgedRecords(int32_t number) const;
    bool caughtUp() const;

private:
    struct Recorder {
        int32_t number = 0;
        bool valid = false; // a registered, valid identity
        std::string identity;
        RecorderInfo info;
        RecorderBacklog backlog;
        int64_t fileSize = -1;
        int64_t fileTimeNs = -1;
        bool positionDirty = false;
        uint64_t savedAcknowledged = 0;
        bool legacyPosition = false; // taken from a file of an earlier version
        bool discoveryDue = true;
        bool clearDue = false; // empty discovery configurations and state to send
        bool stateDue = false;
        bool published = false; // has records on the broker (or had, before a clearing)
        // The newest record of the file, sent as the retained state.
        std::optional<HistoryRecord> newest;
        uint64_t recordCount = 0;
        std::string availabilitySent;
    };

    void connected(int code, const std::string& reason) override;
    void acknowledged(int messageId) override;
    void received(const std::string& topic, const std::string& payload) override;

    void attemptConnection(int64_t nowMs);
    void connectionLost(const std::string& error, int64_t nowMs);
    void scan();
    Recorder& recorderFor(int32_t number);
    void readDataFile(Recorder& recorder);
    void announce();
    void announceRecorder(Recorder& recorder, const std::optional<std::set<int32_t>>& attached);
    void sendDiscovery(Recorder& recorder);
    void clearDiscovery(Recorder& recorder);
    void sendState(Recorder& recorder);
    void noteHistory(Recorder& recorder, const RecordList& records, bool restarted);
    void fillWindow();
    bool rateAllows();
    bool sendNext(Recorder& recorder);
    int publishTracked(const std::string& topic, const std::string& payload, bool retain);
    void savePositions(bool all);
    void savePosition(Recorder& recorder);

    PublisherSettings settings_;
    Topics topics_;
    BrokerSession& session_;
    Clock& clock_;
    AttachedRecorders attached_;
    LogLine notice_;
    LogLine problem_;

    std::map<int32_t, Recorder> recorders_;
    SendWindow window_;
    RetryPacer pacer_;
    bool sessionOpen_ = false;
    bool loggedIn_ = false;
    bool programOnlineSent_ = false;
    bool failing_ = false; // a publish could not be queued: the session is dropped
    const std::atomic<bool>* stop_ = nullptr; // run()'s, while it runs
    std::string refusal_;
    PositionSaver saver_;
    // Messages of finish() not yet acknowledged.
    std::set<int> finalMessages_;
    int64_t nextScanMs_ = 0;
    int64_t nextSaveMs_ = 0;
    // The --mqtt-rate bucket: up to one second's records are sent at once, so that a live record
    // after a quiet spell goes out without waiting.
    double rateTokens_ = 0;
    int64_t rateFilledMs_ = -1;
};

// Removes the retained messages of `topics` from the broker (an empty retained message each) and
// waits for its acknowledgements, at most kForgetBoundMs; false with the reason when the broker
// cannot be reached, refuses the login or does not acknowledge in time.
constexpr int64_t kForgetBoundMs = 10000;
bool clearRetained(BrokerSession& session, const std::vector<std::string>& topics, Clock& clock,
                   std::string& error);

} // namespace veldrin::publish
