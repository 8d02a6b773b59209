#include "cli/watch_publishing.h"

#include "cli/commands.h"
#include "cli/exit_status.h"

#if VELDRIN_HAVE_MQTT
#include "core/atomic_file.h"
#include "publish/mosquitto_session.h"
#include "publish/published_position.h"
#include "publish/publisher.h"
#include "publish/tls_context.h"
#include "store/ini_file.h"
#include "store/registry.h"

#include <chrono>
#include <future>
#include <pthread.h>
#include <unistd.h>
#endif

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <thread>

namespace veldrin::cli {

#if VELDRIN_HAVE_MQTT

namespace {

constexpr const char* kPasswordVariable = "VELDRIN_MQTT_PASSWORD";

// Sent to the publishing thread when publishing stops: a connection to a broker whose host does
// not answer waits minutes in the system before it fails, and the signal ends that wait at once.
// It is blocked in every other thread, so that no other wait is cut short by it.
constexpr int kWakeSignal = SIGUSR1;
constexpr auto kWakeRepeat = std::chrono::milliseconds(100);

void maskWakeSignal(int how) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, kWakeSignal);
    pthread_sigmask(how, &signals, nullptr);
}

// Handled (by doing nothing) without SA_RESTART, so that the wait it interrupts ends.
void installWakeHandler() {
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(kWakeSignal, &action, nullptr);
}

// The file's first line: an editor's final line break is not part of the password.
bool readPassword(const std::string& path, std::string& out, std::string& error) {
    if (!readWholeFile(path, out, error)) {
        return false;
    }
    if (const std::size_t end = out.find_first_of("\r\n"); end != std::string::npos) {
        out.resize(end);
    }
    return true;
}

// This machine's level in the availability topic: the client id given, else the host name.
std::string machineName(const std::string& clientId) {
    if (!clientId.empty()) {
        return publish::topicLevel(clientId);
    }
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') {
        return "host";
    }
    return publish::topicLevel(host);
}

// The files of the TLS options are read at start, so that a wrong name ends watch at once rather
// than failing every connection; the option is named with the cause.
bool tlsFilesReadable(const PublishRequest& wanted) {
    for (const auto& [path, option] :
         {std::pair{&wanted.caFile, "--mqtt-ca"}, std::pair{&wanted.certFile, "--mqtt-cert"},
          std::pair{&wanted.keyFile, "--mqtt-key"}}) {
        if (path->empty()) {
            continue;
        }
        if (const std::string fault = publish::unreadableFileFault(*path); !fault.empty()) {
            printError(std::string(option) + ": " + fault);
            return false;
        }
    }
    return true;
}

struct BrokerSetup {
    publish::SessionSettings session;
    publish::PublisherSettings publisher;
};

// The session and the publisher's settings from the command line, the files of the options read;
// false with the message printed and `status` set.
bool setUpBroker(const PublishRequest& wanted, const Folders& folders, BrokerSetup& setup,
                 int& status) {
    const publish::UrlParse parsed = publish::parseBrokerUrl(wanted.url);
    if (!parsed.ok) { // checked while parsing the line already
        printError("--mqtt: " + parsed.error);
        status = kExitUsage;
        return false;
    }
    if (!tlsFilesReadable(wanted)) {
        status = kExitInvalid;
        return false;
    }
    setup.session.url = parsed.url;
    setup.session.tls = {wanted.caFile, wanted.certFile, wanted.keyFile};
    setup.session.clientId = wanted.clientId;
    if (!wanted.passwordFile.empty()) {
        std::string password;
        std::string error;
        if (!readPassword(wanted.passwordFile, password, error)) {
            printError("--mqtt-password-file: " + error);
            status = kExitInvalid;
            return false;
        }
        setup.session.password = password;
    } else if (const char* password = std::getenv(kPasswordVariable)) {
        setup.session.password = std::string(password);
    }
    const std::string machine = machineName(wanted.clientId);
    setup.session.willTopic = publish::Topics(parsed.url.prefix, machine).programAvailability();
    setup.session.maxInFlight = static_cast<int>(publish::kDefaultWindow) + 16;
    setup.publisher.dataFolder = folders.data;
    setup.publisher.prefix = parsed.url.prefix;
    setup.publisher.machine = machine;
    setup.publisher.positionKey = publish::brokerKey(parsed.url);
    setup.publisher.brokerName = publish::describe(parsed.url);
    setup.publisher.discovery = wanted.discovery;
    setup.publisher.rate = wanted.rate;
    if (!wanted.discoveryPrefix.empty()) {
        setup.publisher.discoveryPrefix = wanted.discoveryPrefix;
    }
    return true;
}

} // namespace

