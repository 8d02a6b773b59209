#include "view/view_session.h"

#include "core/paths.h"
#include "device/backend_registry.h"
#include "qlang/qlang.h"
#include "view/desktop_notification.h"

#include <QDir>
#include <QStringList>

#include <algorithm>
#include <mutex>

namespace veldrin {

namespace {

// Ticks of the 15-second step that re-applies the time window.
constexpr int kPeriodicTicks = 15;

// A recorder source for a device name that could not be opened: it never finds a recorder.
class NoRecorderBackend final : public HidBackend {
public:
    bool listInterfaces(std::vector<std::string>& paths) override {
        paths.clear();
        return true;
    }
    std::unique_ptr<HidDevice> open(const std::string&) override { return nullptr; }
};

} // namespace

QString openFailureMessage(const QString& path, OpenFailure failure) {
    int cause = text::kFileUnreadable;
    if (failure == OpenFailure::notFound) {
        cause = text::kFileNotFound;
    } else if (failure == OpenFailure::empty || failure == OpenFailure::malformed) {
        cause = text::kNotADataFile;
    }
    return QDir::toNativeSeparators(path) + QStringLiteral("\n\n") + qlang(cause);
}

namespace {

// The report a status text was made from, found again by its text in the language it was made
// in, so that the text can be said again in another language.
std::optional<std::pair<int32_t, int>> reportOfStatusText(const std::u16string& text) {
    const std::u16string progress = statusTextFor(status::progress, 0).substr(1); // " " + text
    if (text.size() > progress.size() && text.ends_with(progress)) {
        const std::u16string digits = text.substr(0, text.size() - progress.size());
        bool ok = false;
        const int number = QString::fromStdU16String(digits).toInt(&ok);
        if (ok) {
            return std::pair<int32_t, int>{number, status::progress};
        }
    }
    if (text == statusTextFor(status::commandDone, kDownloadEndedPartWay)) {
        return std::pair<int32_t, int>{kDownloadEndedPartWay, status::commandDone};
    }
    for (int code = status::readingHeader; code <= status::commandDone; ++code) {
        if (code != status::progress && text == statusTextFor(code, 0)) {
            return std::pair<int32_t, int>{0, code};
        }
    }
    return std::nullopt;
}

} // namespace

// ---- Bridges from the headless layers ---------------------------------------------------------

// The display store's notices come from the window thread, but are queued like those of any
// store: the flag is safe anywhere, everything else reaches the window thread by the event loop.
class ViewSession::StoreBridge final : public DataStoreListener {
public:
    explicit StoreBridge(ViewSession* session) : session_(session) {}
    void listNeedsRefill() override {
        session_->setListNeedsRefill();
        QMetaObject::invokeMethod(
            session_, [session = session_] { Q_EMIT session->displayedDataChanged(); },
            Qt::QueuedConnection);
    }
    void intervalChanged(int32_t minutes) override {
        QMetaObject::invokeMethod(
            session_, [session = session_, minutes] { Q_EMIT session->intervalChanged(minutes); },
            Qt::QueuedConnection);
    }
    void problem(const std::string& message) override { show(QString::fromStdString(message)); }
    void recordsCleared(int32_t number) override {
        QMetaObject::invokeMethod(
            session_, [session = session_, number] { Q_EMIT session->recorderDataCleared(number); },
            Qt::QueuedConnection);
    }
    void openFailed(const std::string& path, OpenFailure failure, const std::string&) override {
        show(openFailureMessage(QString::fromStdString(path), failure));
    }

private:
    // Everything found before the window thread comes round is said in one box: three bad values
    // in main.ini at start are one message, not three modal boxes one after the other. The same
    // failure found twice before it is shown (the start-up load, then the display's own try on
    // the same file) is said once.
    void show(const QString& text) {
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            if (waiting_.contains(text)) {
                return;
            }
            waiting_.append(text);
            if (waiting_.size() > 1) {
                return; // the box already queued takes it along
            }
        }
        QMetaObject::invokeMethod(
            session_, [this] { Q_EMIT session_->problem(takeWaiting()); }, Qt::QueuedConnection);
    }

    QString takeWaiting() {
        const std::lock_guard<std::mutex> guard(mutex_);
        const QString all = waiting_.join(QLatin1Char('\n'));
        waiting_.clear();
        return all;
    }

