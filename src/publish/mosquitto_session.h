#pragma once
// The broker session on libmosquitto: MQTT 3.1.1, clean session, the program's availability as
// the last will, TLS for mqtts (the system's authorities or --mqtt-ca, and a client certificate
// when given).

#include "publish/broker_session.h"
#include "publish/broker_url.h"
#include "publish/tls_context.h"

#include <memory>
#include <optional>
#include <string>

struct mosquitto;

namespace veldrin::publish {

struct SessionSettings {
    BrokerUrl url;
    std::optional<std::string> password;
    TlsFiles tls;          // for mqtts
    std::string clientId;  // empty: made from the host name and the process id
    std::string willTopic; // receives "offline", retained, when the connection breaks; empty: none
    int maxInFlight = 20;
};

class MosquittoSession final : public BrokerSession {
public:
    explicit MosquittoSession(SessionSettings settings);
    ~MosquittoSession() override;
    MosquittoSession(const MosquittoSession&) = delete;
    MosquittoSession& operator=(const MosquittoSession&) = delete;

    bool open(SessionEvents& events, std::string& error) override;
    int publish(const std::string& topic, const std::string& payload, bool retain) override;
    std::string publishFailure() const override { return publishFailure_; }
    bool subscribe(const std::string& topic) override;
    bool pump(int timeoutMs, std::string& error) override;
    void close() override;

    // Called from libmosquitto's callbacks.
    void onConnect(int code);
    void onPublish(int messageId);
    void onMessage(const std::string& topic, const std::string& payload);
    void onLog(int level, const char* text);

private:
    bool configure(std::string& error);
    std::string describeFailure(int code) const;
    void destroy();

    SessionSettings settings_;
    mosquitto* handle_ = nullptr;
    SessionEvents* events_ = nullptr;
    std::string lastLibraryError_;
    std::string publishFailure_;
    std::unique_ptr<TlsContext> tls_;
};

} // namespace veldrin::publish
