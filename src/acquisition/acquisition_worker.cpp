#include "acquisition/acquisition_worker.h"

#include "acquisition/store_target.h"
#include "core/freed_memory.h"
#include "store/registry.h"

namespace veldrin {

AcquisitionWorker::AcquisitionWorker(WorkerContext context)
    : context_(context), thread_([this] { run(); }) {}

AcquisitionWorker::~AcquisitionWorker() {
    queue_.close();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void AcquisitionWorker::run() {
    int code = 0;
    while (queue_.take(code)) {
        if (code == command::reconnect) {
            if (!reconnect()) {
                return;
            }
            continue;
        }
        runCommand(code);
    }
    // Stopped from outside: the program ends, or a new worker takes over after a new arrival.
    // The shared flags belong to that arrival by now and are left alone.
    ended_.store(true);
}

// Nothing can reach this worker any more: drop what is queued and let the window side's presence
// poll start a new worker at the next arrival. The busy flag is left to the report 7 that follows:
// a command the window side sends in answer is refused, which clears it.
void AcquisitionWorker::recorderLost() {
    queue_.close();
    ended_.store(true);
    context_.shared.recorderPresent.store(0);
    context_.shared.endedWorkers.fetch_add(1);
}

void AcquisitionWorker::runCommand(int code) {
    switch (code) {
    case command::connect:
        connect();
        break;
    case command::download:
        download();
        break;
    case command::clockSetting:
        clockSetting();
        break;
    default:
        break; // taken from the queue, no effect
    }
}

void AcquisitionWorker::sendCommand(int code) {
    context_.shared.workerBusy.store(1);
    if (!queue_.post(code)) {
        context_.shared.workerBusy.store(0);
    }
}

bool AcquisitionWorker::pauseAfterIdentity(uint64_t ticket) {
    context_.clock.sleepMs(kPauseAfterIdentityMs);
    return context_.shared.waitRegistration(ticket);
}

std::mutex& AcquisitionWorker::registrationMutex() {
    static std::mutex mutex; // one registry per data folder, one data folder per process
    return mutex;
}

void AcquisitionWorker::connect() {
    report(status::readingHeader);
    identified_ = false;
    if (context_.link.ReadHeader(header_) == 0) {
        giveUp();
        return;
    }
    failedInARow_ = 0;
    context_.shared.rememberHeader(header_);
    DataStore& store = context_.store;
    // From reading MaxID until the receiver has registered or recognised the recorder, no other
    // worker of this process touches the registry: with several recorders attached, one would
    // otherwise write back a MaxID read before another's registration and undo it.
    const std::lock_guard registering(registrationMutex());
    const int32_t maxId = readMaxId(store.ini());
    const RecorderIdentity id = identityFromHeader(header_);
    lastSeenIdentity_ = id;
    bool registered = false;
    if (id.isValid()) {
        context_.shared.setConnectedIdentity(id);
        const uint64_t ticket = context_.shared.expectRegistration();
        report(status::knownRecorder);
        registered = pauseAfterIdentity(ticket);
    } else {
        context_.link.currentRecorder.store(maxId);
        store.setCurrentRecorder(maxId);
        if (!registeredCount(store.ini().snapshot()).damaged()) {
            writeMaxId(store.ini(), maxId); // a damaged registry is left as the user finds it
        }
        const uint64_t ticket = context_.shared.expectRegistration();
        report(status::unknownRecorder);
        registered = pauseAfterIdentity(ticket);
        store.setNextAddress(0);
    }
    // A receiver that has not registered the recorder in time, or that gave it no number (it
    // went before it took its identity), leaves its number unsettled: no file is written under a
    // number that may belong to another recorder, and the next command connects it anew.
    identified_ = registered;
    const int32_t number = context_.link.currentRecorder.load();
    if (registered && number >= 0) {
        store.refreshFromHeader(header_, number);
    }
    report(status::connected);
}

void AcquisitionWorker::download() {
    if (!identified_) {
        connect(); // the chain goes on from its report 5 with a download
        return;
    }
    if (context_.link.ReadHeader(header_) == 0) {
        giveUp();
        return;
    }
    failedInARow_ = 0;
    context_.shared.rememberHeader(header_);
    const RecorderIdentity id = identityFromHeader(header_);
    if (id == context_.shared.connectedIdentity()) {
        lastSeenIdentity_ = id;
    } else if (!(id == lastSeenIdentity_)) {
        // Another recorder was plugged in between two polls (one with no identity yet included):
        // its history must not land in the file of the one before.
        connect();
        return;
    }
    DataStore& store = context_.store;
    const int32_t number = context_.link.currentRecorder.load();
    if (number < 0) {
        report(status::commandDone);
        return;
    }
    store.refreshFromHeader(header_, number);
    StoreTarget target(store, context_.reports);
    const bool complete =
        DownloadHistory(context_.link, store.connectedSettings(), store.nextAddress(),
                        context_.clock.nowLocal(), target) != 0;
    if (target.recordsHandedOver() >= kReleaseAfterRecords) {
        releaseFreedMemory();
    }
    context_.shared.lastDownloadFailed.store(!complete);
    if (!complete) {
        context_.shared.failedDownloads.fetch_add(1);
    }
    report(status::commandDone, complete ? 0 : kDownloadEndedPartWay);
}

void AcquisitionWorker::clockSetting() {
    if (!identified_) {
        connect();
        return;
    }
    LoggerLink& link = context_.link;
    Clock& clock = context_.clock;
    uint8_t block[kMemoryUnit];
    if (link.ReadMemory(header::clockLatch, block) == 0 ||
        link.WriteByte(header::clockLatch, 0xFF) == 0) {
        giveUp();
        return;
    }
    failedInARow_ = 0;
    int latch = 1;
    DateTime now = clock.nowLocal();
    report(status::clockRead);
    for (int pass = 0;; ++pass) {
        const DateTime shown = dateTimeFromBytes(block + 1);
        if (shown.isValid()) {
            recorderClock_ = shown;
        }
        if (secondsBetween(now, recorderClock_) <= kClockToleranceSeconds) {
            if (latch == 1) {
                report(status::clockInTime);
            } else {
                giveUp();
            }
            return;
        }
        if (latch == 0 || pass >= kMaxClockPasses) {
            giveUp();
            return;
        }
        uint8_t fields[6];
        if (bytesFromDateTime(now, fields)) {
            link.WriteByte(header::clockSetMarker, header::clockSetMarkerValue);
            for (int i = 0; i < 6; ++i) {
                link.WriteByte(static_cast<uint16_t>(header::clockSet + i), fields[i]);
            }
        }
        clock.sleepMs(kClockRecheckMs);
        link.ReadMemory(header::clockLatch, block); // a failure keeps the bytes read before
        latch = link.WriteByte(header::clockLatch, 0xFF);
        now = clock.nowLocal();
    }
}

void AcquisitionWorker::giveUp() {
    ++failedInARow_;
    sendCommand(command::reconnect);
}

// Report 7 goes out once the outcome is settled, not before the presence check: the window side
// answers it at once (the chain ends, its presence poll runs again) and must not meet a worker
// that is still deciding, nor check presence on the link at the same time.
bool AcquisitionWorker::reconnect() {
    identified_ = false;
    // A recorder that is on the bus but no longer answers would otherwise keep the chain turning
    // (each failure ends in a report 7 that sends the next command) with the busy flag set for
    // good; after a few failures in a row it counts as gone, and the presence poll takes over.
    const bool found = context_.link.CheckPresence() == 1 && failedInARow_ < kMaxFailedInARow;
    if (!found) {
        recorderLost();
    }
    report(status::commandDone);
    return found;
}

} // namespace veldrin