    ViewSession* session_;
    std::mutex mutex_;
    QStringList waiting_; // messages queued and not yet shown, in the order found
};

// What the fleet says, on the window thread (the fleet is driven there: its ticks and its pumps).
class ViewSession::FleetBridge final : public FleetListener {
public:
    explicit FleetBridge(ViewSession& session) : session_(session) {}
    void statusText(const FleetRecorder& recorder, const std::u16string& text) override {
        Said said{{recorder.chain, recorder.number}, reportOfStatusText(text), false};
        session_.said_[recorder.chain] = said;
        session_.report(recorder, qstr(text));
    }
    void recorderVanished(const FleetRecorder& recorder) override {
        session_.said_[recorder.chain] =
            Said{{recorder.chain, recorder.number}, std::nullopt, true};
        session_.report(recorder, qlang(text::kNoRecorderAvailable));
    }
    void recorderIdentified(const FleetRecorder& recorder, bool) override {
        session_.recorderIdentified(recorder);
    }
    void recordersChanged(int32_t maxId) override {
        Q_EMIT session_.recordersChanged(maxId, session_.displayed_);
    }
    void newData(const FleetRecorder& recorder) override { session_.newData(recorder); }
    void chainEnded(const FleetRecorder& recorder) override { session_.chainEnded(recorder); }
    void recordsCleared(int32_t number) override { Q_EMIT session_.recorderDataCleared(number); }
    void problem(const FleetRecorder&, const std::string& message) override {
        session_.storeBridge_->problem(message);
    }

private:
    ViewSession& session_;
};

// ---- Construction -----------------------------------------------------------------------------

ViewSession::ViewSession(const ViewStartup& startup, QObject* parent)
    : QObject(parent), startup_(startup),
      clock_(startup.clock != nullptr ? startup.clock : &SystemClock::instance()),
      mainIniPath_(joinPath(startup.dataFolder, "main.ini")) {
    if (startup.prompts != nullptr) {
        prompts_ = startup.prompts;
    } else {
        ownPrompts_ = std::make_unique<CWidgetPrompts>();
        prompts_ = ownPrompts_.get();
    }
    openRecorder();
    ini_ = std::make_unique<IniFile>(mainIniPath_);
    store_ = std::make_unique<DataStore>(startup.dataFolder, *ini_, *clock_);
    storeBridge_ = std::make_unique<StoreBridge>(this);
    store_->setListener(storeBridge_.get());
    alarms_ = std::make_unique<AlarmMonitor>(
        *store_, mainIniPath_, sendDesktopNotification,
        [this](const std::string& message) { storeBridge_->problem(message); });
    fleetBridge_ = std::make_unique<FleetBridge>(*this);
    fleet_ =
        std::make_unique<RecorderFleet>(*backend_, startup.dataFolder, *clock_, fleetBridge_.get());
    // A worker's report wakes the window thread, which hands every report waiting to its chain.
    fleet_->setWakeUp([this] {
        if (!pumpQueued_.exchange(true)) {
            QMetaObject::invokeMethod(
                this, [this] { pump(); }, Qt::QueuedConnection);
        }
    });
}

ViewSession::~ViewSession() {
    stop();
}

void ViewSession::stop() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    // Ends every worker and waits for it: a download in progress finishes its file write first.
    fleet_.reset();
}

bool ViewSession::openRecorder() {
    backend_ = startup_.backend;
    if (backend_) {
        return true;
    }
    std::string error;
    std::unique_ptr<HidBackend> chosen = chooseBackend(startup_.device, error, *clock_);
    if (!chosen) {
        startupError_ = QString::fromStdString(error);
        backend_ = std::make_shared<NoRecorderBackend>();
        return false;
    }
    backend_ = std::shared_ptr<HidBackend>(std::move(chosen));
    return true;
}

// ---- The attached recorders -------------------------------------------------------------------

std::vector<int32_t> ViewSession::attachedNumbers() const {
    std::vector<int32_t> numbers;
    if (fleet_) {
        for (const FleetRecorder& r : fleet_->recorders()) {
            if (r.attached && r.number >= 0) {
                numbers.push_back(r.number);
            }
        }
    }
    return numbers;
}

int ViewSession::attachedCount() const {
    return fleet_ ? fleet_->attachedCount() : 0;
}

