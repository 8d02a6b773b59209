#pragma once
// The two in-memory data sets and the lock that guards them, without any widget:
// - the connected set (connectedSettings, connectedRecords): the recorder attached now; downloads
//   are appended here and its file is rewritten after every change;
// - the displayed set (displayedSettings, displayedRecords): the recorder chosen for display;
//   chart, list and exports read it.
// It also owns the document (the file serializer), the next-address copy of the connected
// recorder and the number of the connected recorder.
//
// Locking: every public operation takes the lock itself unless its comment says otherwise. The
// lock is exposed (mutex(), displayed()) so that a reader can hold it while it draws or fills a
// list. Listener calls are made after the lock has been released, on the thread that ran the
// operation (the acquisition worker for refreshFromHeader and appendDownloaded).

#include "core/clock.h"
#include "core/recorder_types.h"
#include "device/logger_header.h"
#include "store/data_file.h"
#include "store/ini_file.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace veldrin {

class DataStoreListener {
public:
    virtual ~DataStoreListener() = default;
    // The displayed data changed: the record list must be filled again.
    virtual void listNeedsRefill() {}
    // The displayed recorder's logging interval (settings field 2), for the interval box.
    virtual void intervalChanged(int32_t /*minutes*/) {}
    // A failure or a notice to show the user (a file not found, a damaged file kept aside, a save
    // that failed). The text is complete and names the file where there is one.
    virtual void problem(const std::string& /*message*/) {}
    // A data file could not be read: where, why, and the same as `message` in words.
    virtual void openFailed(const std::string& /*path*/, OpenFailure /*failure*/,
                            const std::string& message) {
        problem(message);
    }
    // Clear PC Data emptied this recorder's file (whatever this store displays or holds), so that
    // whoever shows it from elsewhere lets its records go.
    virtual void recordsCleared(int32_t /*number*/) {}
};

// One batch of downloaded records, as the download hands it over.
struct DownloadedBatch {
    // Oldest first, as the recorder holds them: the store scales the raw temperature r to
    // r x 0.1 - 40 and sets the times as it appends them.
    std::vector<RawRecord> records;

    enum class Mode { continuous, slot };
    Mode mode = Mode::continuous;

    // Continuous mode: the download continued the previous one (started at the stored
    // nextAddress). A download that did not continue stamps the newest record with "now".
    bool continues = false;

    // Slot mode: whether the batch began at the slot's firstBlock, and the slot's start, which
    // the oldest record then gets.
    bool beganAtSlotStart = false;
    DateTime slotStart;

    // Where the next download starts; stored in the file and in the next-address copy.
    int32_t newNextAddress = 0;
};

class DataStore {
public:
    DataStore(std::string dataFolder, IniFile& ini, Clock& clock);
    DataStore(const DataStore&) = delete;
    DataStore& operator=(const DataStore&) = delete;

    // Set before the first operation; not guarded.
    void setListener(DataStoreListener* listener) { listener_ = listener; }
    // Whether the displayed set follows the connected recorder (loads, downloads and header
    // refreshes of the connected recorder copied into it); on by default. A store whose displayed
    // set nobody reads turns it off, so that it holds its records once. Set before the first
    // operation; not guarded.
    void setDisplayFollowsConnected(bool follows) { displayFollowsConnected_ = follows; }

    const std::string& dataFolder() const { return folder_; }
    std::string dataFilePath(int32_t number) const;
    IniFile& ini() { return ini_; }
    Clock& clock() { return clock_; }

    // DataLock. Hold it only around reads of the sets; never across recorder I/O, and never
    // while calling an operation of this class (the lock is not recursive).
    std::mutex& mutex() const { return mutex_; }

    // ---- Loading -------------------------------------------------------------------------

    // Start-up: with MaxID not 0, the connected recorder becomes MaxID - 1 and both sets are
    // loaded from its file. Returns that number, or -1 with no recorder registered. A damaged
    // MaxID is reported to the listener here, once, and taken as the registry cuts it back.
    int32_t loadAtStartUp();

