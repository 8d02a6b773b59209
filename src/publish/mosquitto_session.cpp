#include "publish/mosquitto_session.h"

#include "publish/messages.h"

#include <mosquitto.h>

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

std::string MosquittoSession::describeFailure(int code) const {
    std::string text;
    if (code == MOSQ_ERR_ERRNO) {
        text = std::strerror(errno);
    } else if (code == MOSQ_ERR_TLS || code == MOSQ_ERR_TLS_HANDSHAKE) {
        text = "the TLS handshake failed (is the broker's certificate signed by the authority "
               "given with --mqtt-ca?)";
    } else {
        text = mosquitto_strerror(code);
    }
    if (!lastLibraryError_.empty()) {
        text += " (" + lastLibraryError_ + ")";
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
    mosquitto_log_callback_set(handle_, [](mosquitto*, void* self, int level, const char* text) {
        sessionOf(self)->onLog(level, text);
    });
    int rc = MOSQ_ERR_SUCCESS;
    if (!settings_.url.user.empty()) {
        rc = mosquitto_username_pw_set(handle_, settings_.url.user.c_str(),
                                       settings_.password ? settings_.password->c_str() : nullptr);
    }
    if (rc == MOSQ_ERR_SUCCESS && settings_.url.tls) {
        if (settings_.caFile.empty()) {
            rc = mosquitto_int_option(handle_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        } else {
            rc = mosquitto_tls_set(handle_, settings_.caFile.c_str(), nullptr, nullptr, nullptr,
                                   nullptr);
        }
    }
    if (rc == MOSQ_ERR_SUCCESS) {
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
    return rc == MOSQ_ERR_SUCCESS ? messageId : -1;
}

bool MosquittoSession::pump(int timeoutMs, std::string& error) {
    if (handle_ == nullptr) {
        error = "not connected";
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
