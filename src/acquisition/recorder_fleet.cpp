#include "acquisition/recorder_fleet.h"

#include "core/paths.h"
#include "device/logger_link.h"
#include "store/ini_file.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <iterator>
#include <mutex>
#include <set>

namespace veldrin {

// Reports and store notices of every chain, tagged with the chain they came from, in the order
// they were posted.
struct RecorderFleet::Queue {
    struct Item {
        uint64_t chain = 0;
        int32_t number = 0;
        int code = 0;
        bool notice = false; // a store notice in `text` rather than a report
        std::string text;
    };

    void post(Item item) {
        {
            std::lock_guard lock(mutex);
            items.push_back(std::move(item));
        }
        ready.notify_one();
        if (wakeUp) {
            wakeUp();
        }
    }
    std::deque<Item> takeAll(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        ready.wait_for(lock, timeout, [&] { return !items.empty(); });
        std::deque<Item> taken;
        taken.swap(items);
        return taken;
    }

    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Item> items;
    // Set before any worker runs; called on the posting thread.
    std::function<void()> wakeUp;
    // Taken but held back by the driving thread (its own, no lock), oldest first: every report of
    // a chain from its first held one on.
    std::deque<Item> held;
};

// The worker's reports of one chain, tagged on their way into the fleet's queue.
class TaggedSink final : public ReportSink {
public:
    explicit TaggedSink(std::function<void(int32_t, int)> post) : post_(std::move(post)) {}
    void postLoggerStatus(int32_t number, int code) override { post_(number, code); }

private:
    std::function<void(int32_t, int)> post_;
};

// What one chain's acquisition and store say, passed on with the chain named. Store notices may
// come on the worker's thread: they are queued and said on the driving thread.
class RecorderFleet::ChainListener final : public AcquisitionListener, public DataStoreListener {
public:
    ChainListener(RecorderFleet& fleet, uint64_t chain) : fleet_(fleet), chain_(chain) {}

    void statusText(const std::u16string& text) override;
    void recordersChanged(int32_t maxId, int32_t /*current*/) override {
        fleet_.listener_->recordersChanged(maxId);
    }
    void applyTimeWindow() override { fleet_.timeWindowDue_ = true; }
    void problem(const std::string& message) override {
        fleet_.queue_->post(Queue::Item{chain_, 0, 0, true, message});
    }
    // Said on the driving thread: only its commands clear a chain's store.
    void recordsCleared(int32_t number) override { fleet_.listener_->recordsCleared(number); }

private:
    RecorderFleet& fleet_;
    uint64_t chain_;
};

struct RecorderFleet::Chain {
    Chain(RecorderFleet& fleet, uint64_t id, const std::string& interfacePath)
        : id(id), path(interfacePath), link(fleet.backend_, interfacePath),
          ini(joinPath(fleet.folder_, "main.ini")), store(fleet.folder_, ini, fleet.clock_),
          sink([&queue = *fleet.queue_, id](int32_t number, int code) {
              queue.post(Queue::Item{id, number, code, false, {}});
          }),
          listener(fleet, id), acquisition(link, store, fleet.clock_, sink, &listener) {
        store.setListener(&listener);
        // What a chain downloads is read from its connected set (the window shows a copy in a
        // store of its own): a displayed set following it would hold every record twice.
        store.setDisplayFollowsConnected(false);
        acquisition.shareIssuedIdentities(fleet.issued_);
    }

