#pragma once
// Every recorder attached, served at once: a chain per attached interface (its own bound link,
// main.ini reader, data store, report queue, acquisition and worker), all over one data folder and
// one backend. A one-second step lists the interfaces, starts a chain for each that appeared and
// retires the chain of each that vanished, independently of each other, and runs every chain's
// periodic step (presence, 15-second download). The reports of all workers meet in one queue that
// the driving thread empties; every reaction, every listener call and every method below runs on
// that one thread (except the wake-up, which a worker calls).
//
// Each chain's store saves its own recorder's file under its own lock, so one recorder's save
// never waits for another's; main.ini is read afresh by each and written under one lock for the
// whole program, and identities issued within one second are shared by every chain. One
// recorder's file is written by one chain at a time: a recorder that turns up at another
// interface while the chain it left is still saving is recognised (and its file loaded) only once
// that chain has finished.

#include "acquisition/acquisition.h"
#include "core/clock.h"
#include "device/hid_backend.h"
#include "store/data_store.h"
#include "store/registry.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace veldrin {

// One chain as the listener sees it.
struct FleetRecorder {
    // Stable for the life of the chain, never used again by another chain.
    uint64_t chain = 0;
    // The interface the chain is bound to.
    std::string interfacePath;
    // The registered number of its recorder; -1 until it is registered or recognised.
    int32_t number = -1;
    // Whether its recorder is attached now (the latest presence check found it).
    bool attached = false;
};

// What the window (or a console) hears of the fleet; every call on the driving thread.
class FleetListener {
public:
    virtual ~FleetListener() = default;
    // A recorder's status text (already trimmed, never empty).
    virtual void statusText(const FleetRecorder& /*recorder*/, const std::u16string& /*text*/) {}
    // A recorder was found at an interface (its chain connects it now).
    virtual void recorderAttached(const FleetRecorder& /*recorder*/) {}
    // A recorder went away: pulled, or no longer answering. When its interface is gone its chain
    // is retired: its worker finishes, and the chain (with its store and what follows the store)
    // sleeps until a recorder appears at that interface again, which it then serves as one chain
    // serves a recorder pulled and plugged in again.
    virtual void recorderVanished(const FleetRecorder& /*recorder*/) {}
    // A recorder was registered (`isNew`: given a new number and identity) or recognised; its
    // number is in `recorder.number` (-1: the registry refused it and the store said why, or the
    // recorder went before it took its identity).
    virtual void recorderIdentified(const FleetRecorder& /*recorder*/, bool /*isNew*/) {}
    // The registry changed: numbers 0 .. maxId-1 exist.
    virtual void recordersChanged(int32_t /*maxId*/) {}
    // A command of this recorder's chain ended (a download, a clock setting, a reconnect; report
    // 7): its file may hold new records. The window's own configuration writes are not said.
    virtual void newData(const FleetRecorder& /*recorder*/) {}
    // The 15-second step of some chain: re-apply the time window (at most once per step).
    virtual void applyTimeWindow() {}
    // A sleeping chain is about to go for good (more interfaces have come and gone than are kept):
    // whatever followed its store lets go of it now. Not called when the fleet itself ends.
    virtual void chainEnded(const FleetRecorder& /*recorder*/) {}
    // A store failure or notice of this recorder's chain (complete text).
    virtual void problem(const FleetRecorder& /*recorder*/, const std::string& /*message*/) {}
    // Clear PC Data emptied recorder `number`'s file through a chain's store (a command of the
    // driving thread).
    virtual void recordsCleared(int32_t /*number*/) {}
};

// Chains kept asleep for interfaces that have gone, the longest asleep going first beyond this.
constexpr std::size_t kMaxSleepingChains = 32;

// Counts over every chain made so far, retired ones included.
struct FleetCounts {
    int failedWrites = 0;
    int filesMovedAside = 0;
    int failedDownloads = 0;
    int endedWorkers = 0;
};

class RecorderFleet {
public:
    // `dataFolder` holds main.ini and the data files; the backend, the clock and the listener
    // outlive the fleet. The caller holds the data-folder lock.
    RecorderFleet(HidBackend& backend, std::string dataFolder, Clock& clock,
                  FleetListener* listener = nullptr);
    // Ends every worker (each finishes the frame it is exchanging).
    ~RecorderFleet();
    RecorderFleet(const RecorderFleet&) = delete;
    RecorderFleet& operator=(const RecorderFleet&) = delete;

    // Called on a worker thread whenever a report or notice is queued: the driving thread should
    // call pump() soon (the window posts itself an event). Set before the first tick.
    void setWakeUp(std::function<void()> wakeUp);

    // The one-second step: lists the interfaces, starts a chain for each new one or wakes the
    // sleeping chain of one that came back (which polls its presence at once), retires chains
    // whose interface is gone, runs each chain's periodic step, and puts retired chains whose
    // worker has finished to sleep.
    void tick();
    // Hands every queued report to its chain's reaction and every queued notice to the listener;
    // returns how many were handled.
    int pump();
    // Waits up to `timeout` of real time for a report, then pumps; returns how many were handled.
    int waitAndPump(std::chrono::milliseconds timeout);

    // The chains serving an interface now (retired ones not), in the order of their interfaces.
    std::vector<FleetRecorder> recorders() const;
    // How many recorders are attached now.
    int attachedCount() const;
    // Whether any chain (retired ones included) has a command running.
    bool busy() const;
    // Whether a chain serving recorder `number`, or one that served it and is retired but still
    // finishing (a recorder pulled during a download), has a command running: its file may still
    // be written. Clearing the file must wait until this is false.
    bool isBusy(int32_t number) const;
    // The acquisition of a chain, by its interface or by its recorder's number; null when there is
    // none. Valid until the next tick().
    Acquisition* acquisitionAt(const std::string& interfacePath);
    Acquisition* acquisitionOf(int32_t number);
    DataStore* storeOf(int32_t number);
    // The store of a chain (FleetRecorder::chain), retired and sleeping ones included; valid until
    // the listener hears chainEnded() for it or the fleet ends.
    DataStore* storeOfChain(uint64_t chain);

    FleetCounts counts() const;
    IssuedIdentities& issuedIdentities() { return issued_; }
    const std::string& dataFolder() const { return folder_; }

private:
    struct Chain;
    struct Queue;
    class ChainListener;

    void startChain(const std::string& interfacePath);
    void retire(Chain& chain);
    void sayPresence(Chain& chain);
    void sleepFinished();
    void wake(const std::string& interfacePath);
    void handle(Chain& chain, int32_t number, int code, bool held);
    bool waitsForOtherChain(const Chain& chain, int code, const std::set<uint64_t>& holding) const;
    Chain* find(uint64_t id);
    FleetRecorder describe(const Chain& chain) const;
    void absorbCounts(const Chain& chain);

    HidBackend& backend_;
    std::string folder_;
    Clock& clock_;
    FleetListener* listener_;
    FleetListener quiet_;
    IssuedIdentities issued_;
    std::unique_ptr<Queue> queue_;
    uint64_t nextChain_ = 1;
    std::map<std::string, std::unique_ptr<Chain>> active_;
    std::vector<std::unique_ptr<Chain>> retired_;
    // Oldest asleep first.
    std::vector<std::unique_ptr<Chain>> sleeping_;
    FleetCounts retiredCounts_;
    bool timeWindowDue_ = false;
};

} // namespace veldrin
