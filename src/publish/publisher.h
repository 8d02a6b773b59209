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

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>

namespace veldrin::publish {

// Messages of the history in flight at most: enough to keep a local or a distant broker busy,
// few enough that a backlog of a million records is a stream rather than a flood.
constexpr std::size_t kDefaultWindow = 64;

struct PublisherSettings {
    std::string dataFolder;
    std::string prefix = kDefaultPrefix;
    std::string brokerName; // the URL as the log names it
    bool discovery = true;
    std::size_t window = kDefaultWindow;
};

// The recorder attached now (-1 for none); asked from the publisher's thread.
using AttachedRecorder = std::function<int32_t()>;
using LogLine = std::function<void(const std::string&)>;

class Publisher final : private SessionEvents {
public:
    static constexpr int64_t kScanIntervalMs = 1000;
    static constexpr int64_t kSaveIntervalMs = 1000;
    static constexpr int kPumpMs = 100;
    static constexpr int64_t kFinishBoundMs = 2000;

    Publisher(PublisherSettings settings, BrokerSession& session, Clock& clock,
              AttachedRecorder attached, LogLine notice, LogLine problem);

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
        bool positionProblemSaid = false; // since its last successful save
        bool discoveryDue = true;
        std::string availabilitySent;
    };

    void connected(int code, const std::string& reason) override;
    void acknowledged(int messageId) override;

    void attemptConnection(int64_t nowMs);
    void connectionLost(const std::string& error, int64_t nowMs);
    void scan();
    Recorder& recorderFor(int32_t number);
    void readDataFile(Recorder& recorder);
    void announce();
    void fillWindow();
    bool sendNext(Recorder& recorder);
    int publishTracked(const std::string& topic, const std::string& payload, bool retain);
    void savePositions(bool all);
    void savePosition(Recorder& recorder);

    PublisherSettings settings_;
    Topics topics_;
    BrokerSession& session_;
    Clock& clock_;
    AttachedRecorder attached_;
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
    // Messages of finish() not yet acknowledged.
    std::set<int> finalMessages_;
    int64_t nextScanMs_ = 0;
    int64_t nextSaveMs_ = 0;
};

} // namespace veldrin::publish
