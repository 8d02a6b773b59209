#include "store/data_store.h"

#include "store/registry.h"

#include <algorithm>

namespace veldrin {

// What an operation has to tell the listener once the lock is released.
struct DataStore::Notices {
    bool refill = false;
    bool interval = false;
    int32_t intervalMinutes = 0;
    int32_t cleared = -1; // the recorder whose file was emptied
    std::vector<std::string> problems;
    // Data files that could not be read: the front end may name the cause in its own words.
    struct OpenProblem {
        std::string path;
        OpenFailure failure;
        std::string message;
    };
    std::vector<OpenProblem> openProblems;
};

namespace {

void freeRecords(RecordList& list) {
    RecordList().swap(list);
}

// Room for `more` records with a little headroom, so that a download every few seconds does not
// reallocate a million records each time, while the list never carries the slack of doubling.
void makeRoom(RecordList& list, std::size_t more) {
    const std::size_t needed = list.size() + more;
    if (needed > list.capacity()) {
        list.reserve(needed + std::max<std::size_t>(64, needed / 32));
    }
}

void appendRecords(RecordList& list, const HistoryRecord* first, std::size_t count) {
    makeRoom(list, count);
    list.insert(list.end(), first, first + count);
}

// Walking from the newest record back: the newest gets `newest`, each older one the time of its
// newer neighbour minus that neighbour's interval.
void stampBackwards(HistoryRecord* first, std::size_t count, const DateTime& newest) {
    int64_t t = newest.linearSeconds();
    for (std::size_t i = count; i-- > 0;) {
        first[i].setTime(DateTime::fromLinearSeconds(t));
        t -= int64_t{first[i].interval} * 60;
    }
}

// The oldest record gets `oldest`, each following one its predecessor's time plus its interval.
void stampForwards(HistoryRecord* first, std::size_t count, const DateTime& oldest) {
    int64_t t = oldest.linearSeconds();
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            t += int64_t{first[i].interval} * 60;
        }
        first[i].setTime(DateTime::fromLinearSeconds(t));
    }
}

} // namespace

DataStore::DataStore(std::string dataFolder, IniFile& ini, Clock& clock)
    : folder_(std::move(dataFolder)), ini_(ini), clock_(clock), document_(clock) {}

std::string DataStore::dataFilePath(int32_t number) const {
    return veldrin::dataFilePath(folder_, number);
}

void DataStore::deliver(const Notices& notices) {
    if (listener_ == nullptr) {
        return;
    }
    for (const std::string& message : notices.problems) {
        listener_->problem(message);
    }
    for (const Notices::OpenProblem& open : notices.openProblems) {
        listener_->openFailed(open.path, open.failure, open.message);
    }
    if (notices.refill) {
        listener_->listNeedsRefill();
    }
    if (notices.interval) {
        listener_->intervalChanged(notices.intervalMinutes);
    }
    if (notices.cleared >= 0) {
        listener_->recordsCleared(notices.cleared);
    }
}

void DataStore::noteOpenFailure(Notices& notices, const std::string& path) const {
    notices.openProblems.push_back({path, document_.lastOpenFailure(), document_.errorMessage()});
}

void DataStore::collectDocumentNotice(Notices& notices) {
    if (!document_.noticeMessage().empty()) {
        notices.problems.push_back(document_.noticeMessage());
        ++filesMovedAside_;
    }
}

void DataStore::noteRefusalLocked(const std::string& why, Notices& notices) {
    ++failedWrites_;
    if (!registryRefusalSaid_) {
        registryRefusalSaid_ = true;
        notices.problems.push_back(why);
    }
}

// A damaged main.ini may name a recorder under another's number: no data file is created, saved
// or cleared (and none moved aside) until it is mended.
bool DataStore::registryRefusesLocked(Notices& notices) {
    const RegistryCount registry = registeredCount(ini_.snapshot());
    if (!registry.damaged()) {
        return false;
    }
    noteRefusalLocked(registry.damage + " No data file is written until main.ini is mended.",
                      notices);
    return true;
}