Acquisition* ViewSession::acquisitionOf(int32_t number) {
    return fleet_ ? fleet_->acquisitionOf(number) : nullptr;
}

// ---- The one-second step and the workers' reports ---------------------------------------------

void ViewSession::tick() {
    if (stopped_) {
        return;
    }
    if (holds_ == 0) {
        fleet_->tick();
    }
    pump();
    if (++ticks_ >= kPeriodicTicks) {
        ticks_ = 0;
        Q_EMIT windowToApply();
    }
    followAttached();
    turns_.tick();
    showTurn();
    followAlarms();
}

void ViewSession::pump() {
    pumpQueued_.store(false);
    if (stopped_) {
        return;
    }
    if (fleet_->pump() > 0) {
        followAttached();
    }
}

void ViewSession::report(const FleetRecorder& recorder, const QString& text) {
    latestChain_ = recorder.chain;
    turns_.report({recorder.chain, recorder.number}, text);
    // One recorder's every report is shown, as it always was; while several take turns, a
    // report of one whose turn it is not leaves the pane as it is.
    if (turns_.turn() == 0) {
        showStatus(turns_.paneText());
    } else {
        showTurn();
    }
}

void ViewSession::showTurn() {
    const QString text = turns_.paneText();
    if (text != acquisitionStatus_) {
        showStatus(text);
    }
}

// Which recorders are attached: the count for pane 1, the marks of "Driver No.", the turns of
// pane 0.
void ViewSession::followAttached() {
    std::vector<FleetRecorder> now = fleet_->recorders();
    const auto same = [](const FleetRecorder& a, const FleetRecorder& b) {
        return a.chain == b.chain && a.number == b.number && a.attached == b.attached;
    };
    if (std::equal(now.begin(), now.end(), lastRecorders_.begin(), lastRecorders_.end(), same)) {
        return;
    }
    lastRecorders_ = std::move(now);
    for (const FleetRecorder& r : lastRecorders_) {
        if (std::find(chains_.begin(), chains_.end(), r.chain) == chains_.end()) {
            chains_.push_back(r.chain);
        }
    }
    // What a retired chain said is forgotten, unless it is the latest text (a recorder pulled).
    std::erase_if(said_, [this](const auto& entry) {
        return entry.first != latestChain_ &&
               std::none_of(lastRecorders_.begin(), lastRecorders_.end(),
                            [&entry](const FleetRecorder& r) { return r.chain == entry.first; });
    });

    std::vector<StatusTurns::Recorder> attached;
    for (const FleetRecorder& r : lastRecorders_) {
        if (r.attached) {
            attached.push_back({r.chain, r.number});
        }
    }
    turns_.setAttached(attached);
    const int count = static_cast<int>(attached.size());
    if (count != lastCount_) {
        lastCount_ = count;
        Q_EMIT attachedCountChanged(count);
    }
    Q_EMIT attachedChanged();
    showTurn();
}

// A recorder registered or recognised: shown when the display rule lets it, so that a second
// recorder plugged in never takes the display from the one looked at.
void ViewSession::recorderIdentified(const FleetRecorder& recorder) {
    if (recorder.number < 0) {
        return; // the registry refused it; the store has said why
    }
    // The turns name it by its number from now on.
    lastRecorders_.clear();
    followAttached();
    if (!showsConnectedRecorder(displayed_, recorder.number, attachedNumbers())) {
        return;
    }
    displayed_ = recorder.number;
    Q_EMIT recorderToShow(recorder.number);
}

// The chain's own store, also when its recorder has just gone: the records of a download that
// ended with the recorder pulled are shown as well.
void ViewSession::newData(const FleetRecorder& recorder) {
    if (recorder.number >= 0) {
        Q_EMIT recorderDataSaved(recorder.number);
    }
    if (recorder.number < 0 || recorder.number != displayed_ || store_->displayedIsDocument()) {
        return;
    }
    if (const DataStore* chain = fleet_->storeOfChain(recorder.chain)) {
        store_->showConnectedOf(*chain);
    }
}

void ViewSession::chainEnded(const FleetRecorder& recorder) {
    std::erase(chains_, recorder.chain);
    said_.erase(recorder.chain);
}

// ---- Loading what is shown --------------------------------------------------------------------

