#include "acquisition/acquisition.h"

#include "lang/language_table.h"
#include "store/registry.h"

#include <string>

namespace veldrin {
namespace {

constexpr int kPeriodicTicks = 15;
// "The request failed.": a download that ended part-way must not read as finished.
constexpr int kRequestFailedText = 95;

int languageIndexOfStatus(int code) {
    switch (code) {
    case status::readingHeader:
        return 67;
    case status::unknownRecorder:
        return 42;
    case status::knownRecorder:
        return 120;
    case status::clockRead:
        return 82;
    case status::clockInTime:
        return 111;
    case status::connected:
        return 62;
    case status::commandDone:
        return 65;
    default:
        return -1;
    }
}

std::u16string decimal(int32_t number) {
    const std::string text = std::to_string(number);
    return std::u16string(text.begin(), text.end());
}

} // namespace

std::u16string statusTextFor(int code, int32_t number) {
    if (code == status::progress) {
        return decimal(number) + u" " + languageString(121);
    }
    if (code == status::commandDone && number == kDownloadEndedPartWay) {
        return languageString(kRequestFailedText);
    }
    const int index = languageIndexOfStatus(code);
    return index < 0 ? std::u16string() : languageString(index);
}

Acquisition::Acquisition(LoggerLink& link, DataStore& store, Clock& clock, ReportSink& reports,
                         AcquisitionListener* listener)
    : link_(link), store_(store), clock_(clock), reports_(reports),
      listener_(listener != nullptr ? listener : &quiet_) {}

Acquisition::~Acquisition() {
    stopWorker();
}

void Acquisition::stopWorker() {
    worker_.reset();
}

void Acquisition::setCurrentRecorder(int32_t number) {
    link_.currentRecorder.store(number);
    store_.setCurrentRecorder(number);
}

// The worker's queue exists before its thread runs, so a post is never refused for a queue not
// yet made and needs no retry; it is refused only by a worker that has ended, and such a command
// is dropped instead of waiting for ever.
void Acquisition::SendLoggerCommand(int code) {
    shared_.workerBusy.store(1);
    if (!worker_ || !worker_->post(code)) {
        shared_.workerBusy.store(0);
    }
}

void Acquisition::startWorker() {
    // The previous worker, if any, is idle (the poll runs only then) or has ended: it is ended
    // and joined, so that at most one worker ever receives commands.
    worker_.reset();
    worker_ = std::make_unique<AcquisitionWorker>(
        WorkerContext{link_, store_, clock_, reports_, shared_});
}

void Acquisition::PollPresence() {
    const int present = link_.CheckPresence();
    shared_.recorderAttached.store(present);
    if (present == shared_.recorderPresent.load()) {
        return;
    }
    listener_->presenceChanged(present == 1);
    shared_.recorderPresent.store(present);
    if (present == 1) {
        startWorker();
        SendLoggerCommand(command::connect);
        tickCounter_ = 0;
    }
}

void Acquisition::periodicStep() {
    ++tickCounter_;
    if (tickCounter_ % kPeriodicTicks == 0) {
        tickCounter_ = 0;
        if (!periodicHeld_ && !workerBusy() && recorderPresent()) {
            SendLoggerCommand(command::download);
        }
        listener_->applyTimeWindow();
    }
    if (!workerBusy()) {
        if (periodicHeld_) {
            watchPresence();
        } else {
            PollPresence();
        }
    }
}

// The presence check while the window thread holds the recorder: a recorder that went away is
// noted as a poll notes it; one that arrived is connected by the first poll after the hold.
void Acquisition::watchPresence() {
    const int present = link_.CheckPresence();
    shared_.recorderAttached.store(present);
    if (present == 0 && shared_.recorderPresent.load() != 0) {
        listener_->presenceChanged(false);
        shared_.recorderPresent.store(0);
    }
}

void Acquisition::refillRecorders() {
    listener_->recordersChanged(readMaxId(store_.ini()), link_.currentRecorder.load());
}

// A damaged registry registers nobody: the recorder gets no number, no identity is written into
// it and no file is touched; the store says why.
bool Acquisition::refused(const RegistryOutcome& outcome) {
    if (outcome.number >= 0) {
        return false;
    }
    setCurrentRecorder(-1);
    store_.refuseRecorder(outcome.error);
    refillRecorders();
    listener_->repaint(true);
    return true;
}

// The worker pauses until registration is done, so the recorder is free for these writes.
bool Acquisition::writeIdentity(const RecorderIdentity& identity) {
    int taken = 1;
    for (const auto& [address, value] : identityWrites(identity)) {
        taken &= link_.WriteByte(address, value);
    }
    return taken != 0;
}

// Whether the recorder may be registered. When a write failed, the recorder may have gone: then it
// is not registered at all, nor when its interface is no longer listed. If it is there (pulled and
// plugged in again since its header was read, the old handle dead), the writes are made once more
// on a fresh handle; a recorder that refuses them even so is registered all the same, as it
// always was, and registered again at its next connection.
bool Acquisition::giveIdentity(const RecorderIdentity& identity) {
    if (writeIdentity(identity)) {
        return true;
    }
    if (!interfaceListed_ || link_.CheckPresence() == 0) {
        return false;
    }
    writeIdentity(identity);
    return true;
}

// The identity goes into the recorder before main.ini names it, so that a recorder pulled in
// between leaves no registered number that no recorder carries. Returns whether the recorder's
// number is settled (registered, or refused: a damaged registry, a main.ini that cannot be
// written).
bool Acquisition::registerUnknownRecorder() {
    const RegistryOutcome outcome =
        registerNewRecorder(store_.ini(), clock_.unixSeconds(), *issued_,
                            [this](const RecorderIdentity& id) { return giveIdentity(id); });
    if (outcome.number < 0 && outcome.error.empty()) {
        setCurrentRecorder(-1); // gone before it took its identity: registered when it is back
        return false;
    }
    if (refused(outcome)) {
        return true;
    }
    setCurrentRecorder(outcome.number);
    shared_.setConnectedIdentity(outcome.identity);
    refillRecorders();
    store_.startNewRecorder(outcome.number);
    listener_->repaint(true);
    clockSetDone_ = false;
    return true;
}

void Acquisition::abandonIdentification() {
    setCurrentRecorder(-1);
    shared_.registrationDone(false);
}

void Acquisition::recogniseKnownRecorder() {
    const int32_t previous = link_.currentRecorder.load();
    const RegistryOutcome outcome = recognizeRecorder(store_.ini(), shared_.connectedIdentity());
    if (refused(outcome)) {
        return;
    }
    setCurrentRecorder(outcome.number);
    refillRecorders();
    store_.adoptRecognisedRecorder(outcome.number, previous, outcome.isNew);
    if (outcome.isNew) {
        clockSetDone_ = false;
    }
    listener_->repaint(true);
}

void Acquisition::HandleLoggerStatus(int32_t number, int code) {
    CurrentLanguage::get(); // clamps an out-of-range language
    switch (code) {
    case status::unknownRecorder:
        shared_.registrationDone(registerUnknownRecorder());
        break;
    case status::knownRecorder:
        recogniseKnownRecorder();
        shared_.registrationDone();
        break;
    case status::clockRead:
        clockSetDone_ = true;
        break;
    case status::clockInTime:
        SendLoggerCommand(command::download);
        break;
    case status::connected:
        if (holdAfterConnect_) {
            shared_.workerBusy.store(0);
        } else {
            SendLoggerCommand(command::download);
        }
        break;
    case status::commandDone:
        listener_->repaint(false);
        if (clockSetDone_) {
            shared_.workerBusy.store(0);
        } else {
            SendLoggerCommand(command::clockSetting);
        }
        break;
    default:
        break;
    }
    listener_->statusText(statusTextFor(code, number));
}

Acquisition::WriteResult Acquisition::writeConfiguration(const ConfigurationEdit& edit) {
    shared_.workerBusy.store(1);
    // The header as the recorder holds it now: it shows which recorder is attached, and the
    // write sends back its bytes that the configuration does not define.
    HeaderImage current{};
    if (link_.ReadHeader(current) == 0) {
        store_.keepDescription(edit.description);
        shared_.workerBusy.store(0);
        return WriteResult::lost;
    }
    if (identityFromHeader(current) != shared_.connectedIdentity()) {
        shared_.recorderPresent.store(0);
        shared_.workerBusy.store(0);
        return WriteResult::exchanged;
    }
    RecorderSettings connected = store_.connectedSettings();
    for (int k = 0; k < kSlotCount; ++k) {
        TimeSlot& slot = connected.slots[static_cast<std::size_t>(k)];
        slot.firstBlock = current[static_cast<std::size_t>(header::slotOffset(k) + 12)];
        slot.lastBlock = current[static_cast<std::size_t>(header::slotOffset(k) + 13)];
    }
    const bool allTaken = WriteConfiguration(link_, edit, current, connected) != 0;
    // Read back whatever happened: after a refused write the recorder holds part of the edit,
    // and the PC copy must say what it holds, not what was asked for.
    HeaderImage fresh{};
    if (link_.ReadHeader(fresh) == 0) {
        store_.keepDescription(edit.description);
        shared_.workerBusy.store(0);
        return WriteResult::lost;
    }
    store_.setConnectedSettings(connected);
    shared_.rememberHeader(fresh);
    const int32_t number = link_.currentRecorder.load();
    if (number >= 0) {
        store_.refreshFromHeader(fresh, number);
    }
    afterConfigurationWrite();
    return allTaken ? WriteResult::written : WriteResult::refused;
}

void Acquisition::afterConfigurationWrite() {
    if (clockSetDone_) {
        shared_.workerBusy.store(0);
    } else {
        SendLoggerCommand(command::clockSetting);
    }
}

} // namespace veldrin