    const uint64_t id;
    const std::string path;
    // Whether the listener has been told that its recorder is attached.
    bool announced = false;
    // Whether its interface is listed (not retired, not asleep).
    bool serving = true;
    LoggerLink link;
    IniFile ini;
    DataStore store;
    TaggedSink sink;
    ChainListener listener;
    // Last: torn down first, which ends the worker before anything it uses goes.
    Acquisition acquisition;
};

void RecorderFleet::ChainListener::statusText(const std::u16string& text) {
    Chain* chain = fleet_.find(chain_);
    if (chain != nullptr && !text.empty()) {
        fleet_.listener_->statusText(fleet_.describe(*chain), text);
    }
}

// The listener hears of a recorder attached or gone once per change, whichever way the chain
// learnt of it (its presence poll, or a worker that ended after a failed reconnect).
void RecorderFleet::sayPresence(Chain& chain) {
    const bool attached = chain.acquisition.recorderPresent();
    if (chain.announced == attached) {
        return;
    }
    chain.announced = attached;
    const FleetRecorder recorder = describe(chain);
    if (attached) {
        listener_->recorderAttached(recorder);
    } else {
        listener_->recorderVanished(recorder);
    }
}

RecorderFleet::RecorderFleet(HidBackend& backend, std::string dataFolder, Clock& clock,
                             FleetListener* listener)
    : backend_(backend), folder_(std::move(dataFolder)), clock_(clock),
      listener_(listener != nullptr ? listener : &quiet_), queue_(std::make_unique<Queue>()) {}

RecorderFleet::~RecorderFleet() {
    // Every worker ends before the queue it posts to goes.
    active_.clear();
    retired_.clear();
    sleeping_.clear();
}

void RecorderFleet::setWakeUp(std::function<void()> wakeUp) {
    queue_->wakeUp = std::move(wakeUp);
}

RecorderFleet::Chain* RecorderFleet::find(uint64_t id) {
    for (auto& [path, chain] : active_) {
        if (chain->id == id) {
            return chain.get();
        }
    }
    for (auto* list : {&retired_, &sleeping_}) {
        for (auto& chain : *list) {
            if (chain->id == id) {
                return chain.get();
            }
        }
    }
    return nullptr;
}

FleetRecorder RecorderFleet::describe(const Chain& chain) const {
    return FleetRecorder{chain.id, chain.path, chain.link.currentRecorder.load(),
                         chain.serving && chain.acquisition.recorderPresent()};
}

void RecorderFleet::startChain(const std::string& interfacePath) {
    auto chain = std::make_unique<Chain>(*this, nextChain_++, interfacePath);
    Chain& made = *chain;
    active_.emplace(interfacePath, std::move(chain));
    made.acquisition.PollPresence();
    sayPresence(made);
}

// The recorder is said to be gone at once; the chain sleeps once its worker has finished (a
// download in progress ends at its next failed read), its reports still handled meanwhile.
void RecorderFleet::retire(Chain& chain) {
    chain.serving = false;
    chain.acquisition.setInterfaceListed(false);
    if (chain.announced) {
        chain.announced = false;
        listener_->recorderVanished(describe(chain)); // no longer serving: not attached
    }
    auto node = active_.extract(chain.path);
    retired_.push_back(std::move(node.mapped()));
}

void RecorderFleet::absorbCounts(const Chain& chain) {
    retiredCounts_.failedWrites += chain.store.failedWrites();
    retiredCounts_.filesMovedAside += chain.store.filesMovedAside();
    retiredCounts_.failedDownloads += chain.acquisition.shared().failedDownloads.load();
    retiredCounts_.endedWorkers += chain.acquisition.shared().endedWorkers.load();
}

// A retired chain whose worker has finished ends the worker and sleeps, its recorder counted as
// gone, so that the presence poll of its waking connects whatever is there then.
void RecorderFleet::sleepFinished() {
    for (auto it = retired_.begin(); it != retired_.end();) {
        if ((*it)->acquisition.workerBusy()) {
            ++it;
            continue;
        }
        (*it)->acquisition.stopWorker();
        (*it)->acquisition.shared().recorderPresent.store(0);
        sleeping_.push_back(std::move(*it));
        it = retired_.erase(it);
    }
    while (sleeping_.size() > kMaxSleepingChains) {
        listener_->chainEnded(describe(*sleeping_.front()));
        absorbCounts(*sleeping_.front());
        sleeping_.erase(sleeping_.begin());
    }
}

void RecorderFleet::wake(const std::string& interfacePath) {
    const auto it = std::find_if(sleeping_.begin(), sleeping_.end(),
                                 [&](const auto& chain) { return chain->path == interfacePath; });
    Chain& woken = **it;
    active_.emplace(interfacePath, std::move(*it));
    sleeping_.erase(it);
    woken.serving = true;
    woken.acquisition.setInterfaceListed(true);
    woken.acquisition.PollPresence();
    sayPresence(woken);
}

void RecorderFleet::tick() {
    std::vector<std::string> listed;
    // An enumeration that failed says nothing about which recorders are gone.
    const bool listing = backend_.listInterfaces(listed);
    const std::set<std::string> present(listed.begin(), listed.end());
    std::vector<Chain*> started;
    if (listing) {
        std::vector<Chain*> gone;
        for (auto& [path, chain] : active_) {
            if (present.count(path) == 0) {
                gone.push_back(chain.get());
            }
        }
        for (Chain* chain : gone) {
            retire(*chain);
        }
        for (const std::string& path : listed) {
            // A retired chain of the same interface finishes first: two chains never serve one
            // recorder.
            const auto here = [&](const auto& c) { return c->path == path; };
            if (active_.count(path) != 0 || std::any_of(retired_.begin(), retired_.end(), here)) {
                continue;
            }
            if (std::any_of(sleeping_.begin(), sleeping_.end(), here)) {
                wake(path);
            } else {
                startChain(path);
            }
            started.push_back(active_.at(path).get());
        }
    }
    for (auto& [path, chain] : active_) {
        if (std::find(started.begin(), started.end(), chain.get()) == started.end()) {
            chain->acquisition.periodicStep();
            sayPresence(*chain);
        }
    }
    sleepFinished();
    if (timeWindowDue_) {
        timeWindowDue_ = false;
        listener_->applyTimeWindow();
    }
}

int RecorderFleet::pump() {
    return waitAndPump(std::chrono::milliseconds(0));
}

// A recorder recognised here while a retired chain that served the same recorder elsewhere (it
// was pulled and plugged in at another interface at once) may still save its file: the
// recognition, which loads that file, waits until that chain has finished, so that the file read
// is the one it left and no save of it lands after the load. A chain whose own reports are held
// is not waited for: it writes nothing while held, and no two chains wait for each other.
bool RecorderFleet::waitsForOtherChain(const Chain& chain, int code,
                                       const std::set<uint64_t>& holding) const {
    if (code != status::knownRecorder) {
        return false;
    }
    const RecorderIdentity identity = chain.acquisition.shared().connectedIdentity();
    return std::any_of(retired_.begin(), retired_.end(), [&](const auto& other) {
        return other.get() != &chain && holding.count(other->id) == 0 &&
               other->acquisition.workerBusy() &&
               other->acquisition.shared().connectedIdentity() == identity;
    });
}

void RecorderFleet::handle(Chain& chain, int32_t number, int code, bool held) {
    const bool identification = code == status::unknownRecorder || code == status::knownRecorder;
    if (identification && held && !chain.serving) {
        // Its recorder has moved on while the recognition waited: whoever serves it now loads
        // its file, and this chain finishes without writing it.
        chain.acquisition.abandonIdentification();
        return;
    }
    chain.acquisition.HandleLoggerStatus(number, code);
    if (identification) {
        listener_->recorderIdentified(describe(chain), code == status::unknownRecorder);
    } else if (code == status::commandDone) {
        listener_->newData(describe(chain));
    }
}

int RecorderFleet::waitAndPump(std::chrono::milliseconds timeout) {
    std::deque<Queue::Item> items;
    items.swap(queue_->held);
    std::set<uint64_t> wereHeld;
    for (const Queue::Item& item : items) {
        wereHeld.insert(item.chain);
    }
    std::deque<Queue::Item> taken = queue_->takeAll(timeout);
    std::move(taken.begin(), taken.end(), std::back_inserter(items));
    int handled = 0;
    // Again while something was handled: a chain waited for may have finished meanwhile.
    for (bool progress = true; progress && !items.empty();) {
        progress = false;
        std::set<uint64_t> holding;
        std::deque<Queue::Item> left;
        for (Queue::Item& item : items) {
            Chain* chain = find(item.chain);
            if (chain != nullptr && !item.notice &&
                (holding.count(item.chain) != 0 ||
                 waitsForOtherChain(*chain, item.code, holding))) {
                holding.insert(item.chain);
                wereHeld.insert(item.chain);
                left.push_back(std::move(item));
                continue;
            }
            ++handled;
            progress = true;
            if (chain == nullptr) {
                continue; // a chain already gone
            }
            if (item.notice) {
                listener_->problem(describe(*chain), item.text);
            } else {
                handle(*chain, item.number, item.code, wereHeld.count(item.chain) != 0);
            }
        }
        items.swap(left);
    }
    queue_->held = std::move(items);
    return handled;
}

std::vector<FleetRecorder> RecorderFleet::recorders() const {
    std::vector<FleetRecorder> out;
    for (const auto& [path, chain] : active_) {
        out.push_back(describe(*chain));
    }
    return out;
}

int RecorderFleet::attachedCount() const {
    return static_cast<int>(
        std::count_if(active_.begin(), active_.end(),
                      [this](const auto& entry) { return describe(*entry.second).attached; }));
}

bool RecorderFleet::busy() const {
    const auto working = [](const Chain& chain) { return chain.acquisition.workerBusy(); };
    return std::any_of(active_.begin(), active_.end(),
                       [&](const auto& entry) { return working(*entry.second); }) ||
           std::any_of(retired_.begin(), retired_.end(),
                       [&](const auto& chain) { return working(*chain); });
}

bool RecorderFleet::isBusy(int32_t number) const {
    const auto working = [number](const Chain& chain) {
        return chain.link.currentRecorder.load() == number && chain.acquisition.workerBusy();
    };
    return number >= 0 && (std::any_of(active_.begin(), active_.end(),
                                       [&](const auto& entry) { return working(*entry.second); }) ||
                           std::any_of(retired_.begin(), retired_.end(),
                                       [&](const auto& chain) { return working(*chain); }));
}

Acquisition* RecorderFleet::acquisitionAt(const std::string& interfacePath) {
    const auto it = active_.find(interfacePath);
    return it == active_.end() ? nullptr : &it->second->acquisition;
}

Acquisition* RecorderFleet::acquisitionOf(int32_t number) {
    for (auto& [path, chain] : active_) {
        if (number >= 0 && chain->link.currentRecorder.load() == number) {
            return &chain->acquisition;
        }
    }
    return nullptr;
}

DataStore* RecorderFleet::storeOf(int32_t number) {
    Acquisition* acquisition = acquisitionOf(number);
    return acquisition == nullptr ? nullptr : &acquisition->store();
}

DataStore* RecorderFleet::storeOfChain(uint64_t chain) {
    Chain* found = find(chain);
    return found == nullptr ? nullptr : &found->store;
}

FleetCounts RecorderFleet::counts() const {
    FleetCounts total = retiredCounts_;
    const auto add = [&total](const Chain& chain) {
        total.failedWrites += chain.store.failedWrites();
        total.filesMovedAside += chain.store.filesMovedAside();
        total.failedDownloads += chain.acquisition.shared().failedDownloads.load();
        total.endedWorkers += chain.acquisition.shared().endedWorkers.load();
    };
    for (const auto& [path, chain] : active_) {
        add(*chain);
    }
    for (const auto* list : {&retired_, &sleeping_}) {
        for (const auto& chain : *list) {
            add(*chain);
        }
    }
    return total;
}

} // namespace veldrin