struct WatchPublishing::Running {
    publish::SessionSettings session;
    publish::PublisherSettings publisher;
    std::unique_ptr<publish::MosquittoSession> client;
    std::unique_ptr<publish::Publisher> worker;
    std::atomic<bool> stop{false};
    std::atomic<bool> ticked{false}; // the chain's first presence poll has been made
    std::promise<void> ended;
    std::thread thread;
};

WatchPublishing::WatchPublishing() = default;

WatchPublishing::~WatchPublishing() {
    stop();
}

bool WatchPublishing::prepare(const CliRequest& request, const Folders& folders, int& status) {
    const PublishRequest& wanted = request.publish;
    if (wanted.url.empty()) {
        return true;
    }
    BrokerSetup setup;
    if (!setUpBroker(wanted, folders, setup, status)) {
        return false;
    }
    auto running = std::make_unique<Running>();
    running->session = setup.session;
    running->publisher = setup.publisher;
    // Before the chain's threads start, so that they inherit the mask.
    installWakeHandler();
    maskWakeSignal(SIG_BLOCK);
    running_ = std::move(running);
    return true;
}

void WatchPublishing::start(Attached attachedNow) {
    if (!running_) {
        return;
    }
    const std::atomic<bool>& ticked = running_->ticked;
    // Not known before the first presence poll, nor while a recorder found is being identified.
    publish::AttachedRecorders attached = [attachedNow = std::move(attachedNow),
                                           &ticked]() -> std::optional<std::set<int32_t>> {
        return ticked.load() ? attachedNow() : std::nullopt;
    };
    running_->client = std::make_unique<publish::MosquittoSession>(running_->session);
    running_->worker = std::make_unique<publish::Publisher>(running_->publisher, *running_->client,
                                                            SystemClock::instance(), nullptr,
                                                            printLine, printError);
    running_->worker->followRecorders(std::move(attached));
    running_->thread = std::thread([this] {
        // The stop signals are the chain loop's to take; the network waits here stay whole.
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
        maskWakeSignal(SIG_UNBLOCK);
        running_->worker->run(running_->stop);
        running_->ended.set_value();
    });
}

void WatchPublishing::noteTick() {
    if (running_) {
        running_->ticked.store(true);
    }
}

void WatchPublishing::stop() {
    if (running_ && running_->thread.joinable()) {
        running_->stop.store(true);
        // Again and again: the thread may have been just about to enter the wait.
        const std::future<void> ended = running_->ended.get_future();
        do {
            pthread_kill(running_->thread.native_handle(), kWakeSignal);
        } while (ended.wait_for(kWakeRepeat) != std::future_status::ready);
        running_->thread.join();
    }
}

int runMqttForget(const CliRequest& request, const Folders& folders) {
    const int32_t number = static_cast<int32_t>(*request.recorder);
    RecorderIdentity identity;
    if (!registeredIdentity(IniSnapshot::load(folders.data + "/main.ini"), number, identity)) {
        printError("recorder " + std::to_string(number) + " is not registered");
        return kExitInvalid;
    }
    int status = kExitOk;
    BrokerSetup setup;
    if (!setUpBroker(request.publish, folders, setup, status)) {
        return status;
    }
    const publish::Topics topics(setup.publisher.prefix, setup.publisher.machine);
    const std::string& discovery = setup.publisher.discoveryPrefix;
    const std::vector<std::string> retained = {
        publish::discoveryTopic(discovery, identity, publish::Quantity::temperature),
        publish::discoveryTopic(discovery, identity, publish::Quantity::humidity),
        topics.state(identity), topics.availability(identity)};
    // No last will: this short session is no publisher going away.
    setup.session.willTopic.clear();
    publish::MosquittoSession session(setup.session);
    std::string error;
    if (!publish::clearRetained(session, retained, SystemClock::instance(), error)) {
        printError("MQTT: " + setup.publisher.brokerName + ": " + error);
        return kExitInvalid;
    }
    printLine("MQTT: recorder " + std::to_string(number) + " (" + publish::identityText(identity) +
              ") forgotten at " + setup.publisher.brokerName +
              ": its discovery configurations, state and availability are cleared");
    return kExitOk;
}

#else // built without the MQTT client: parsing refuses --mqtt already

struct WatchPublishing::Running {};
WatchPublishing::WatchPublishing() = default;
WatchPublishing::~WatchPublishing() = default;
bool WatchPublishing::prepare(const CliRequest&, const Folders&, int&) {
    return true;
}
void WatchPublishing::start(Attached) {}
void WatchPublishing::noteTick() {}
void WatchPublishing::stop() {}
int runMqttForget(const CliRequest&, const Folders&) {
    return kExitUsage;
}

#endif

} // namespace veldrin::cli
