#include "publish/mosquitto_session.h"

#include "publish/messages.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace veldrin::publish {
namespace {

constexpr int kKeepAliveSeconds = 30;

void initialiseLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

MosquittoSession* sessionOf(void* userdata) {
    return static_cast<MosquittoSession*>(userdata);
}

std::string defaultClientId() {
    char host[64] = {};
    if (gethostname(host, sizeof host - 1) != 0) {
        std::strcpy(host, "host");
    }
    return "veldrin-" + std::string(host) + "-" + std::to_string(getpid());
}

} // namespace

MosquittoSession::MosquittoSession(SessionSettings settings) : settings_(std::move(settings)) {
    initialiseLibraryOnce();
    if (settings_.clientId.empty()) {
        settings_.clientId = defaultClientId();
    }
}

MosquittoSession::~MosquittoSession() {
    destroy();
}

void MosquittoSession::destroy() {
    if (handle_ != nullptr) {
        mosquitto_destroy(handle_);
        handle_ = nullptr;
    }
}

// A sentence part without its final full stop, so that it can be followed by more.
std::string withoutFullStop(std::string text) {
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

std::string MosquittoSession::describeFailure(int code) const {
    const std::string where = settings_.url.host + ":" + std::to_string(settings_.url.port);
    const std::string refusal = tls_ ? tls_->refusal() : std::string();
    if (!refusal.empty()) {
        return refusal;
    }
    std::string text;
    switch (code) {
    case MOSQ_ERR_ERRNO:
        text = "the broker at " + where + " cannot be reached: " + std::strerror(errno);
        break;
    case MOSQ_ERR_EAI:
        text = "the broker's host name " + settings_.url.host + " cannot be looked up";
        break;
    case MOSQ_ERR_CONN_LOST:
    case MOSQ_ERR_NO_CONN:
        text = "the connection to the broker was lost";
        break;
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
        text = "the TLS handshake with " + where + " failed";
        break;
    default:
        text = withoutFullStop(mosquitto_strerror(code));
        break;
    }
    if (!lastLibraryError_.empty()) {
        text += " (" + withoutFullStop(lastLibraryError_) + ")";
    }
    return text;
}

bool MosquittoSession::configure(std::string& error) {
    mosquitto_int_option(handle_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_max_inflight_messages_set(handle_, static_cast<unsigned>(settings_.maxInFlight));
    mosquitto_connect_callback_set(
        handle_, [](mosquitto*, void* self, int code) { sessionOf(self)->onConnect(code); });
    mosquitto_publish_callback_set(handle_, [](mosquitto*, void* self, int messageId) {
        sessionOf(self)->onPublish(messageId);
    });
    mosquitto_message_callback_set(
        handle_, [](mosquitto*, void* self, const mosquitto_message* message) {
            sessionOf(self)->onMessage(
                message->topic != nullptr ? message->topic : "",
                std::string(static_cast<const char*>(message->payload),
                            static_cast<std::size_t>(std::max(message->payloadlen, 0))));
        });
    mosquitto_log_callback_set(handle_, [](mosquitto*, void* self, int level, const char* text) {
        sessionOf(self)->onLog(level, text);
    });
    int rc = MOSQ_ERR_SUCCESS;
    if (!settings_.url.user.empty()) {
        rc = mosquitto_username_pw_set(handle_, settings_.url.user.c_str(),
                                       settings_.password ? settings_.password->c_str() : nullptr);
    }
    if (rc == MOSQ_ERR_SUCCESS && settings_.url.tls) {
        if (!tls_) {
            tls_ = TlsContext::create(settings_.tls, settings_.url.host, error);
            if (!tls_) {
                return false;
            }
        }
        tls_->forgetRefusal();
        // Only the context made here: the library's defaults would replace its certificate check.
        rc = mosquitto_int_option(handle_, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
        if (rc == MOSQ_ERR_SUCCESS) {
            rc = mosquitto_void_option(handle_, MOSQ_OPT_SSL_CTX, tls_->handle());
        }
    }
    if (rc == MOSQ_ERR_SUCCESS && !settings_.willTopic.empty()) {
        rc = mosquitto_will_set(handle_, settings_.willTopic.c_str(),
                                static_cast<int>(std::strlen(kOffline)), kOffline, 1, true);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        error = describeFailure(rc);
        return false;
    }
    return true;
}

bool MosquittoSession::open(SessionEvents& events, std::string& error) {
    destroy();
    events_ = &events;
    lastLibraryError_.clear();
    handle_ = mosquitto_new(settings_.clientId.c_str(), true, this);
    if (handle_ == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    if (!configure(error)) {
        destroy();
        return false;
    }
    const int rc = mosquitto_connect(handle_, settings_.url.host.c_str(), settings_.url.port,
                                     kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        error = describeFailure(rc);
        destroy();
        return false;
    }
    return true;
}

int MosquittoSession::publish(const std::string& topic, const std::string& payload, bool retain) {
    if (handle_ == nullptr) {
        return -1;
    }
    int messageId = 0;
    const int rc = mosquitto_publish(handle_, &messageId, topic.c_str(),
                                     static_cast<int>(payload.size()), payload.data(), 1, retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        publishFailure_ = describeFailure(rc);
        return -1;
    }
    return messageId;
}

bool MosquittoSession::subscribe(const std::string& topic) {
    return handle_ != nullptr &&
           mosquitto_subscribe(handle_, nullptr, topic.c_str(), 1) == MOSQ_ERR_SUCCESS;
}

void MosquittoSession::onMessage(const std::string& topic, const std::string& payload) {
    if (events_ != nullptr) {
        events_->received(topic, payload);
    }
}

bool MosquittoSession::pump(int timeoutMs, std::string& error) {
    if (handle_ == nullptr) {
        error = "the connection to the broker was lost";
        return false;
    }
    const int rc = mosquitto_loop(handle_, timeoutMs, 1);
    if (rc != MOSQ_ERR_SUCCESS) {
        error = describeFailure(rc);
        destroy();
        return false;
    }
    return true;
}

void MosquittoSession::close() {
    if (handle_ == nullptr) {
        return;
    }
    mosquitto_disconnect(handle_);
    // One more turn writes the DISCONNECT packet.
    mosquitto_loop(handle_, 0, 1);
    destroy();
}

void MosquittoSession::onConnect(int code) {
    if (events_ != nullptr) {
        events_->connected(code, code == 0 ? std::string() : mosquitto_connack_string(code));
    }
}

void MosquittoSession::onPublish(int messageId) {
    if (events_ != nullptr) {
        events_->acknowledged(messageId);
    }
}

void MosquittoSession::onLog(int level, const char* text) {
    if ((level & MOSQ_LOG_ERR) != 0 && text != nullptr) {
        lastLibraryError_ = text;
    }
}

} // namespace veldrin::publish
