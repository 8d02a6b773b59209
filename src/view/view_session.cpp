#include "view/view_session.h"

#include "core/paths.h"
#include "device/backend_registry.h"
#include "qlang/qlang.h"
#include "view/desktop_notification.h"

#include <QDir>
#include <QStringList>

#include <mutex>

namespace veldrin {

namespace {

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

// ---- Bridges from the headless layers ---------------------------------------------------------

// The worker posts its reports from its own thread; they are queued to the window thread.
class ViewSession::WindowReportSink final : public ReportSink {
public:
    explicit WindowReportSink(ViewSession* session) : session_(session) {}
    void postLoggerStatus(int32_t number, int code) override {
        QMetaObject::invokeMethod(
            session_, [session = session_, number, code] { session->handleReport(number, code); },
            Qt::QueuedConnection);
    }

private:
    ViewSession* session_;
};

// The acquisition's notices: called on the window thread, where the reports are handled.
class ViewSession::AcquisitionBridge final : public AcquisitionListener {
public:
    explicit AcquisitionBridge(ViewSession& session) : session_(session) {}
    void statusText(const std::u16string& text) override { session_.showStatus(qstr(text)); }
    void recordersChanged(int32_t maxId, int32_t current) override {
        Q_EMIT session_.recordersChanged(maxId, current);
    }
    void repaint(bool) override { Q_EMIT session_.displayedDataChanged(); }
    void applyTimeWindow() override { Q_EMIT session_.windowToApply(); }

private:
    ViewSession& session_;
};

// The store's notices come from whichever thread changed the data (the worker for downloads);
// the flag is safe anywhere, everything else is queued to the window thread.
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
    link_ = std::make_unique<LoggerLink>(*backend_);
    reportSink_ = std::make_unique<WindowReportSink>(this);
    acquisitionBridge_ = std::make_unique<AcquisitionBridge>(*this);
    acquisition_ = std::make_unique<Acquisition>(*link_, *store_, *clock_, *reportSink_,
                                                 acquisitionBridge_.get());
}

ViewSession::~ViewSession() {
    stop();
}

void ViewSession::stop() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    // Ends the worker and waits for it: a download in progress finishes its file write first.
    acquisition_->stopWorker();
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

// ---- The one-second step and the worker's reports ---------------------------------------------

void ViewSession::tick() {
    if (stopped_) {
        return;
    }
    acquisition_->periodicStep();
    followAttached();
    followAlarms();
}

void ViewSession::handleReport(int32_t number, int code) {
    if (stopped_) {
        return;
    }
    lastReport_ = {number, code};
    pulled_ = false;
    acquisition_->HandleLoggerStatus(number, code);
    followAttached();
}

void ViewSession::followAttached() {
    const int attached = acquisition_->shared().recorderAttached.load();
    if (attached != lastAttached_) {
        // A recorder pulled out: the left pane says so instead of the last progress text.
        if (lastAttached_ == 1 && attached != 1) {
            pulled_ = true;
            showStatus(qlang(text::kNoRecorderAvailable));
        }
        lastAttached_ = attached;
        Q_EMIT recorderAttached(attached == 1);
    }
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

// ---- Alarms -----------------------------------------------------------------------------------

void ViewSession::setDisplayedRecorder(int32_t number) {
    alarms_->setDisplayedRecorder(number);
    showAlarm(alarms_->statusText());
}

void ViewSession::languageChanged() {
    if (acquisitionStatus_.isEmpty() && alarmStatus_.isEmpty()) {
        return; // nothing shown yet
    }
    if (pulled_) {
        acquisitionStatus_ = qlang(text::kNoRecorderAvailable);
    } else if (lastReport_) {
        acquisitionStatus_ = qstr(statusTextFor(lastReport_->second, lastReport_->first));
    }
    alarmStatus_ = alarms_->statusText();
    showStatus(acquisitionStatus_);
}

// A recorder registered or recognised while the window runs becomes the displayed one without
// being chosen: its limits apply from then on, not those of the recorder shown before.
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

void ViewSession::followAlarms() {
    showAlarm(alarms_->follow(acquisition_->shared().recorderAttached.load() == 1));
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
