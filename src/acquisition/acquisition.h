#pragma once
// The window side of acquisition, without any widget: the presence poll that starts a worker when
// a recorder arrives, the command post, the one-second periodic step with its 15-second download
// cycle, the reaction to every worker report (status text, registration and recognition, data
// loading, the next command of the chain) and the Setting command's recorder work. The window
// program adds only what is visual on top of it; the command-line tool and the tests drive it
// from a loop of their own.

#include "acquisition/acquisition_worker.h"
#include "acquisition/configuration_write.h"
#include "acquisition/logger_messages.h"
#include "acquisition/shared_state.h"
#include "core/clock.h"
#include "device/logger_link.h"
#include "store/data_store.h"
#include "store/registry.h"

#include <memory>
#include <string>

namespace veldrin {

// What the window (or a console) shows of acquisition.
class AcquisitionListener {
public:
    virtual ~AcquisitionListener() = default;
    // The text for status-bar pane 0 (already trimmed).
    virtual void statusText(const std::u16string& /*text*/) {}
    // The registry changed: the "Driver No." entries are 0 .. maxId-1, `current` is selected.
    virtual void recordersChanged(int32_t /*maxId*/, int32_t /*current*/) {}
    // The recorder's presence changed (the status-bar picture).
    virtual void presenceChanged(bool /*attached*/) {}
    // Repaint; `erase` when the background must be erased too.
    virtual void repaint(bool /*erase*/) {}
    // The 15-second step: re-apply the time window.
    virtual void applyTimeWindow() {}
};

// The status text of a report: its language string, trimmed; code 6 as the number, a blank and
// language string 121; a status 7 after a download that ended part-way says that it failed; an
// empty text for an unknown code.
std::u16string statusTextFor(int code, int32_t number);

class Acquisition {
public:
    Acquisition(LoggerLink& link, DataStore& store, Clock& clock, ReportSink& reports,
                AcquisitionListener* listener = nullptr);
    ~Acquisition();
    Acquisition(const Acquisition&) = delete;
    Acquisition& operator=(const Acquisition&) = delete;

    SharedState& shared() { return shared_; }
    const SharedState& shared() const { return shared_; }
    LoggerLink& link() { return link_; }
    DataStore& store() { return store_; }

    // Sets workerBusy and queues the command for the worker; with no worker to take it (none
    // started, or ended after a failed reconnect) the command is dropped and workerBusy cleared.
    void SendLoggerCommand(int code);
    // Presence check of the window side; starts a worker and its connect command on arrival.
    void PollPresence();
    // The one-second timer step.
    void periodicStep();
    // While held, the periodic step sends no download and starts no worker, so that the window
    // thread may talk to the recorder itself (the Setting command while its dialog is open); it
    // still checks the recorder's presence, so that the indicator follows a pulled recorder.
    // Chains already running are not affected.
    void holdPeriodicCommands(bool hold) { periodicHeld_ = hold; }
    bool periodicCommandsHeld() const { return periodicHeld_; }
    // The reaction to one worker report.
    void HandleLoggerStatus(int32_t number, int code);
    // In place of the reaction to report 1 or 2, for a recorder that has gone from where it was
    // identified: no number, nothing registered or loaded, and the worker, told that the
    // registration did not settle, writes no file.
    void abandonIdentification();

    bool workerBusy() const { return shared_.workerBusy.load() != 0; }
    bool recorderPresent() const { return shared_.recorderPresent.load() != 0; }
    bool clockSetDone() const { return clockSetDone_; }
    int tickCounter() const { return tickCounter_; }
    void setTickCounter(int value) { tickCounter_ = value; }

    // When set, report 5 ends the chain instead of sending a download: a recorder identified but
    // not yet downloaded, as tests of the Setting command's clock step need. Writing a
    // configuration in that state can leave records beyond reach; front ends run the whole
    // connection first.
    void setHoldAfterConnect(bool hold) { holdAfterConnect_ = hold; }
    // Whether the interface this acquisition serves is still listed. One no longer listed never
    // opens its recorder afresh to give it an identity: the recorder, when back, is read anew
    // by whoever serves it then, and an identity given here too would register it twice.
    void setInterfaceListed(bool listed) { interfaceListed_ = listed; }

    // The recorder work of the Setting command, steps after the dialog: writes the edit, reads
    // the header back and refreshes the connected settings and file from it (the description
    // typed kept), then lets the clock be set when that has not happened yet. The caller makes
    // sure no worker command runs (workerBusy clear) and that a recorder is attached.
    enum class WriteResult {
        written,   // every write acknowledged and the header read back
        refused,   // a write was refused: part of the edit may be in the recorder; the settings
                   // and the data file now hold what its header reads
        lost,      // the recorder stopped answering before or during the writes: part of the edit
                   // may be in it; the data file keeps the description typed
        exchanged, // the recorder attached is not the connected one: nothing written, and the
                   // next presence poll connects it anew
    };
    WriteResult writeConfiguration(const ConfigurationEdit& edit);
    // 1 when written; 0 otherwise.
    int writeSettings(const ConfigurationEdit& edit) {
        return writeConfiguration(edit) == WriteResult::written ? 1 : 0;
    }

    // Identities made by several acquisitions of one program (a chain per recorder attached), so
    // that recorders registered within one second differ across them too. The acquisitions are
    // driven from one thread; `issued` outlives this one.
    void shareIssuedIdentities(IssuedIdentities& issued) { issued_ = &issued; }

    void setCurrentRecorder(int32_t number);
    void stopWorker();

private:
    void startWorker();
    void watchPresence();
    void afterConfigurationWrite();
    bool registerUnknownRecorder();
    bool writeIdentity(const RecorderIdentity& identity);
    bool giveIdentity(const RecorderIdentity& identity);
    void recogniseKnownRecorder();
    bool refused(const RegistryOutcome& outcome);
    void refillRecorders();

    LoggerLink& link_;
    DataStore& store_;
    Clock& clock_;
    ReportSink& reports_;
    AcquisitionListener* listener_;
    AcquisitionListener quiet_;
    SharedState shared_;
    std::unique_ptr<AcquisitionWorker> worker_;
    int tickCounter_ = 0;
    bool clockSetDone_ = false;
    bool holdAfterConnect_ = false;
    bool interfaceListed_ = true;
    bool periodicHeld_ = false;
    // Identities made by this program: two recorders registered within one second still differ.
    IssuedIdentities issuedIdentities_;
    IssuedIdentities* issued_ = &issuedIdentities_;
};

} // namespace veldrin