void DataStore::refuseRecorder(const std::string& why) {
    Notices notices;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        noteRefusalLocked(why, notices);
    }
    deliver(notices);
}

bool DataStore::displayedIsConnected() const {
    return displayFollowsConnected_ && !displayedIsDocument_ &&
           displayedSettings_.recorderNumber == connectedSettings_.recorderNumber;
}

void DataStore::mirrorConnectedIntoDisplayed() {
    if (displayedMirrorsConnected_) {
        return;
    }
    freeRecords(displayedRecords_);
    displayedRecords_.reserve(connectedRecords_.capacity()); // the same room to append into
    displayedRecords_.assign(connectedRecords_.begin(), connectedRecords_.end());
    displayedMirrorsConnected_ = true;
}

// ---- Loading ---------------------------------------------------------------------------------

int DataStore::loadBothLocked(int32_t number, Notices& notices) {
    document_.setTarget(&connectedRecords_);
    if (!document_.open(dataFilePath(number))) {
        noteOpenFailure(notices, dataFilePath(number));
        return 0;
    }
    connectedSettings_ = document_.settings;
    displayedSettings_ = document_.settings;
    displayedIsDocument_ = false;
    nextAddress_ = document_.nextAddress;
    // The same file read twice gives the same records; a copy is cheaper than a second read.
    displayedMirrorsConnected_ = false;
    if (displayFollowsConnected_) {
        mirrorConnectedIntoDisplayed();
    }
    return 1;
}

int32_t DataStore::loadAtStartUp() {
    const RegistryCount registry = registeredCount(ini_.snapshot());
    if (!registry.damage.empty()) {
        Notices notices;
        notices.problems.push_back(registry.damage);
        deliver(notices);
    }
    const int32_t maxId = registry.count;
    if (maxId <= 0) {
        return -1;
    }
    const int32_t number = maxId - 1;
    currentRecorder_.store(number);
    loadBothSets(number);
    return number;
}

int DataStore::loadBothSets(int32_t number) {
    Notices notices;
    int ok = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        ok = loadBothLocked(number, notices);
        notices.refill = true;
        notices.interval = true;
        notices.intervalMinutes = displayedSettings_.interval;
    }
    deliver(notices);
    return ok;
}

int DataStore::loadDisplayedSet(int32_t number) {
    Notices notices;
    int ok = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        const bool otherRecorder =
            displayedIsDocument_ || number != displayedSettings_.recorderNumber;
        displayedIsDocument_ = false;
        if (otherRecorder) {
            freeRecords(displayedRecords_);
        }
        document_.setTarget(&displayedRecords_);
        ok = document_.open(dataFilePath(number));
        if (ok) {
            displayedSettings_ = document_.settings;
        } else {
            noteOpenFailure(notices, dataFilePath(number));
            if (otherRecorder) {
                // An empty set of the chosen recorder, not the previous recorder's description.
                displayedSettings_ = RecorderSettings{};
                displayedSettings_.recorderNumber = number;
            }
        }
        displayedMirrorsConnected_ = displayedRecords_.empty() && connectedRecords_.empty();
        notices.refill = true;
        notices.interval = true;
        notices.intervalMinutes = displayedSettings_.interval;
    }
    deliver(notices);
    return ok;
}

int DataStore::loadDisplayedDocument(const std::string& path, OpenFailure* failure) {
    Notices notices;
    int ok = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        RecordList records;
        document_.settings = RecorderSettings{};
        document_.setTarget(&records);
        ok = document_.open(path);
        if (ok) {
            displayedSettings_ = document_.settings;
            displayedRecords_.swap(records);
            displayedIsDocument_ = true;
            displayedMirrorsConnected_ = false;
            notices.refill = true;
            notices.interval = true;
            notices.intervalMinutes = displayedSettings_.interval;
        } else if (failure != nullptr) {
            *failure = document_.lastOpenFailure();
        } else {
            noteOpenFailure(notices, path);
        }
    }
    deliver(notices);
    return ok;
}