    // Both sets from the recorder's file; the next-address copy takes the file's value. On
    // failure the sets stay as they were and the listener hears the message. 1 on success.
    int loadBothSets(int32_t number);

    // The displayed set from the recorder's file (another recorder chosen for display, or the
    // chart finding the displayed list empty). A different recorder's records are dropped first,
    // so a failed load leaves an empty list. 1 on success.
    int loadDisplayedSet(int32_t number);

    // A data file the user opened to look at, wherever it lies: the displayed set takes its
    // settings and records. Nothing is written, and the displayed set stops following the
    // connected recorder until a recorder is chosen for display again. 1 on success; on failure
    // the displayed set stays as it was and the listener hears the message, or, when `failure`
    // is given, the caller learns the cause there and reports it in its own words.
    int loadDisplayedDocument(const std::string& path, OpenFailure* failure = nullptr);
    // Whether the displayed set is such an opened file rather than a recorder's history.
    bool displayedIsDocument() const;

    // The displayed set becomes a copy of what another store holds of its connected recorder:
    // the window shows an attached recorder that the store of its own chain downloads. The
    // source is read under its lock alone, before this store's lock is taken, so the two locks
    // are never held together.
    void showConnectedOf(const DataStore& source);

    // The settings of a recorder's file (for showing its description before clearing); no set
    // changes. 1 on success.
    int readFileSettings(int32_t number, RecorderSettings& out);

    // ---- Worker reports (window side) ----------------------------------------------------

    // A new recorder has been registered with this number: both lists freed, next-address copy
    // 0, and it becomes the displayed recorder (empty description); its data file is created
    // holding no records.
    int startNewRecorder(int32_t number);

    // A recorder with a valid identity has been recognised as `number`. When it differs from
    // `previous`, the connected set is reset first. Field 7 of both sets := number. A new number
    // gets empty descriptions and a file without records; a known one has both sets loaded from
    // its file.
    int adoptRecognisedRecorder(int32_t number, int32_t previous, bool isNew);

    // Creates the recorder's file without records (keeping any history found there aside).
    int createEmptyFile(int32_t number);

    // ---- Acquisition ---------------------------------------------------------------------

    // After every header read: with MaxID 0 nothing happens (returns 1). Otherwise the connected
    // settings are decoded from the header (field 7 := currentRecorder, the description kept),
    // the connected recorder's file is saved, and when the displayed recorder is the connected
    // one the displayed set follows. 1 unless the save failed.
    int refreshFromHeader(const HeaderImage& header, int32_t currentRecorder);

    // Time-stamps, scales and appends a batch to the connected records (and to the displayed
    // ones when they show the same recorder), stores the new next address and saves. An empty
    // batch changes nothing. 1 unless a save failed (the records are kept in memory either way).
    int appendDownloaded(const DownloadedBatch& batch);

    int32_t nextAddress() const;
    void setNextAddress(int32_t address);

    // Data files that could not be written (created, saved, cleared) since the store was made;
    // the listener heard each one. A front end compares it before and after its work, so that a
    // full disk is not reported as success.
    int failedWrites() const { return failedWrites_.load(); }
    // Data files moved aside (".damaged", ".orphaned") since the store was made; the listener
    // heard where each went. A front end counts it as a failure of its run: the history is no
    // longer where the user keeps it.
    int filesMovedAside() const { return filesMovedAside_.load(); }

    // The registry refused a recorder (main.ini is damaged): the listener hears why, once until
    // a data file is saved again, and it counts as a failed write, since what the recorder holds
    // is not stored.
    void refuseRecorder(const std::string& why);

    // The connected recorder's number (-1 until one is known). The worker sets it to the MaxID
    // it read before it reports an unknown recorder; the operations above set it as well.
    int32_t currentRecorder() const { return currentRecorder_.load(); }
    void setCurrentRecorder(int32_t number) { currentRecorder_.store(number); }