ViewSession::LoadAttempt ViewSession::loadAttempt(int recorder) const {
    LoadAttempt attempt;
    attempt.recorder = recorder;
    attempt.fileThere = recorder >= 0 && fileExists(store_->dataFilePath(recorder));
    return attempt;
}

bool ViewSession::needsLoad(int recorder) const {
    return store_->displayedCount() == 0 && givenUpFor_ != loadAttempt(recorder);
}

// A load that leaves the set empty is not tried again until another recorder is chosen or its
// file appears.
void ViewSession::loadDisplayed(int recorder) {
    const LoadAttempt attempt = loadAttempt(recorder);
    if (recorder >= 0) {
        store_->loadDisplayedSet(recorder);
    }
    if (store_->displayedCount() == 0) {
        givenUpFor_ = attempt;
    }
}

int ViewSession::showRecorder(int32_t number) {
    if (Acquisition* chain = acquisitionOf(number)) {
        store_->showConnectedOf(chain->store());
        return 1;
    }
    return store_->loadDisplayedSet(number);
}

void ViewSession::refreshDisplayed() {
    if (store_->displayedIsDocument()) {
        return;
    }
    const int32_t number = store_->displayedSettings().recorderNumber;
    if (Acquisition* chain = acquisitionOf(number)) {
        store_->showConnectedOf(chain->store());
    }
}

// ---- Alarms -----------------------------------------------------------------------------------

void ViewSession::setDisplayedRecorder(int32_t number) {
    displayed_ = number;
    alarms_->setDisplayedRecorder(number);
    showAlarm(alarms_->statusText());
}

QString ViewSession::textOf(const Said& said) const {
    if (said.pulled) {
        return qlang(text::kNoRecorderAvailable);
    }
    return said.report ? qstr(statusTextFor(said.report->second, said.report->first)) : QString();
}

void ViewSession::languageChanged() {
    if (acquisitionStatus_.isEmpty() && alarmStatus_.isEmpty()) {
        return; // nothing shown yet
    }
    // Every recorder's latest text in the new language, the latest of all last.
    for (const auto& [chain, said] : said_) {
        if (chain != latestChain_) {
            turns_.report(said.recorder, textOf(said));
        }
    }
    if (const auto latest = said_.find(latestChain_); latest != said_.end()) {
        turns_.report(latest->second.recorder, textOf(latest->second));
    }
    alarmStatus_ = alarms_->statusText();
    showStatus(turns_.paneText());
}

// A recorder shown without being chosen: its limits apply from then on, not those of the recorder
// shown before.
bool ViewSession::followDisplayedRecorder() {
    if (store_->displayedIsDocument()) {
        return false;
    }
    const int32_t number = store_->displayedSettings().recorderNumber;
    if (number < 0 || number == alarms_->displayedRecorder()) {
        return false;
    }
    setDisplayedRecorder(number);
    return true;
}

void ViewSession::limitsChanged(int32_t number) {
    alarms_->limitsChanged(number);
    followAlarms();
    Q_EMIT limitsStored();
}

// Every recorder is followed on its own chain's store, also while it is away (what it recorded
// meanwhile is new when it comes back); the status names the displayed one only, while attached.
void ViewSession::followAlarms() {
    std::vector<AlarmMonitor::Followed> followed;
    for (const uint64_t chain : chains_) {
        if (DataStore* store = fleet_->storeOfChain(chain)) {
            const bool attached = std::any_of(
                lastRecorders_.begin(), lastRecorders_.end(),
                [chain](const FleetRecorder& r) { return r.chain == chain && r.attached; });
            followed.push_back({store, attached});
        }
    }
    showAlarm(alarms_->follow(followed));
}

void ViewSession::showAlarm(const QString& alarm) {
    if (alarm != alarmStatus_) {
        alarmStatus_ = alarm;
        showStatus(acquisitionStatus_);
    }
}

void ViewSession::showStatus(const QString& acquisitionText) {
    acquisitionStatus_ = acquisitionText;
    if (alarmStatus_.isEmpty()) {
        Q_EMIT statusText(acquisitionText);
    } else if (acquisitionText.isEmpty()) {
        Q_EMIT statusText(alarmStatus_);
    } else {
        Q_EMIT statusText(acquisitionText + QStringLiteral("  –  ") + alarmStatus_);
    }
}

} // namespace veldrin