void DataStore::showConnectedOf(const DataStore& source) {
    RecorderSettings settings;
    RecordList records;
    source.withConnected([&](const RecorderSettings& s, const RecordList& r) {
        settings = s;
        records.reserve(r.capacity()); // the same room to append into
        records.assign(r.begin(), r.end());
    });
    Notices notices;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        displayedRecords_.swap(records);
        displayedSettings_ = settings;
        displayedIsDocument_ = false;
        displayedMirrorsConnected_ = false;
        notices.refill = true;
        notices.interval = true;
        notices.intervalMinutes = displayedSettings_.interval;
    }
    deliver(notices);
}

bool DataStore::displayedIsDocument() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return displayedIsDocument_;
}

int DataStore::readFileSettings(int32_t number, RecorderSettings& out) {
    Notices notices;
    int ok = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        ok = document_.peekSettings(dataFilePath(number), out);
        if (!ok) {
            noteOpenFailure(notices, dataFilePath(number));
        }
    }
    deliver(notices);
    return ok;
}

// ---- Worker reports --------------------------------------------------------------------------

int DataStore::createEmptyLocked(int32_t number, Notices& notices) {
    RecorderSettings fresh;
    fresh.recorderNumber = number;
    if (registryRefusesLocked(notices)) {
        return 0;
    }
    const int ok = document_.createEmpty(dataFilePath(number), fresh);
    collectDocumentNotice(notices);
    if (!ok) {
        notices.problems.push_back(document_.errorMessage());
        ++failedWrites_;
    }
    return ok;
}

int DataStore::createEmptyFile(int32_t number) {
    Notices notices;
    int ok = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        ok = createEmptyLocked(number, notices);
    }
    deliver(notices);
    return ok;
}

int DataStore::startNewRecorder(int32_t number) {
    currentRecorder_.store(number);
    Notices notices;
    int ok = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        connectedSettings_.description.clear();
        connectedSettings_.recorderNumber = number;
        nextAddress_ = 0;
        document_.nextAddress = 0;
        freeRecords(connectedRecords_);
        freeRecords(displayedRecords_);
        // The new recorder is the one chosen for display: its set follows the connected one from
        // the header refresh on, whatever was shown before.
        displayedSettings_ = connectedSettings_;
        displayedMirrorsConnected_ = true;
        displayedIsDocument_ = false;
        ok = createEmptyLocked(number, notices);
        notices.refill = true;
        notices.interval = true;
        notices.intervalMinutes = displayedSettings_.interval;
    }
    deliver(notices);
    return ok;
}

int DataStore::adoptRecognisedRecorder(int32_t number, int32_t previous, bool isNew) {
    currentRecorder_.store(number);
    Notices notices;
    int ok = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (displayedIsDocument_) {
            // The recognised recorder is shown from now on, not the file the user opened.
            freeRecords(displayedRecords_);
            displayedMirrorsConnected_ = false;
            displayedIsDocument_ = false;
        }
        if (previous != number) {
            nextAddress_ = 0;
            document_.nextAddress = 0;
            connectedSettings_.description.clear();
            freeRecords(connectedRecords_);
            freeRecords(displayedRecords_);
            displayedMirrorsConnected_ = true;
        }
        notices.refill = true;
        connectedSettings_.recorderNumber = number;
        displayedSettings_.recorderNumber = number;
        if (isNew) {
            connectedSettings_.description.clear();
            displayedSettings_.description.clear();
            ok = createEmptyLocked(number, notices);
        } else {
            ok = loadBothLocked(number, notices);
            notices.interval = true;
            notices.intervalMinutes = displayedSettings_.interval;
        }
    }
    deliver(notices);
    return ok;
}