    RecorderSettings connectedSettings() const;
    // The configuration write edits the connected settings before the refresh that saves them.
    void setConnectedSettings(const RecorderSettings& settings);
    RecorderSettings displayedSettings() const;
    // The description lives on the PC only: a configuration write that the recorder could not
    // finish still keeps the one typed, in the connected set and its file. 1 unless the save
    // failed.
    int keepDescription(const std::u16string& description);

    std::size_t connectedCount() const;
    std::size_t displayedCount() const;

    // ---- Clearing --------------------------------------------------------------------------

    // Empties the chosen recorder's file of records (settings and description kept, nextAddress
    // 0). The displayed records are freed only when they are the chosen recorder's; clearing the
    // connected recorder also frees its records and sets the next-address copy to 0. Nothing is
    // written when MaxID is 0 or the number is not registered (returns 0). 1 on success.
    int clearRecorder(int32_t chosen);

    // ---- Readers ---------------------------------------------------------------------------

    // The displayed set under the lock, without copying: the lock is held for the life of the
    // returned object.
    class DisplayedView {
    public:
        const RecorderSettings& settings() const { return settings_; }
        const RecordList& records() const { return records_; }

    private:
        friend class DataStore;
        DisplayedView(std::mutex& m, const RecorderSettings& s, const RecordList& r)
            : guard_(m), settings_(s), records_(r) {}
        std::unique_lock<std::mutex> guard_;
        const RecorderSettings& settings_;
        const RecordList& records_;
    };
    DisplayedView displayed() const {
        return DisplayedView(mutex_, displayedSettings_, displayedRecords_);
    }

    // The same for a callback: f(const RecorderSettings&, const RecordList&).
    template <class F> decltype(auto) withDisplayed(F&& f) const {
        std::lock_guard<std::mutex> guard(mutex_);
        return f(displayedSettings_, displayedRecords_);
    }
    template <class F> decltype(auto) withConnected(F&& f) const {
        std::lock_guard<std::mutex> guard(mutex_);
        return f(connectedSettings_, connectedRecords_);
    }

private:
    struct Notices;
    int loadBothLocked(int32_t number, Notices& notices);
    int saveConnectedLocked(Notices& notices);
    int createEmptyLocked(int32_t number, Notices& notices);
    int clearLocked(int32_t chosen, Notices& notices);
    int clearOtherLocked(int32_t chosen, Notices& notices);
    bool registryRefusesLocked(Notices& notices);
    void noteRefusalLocked(const std::string& why, Notices& notices);
    bool displayedIsConnected() const;
    void mirrorConnectedIntoDisplayed();
    void appendStamped(const DownloadedBatch& batch, const DateTime& now);
    void retimeConnected(const DateTime& now);
    void collectDocumentNotice(Notices& notices);
    void noteOpenFailure(Notices& notices, const std::string& path) const;
    void deliver(const Notices& notices);

    std::string folder_;
    IniFile& ini_;
    Clock& clock_;
    DataStoreListener* listener_ = nullptr;

    mutable std::mutex mutex_;
    CVeldrinDoc document_;
    RecorderSettings connectedSettings_;
    RecordList connectedRecords_;
    RecorderSettings displayedSettings_;
    RecordList displayedRecords_;
    // True while displayedRecords_ is known to equal connectedRecords_, so that keeping the
    // displayed set in step with the connected one needs no copy.
    bool displayedMirrorsConnected_ = true;
    // True while the displayed set shows a file the user opened rather than a recorder's.
    bool displayedIsDocument_ = false;
    bool displayFollowsConnected_ = true;
    int32_t nextAddress_ = 0;
    std::atomic<int32_t> currentRecorder_{-1};
    std::atomic<int> failedWrites_{0};
    std::atomic<int> filesMovedAside_{0};
    // Whether the damaged registry has been reported since the last successful save.
    bool registryRefusalSaid_ = false;
};

} // namespace veldrin