// ---- Acquisition -----------------------------------------------------------------------------

int DataStore::saveConnectedLocked(Notices& notices) {
    const int32_t number = currentRecorder_.load();
    if (number < 0) {
        notices.problems.push_back("No recorder is connected; its data could not be saved.");
        ++failedWrites_;
        return 0;
    }
    if (registryRefusesLocked(notices)) {
        return 0;
    }
    document_.settings = connectedSettings_;
    document_.nextAddress = nextAddress_;
    document_.setTarget(&connectedRecords_);
    const int ok = document_.save(dataFilePath(number));
    collectDocumentNotice(notices);
    if (!ok) {
        notices.problems.push_back(document_.errorMessage());
        ++failedWrites_;
    } else {
        registryRefusalSaid_ = false;
    }
    return ok;
}

int DataStore::refreshFromHeader(const HeaderImage& header, int32_t currentRecorder) {
    Notices notices;
    int ok = 1;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        // No recorder registered yet, or the window has not registered this one: nothing to
        // write, and no file named after an unknown number.
        if (readMaxId(ini_) <= 0 || currentRecorder < 0) {
            return 1;
        }
        currentRecorder_.store(currentRecorder);
        decodeSettings(header, currentRecorder, clock_.nowLocal(), connectedSettings_);
        ok = saveConnectedLocked(notices);
        if (displayedIsConnected()) {
            displayedSettings_ = connectedSettings_;
            mirrorConnectedIntoDisplayed();
        }
        notices.refill = true;
        notices.interval = true;
        notices.intervalMinutes = displayedSettings_.interval;
    }
    deliver(notices);
    return ok;
}

// The batch goes straight into the connected records, scaled, and is time-stamped there: a
// download of a whole recorder is not copied on its way into the history.
void DataStore::appendStamped(const DownloadedBatch& batch, const DateTime& now) {
    const bool haveStoredTime =
        !connectedRecords_.empty() && connectedRecords_.back().time().isValid();
    const DateTime stored = haveStoredTime ? connectedRecords_.back().time() : DateTime{};
    makeRoom(connectedRecords_, batch.records.size());
    const std::size_t start = connectedRecords_.size();
    for (const RawRecord& raw : batch.records) {
        HistoryRecord& r = connectedRecords_.emplace_back();
        r.temperature = raw.raw * 0.1 - 40.0;
        r.humidity = static_cast<int8_t>(raw.humidity);
        r.interval = raw.interval;
        r.setDownloadTime(now);
    }
    HistoryRecord* first = connectedRecords_.data() + start;
    const std::size_t count = batch.records.size();
    auto afterStored = [&] { return stored.plusMinutes(first[0].interval); };
    if (batch.mode == DownloadedBatch::Mode::continuous) {
        if (batch.continues && haveStoredTime) {
            stampForwards(first, count, afterStored());
        } else {
            stampBackwards(first, count, now);
        }
    } else if (batch.beganAtSlotStart) {
        stampForwards(first, count, batch.slotStart);
    } else if (haveStoredTime) {
        stampForwards(first, count, afterStored());
    } else {
        stampBackwards(first, count, now);
    }
}

void DataStore::retimeConnected(const DateTime& now) {
    stampBackwards(connectedRecords_.data(), connectedRecords_.size(), now);
}

int DataStore::appendDownloaded(const DownloadedBatch& batch) {
    if (batch.records.empty()) {
        return 1;
    }
    Notices notices;
    int ok = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        const DateTime now = clock_.nowLocal();
        const std::size_t before = connectedRecords_.size();
        appendStamped(batch, now);
        if (displayedIsConnected()) {
            appendRecords(displayedRecords_, connectedRecords_.data() + before,
                          batch.records.size());
        } else {
            displayedMirrorsConnected_ = false;
        }
        nextAddress_ = batch.newNextAddress;
        // A newest record in the future (the recorder's clock ran ahead of the PC's) shifts the
        // whole history back so that it ends now. Re-timing before the save writes the file once
        // with the same result as saving before and after.
        const bool retime = batch.mode == DownloadedBatch::Mode::continuous &&
                            connectedRecords_.back().time() > now;
        if (retime) {
            retimeConnected(now);
            if (displayedIsConnected()) {
                displayedSettings_ = connectedSettings_;
                displayedMirrorsConnected_ = false;
                mirrorConnectedIntoDisplayed();
            }
        }
        ok = saveConnectedLocked(notices);
        notices.refill = true;
    }
    deliver(notices);
    return ok;
}

int32_t DataStore::nextAddress() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return nextAddress_;
}

void DataStore::setNextAddress(int32_t address) {
    std::lock_guard<std::mutex> guard(mutex_);
    nextAddress_ = address;
    document_.nextAddress = address;
}

RecorderSettings DataStore::connectedSettings() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return connectedSettings_;
}

void DataStore::setConnectedSettings(const RecorderSettings& settings) {
    std::lock_guard<std::mutex> guard(mutex_);
    connectedSettings_ = settings;
}

int DataStore::keepDescription(const std::u16string& description) {
    Notices notices;
    int ok = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        connectedSettings_.description = description;
        if (displayedIsConnected()) {
            displayedSettings_.description = description;
        }
        ok = saveConnectedLocked(notices);
        notices.refill = true;
    }
    deliver(notices);
    return ok;
}

RecorderSettings DataStore::displayedSettings() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return displayedSettings_;
}

std::size_t DataStore::connectedCount() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return connectedRecords_.size();
}

std::size_t DataStore::displayedCount() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return displayedRecords_.size();
}

// ---- Clearing --------------------------------------------------------------------------------

int DataStore::clearRecorder(int32_t chosen) {
    const int32_t maxId = readMaxId(ini_);
    if (maxId <= 0 || chosen < 0 || chosen >= maxId) {
        return 0;
    }
    Notices notices;
    int ok = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        // Nothing is freed either: what the list shows stays what the file holds.
        if (!registryRefusesLocked(notices)) {
            ok = clearLocked(chosen, notices);
            notices.refill = true;
            notices.cleared = ok != 0 ? chosen : -1;
        }
    }
    deliver(notices);
    return ok;
}

int DataStore::clearLocked(int32_t chosen, Notices& notices) {
    // Another recorder's history on display stays: its file is not touched.
    const bool displayedCleared =
        !displayedIsDocument_ && displayedSettings_.recorderNumber == chosen;
    if (displayedCleared) {
        freeRecords(displayedRecords_);
    }
    if (chosen == currentRecorder_.load()) {
        freeRecords(connectedRecords_);
        displayedMirrorsConnected_ = displayedRecords_.empty();
        nextAddress_ = 0;
        return saveConnectedLocked(notices);
    }
    const int ok = clearOtherLocked(chosen, notices);
    if (displayedCleared) {
        displayedMirrorsConnected_ = connectedRecords_.empty();
    }
    return ok;
}

int DataStore::clearOtherLocked(int32_t chosen, Notices& notices) {
    const std::string path = dataFilePath(chosen);
    // Only the settings are kept, so the records are not decoded at all.
    RecorderSettings settings;
    if (!document_.peekSettings(path, settings)) {
        noteOpenFailure(notices, path);
        // A file that cannot be read gets fresh settings of its own number, never the
        // connected recorder's.
        settings = RecorderSettings{};
        settings.recorderNumber = chosen;
    }
    RecordList none;
    document_.settings = settings;
    document_.nextAddress = 0;
    document_.setTarget(&none);
    const int ok = document_.save(path);
    document_.setTarget(nullptr);
    collectDocumentNotice(notices);
    if (!ok) {
        notices.problems.push_back(document_.errorMessage());
        ++failedWrites_;
    }
    return ok;
}

} // namespace veldrin
