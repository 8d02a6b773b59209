#pragma once
// The broker session on libmosquitto: MQTT 3.1.1, clean session, the program's availability as
// the last will, TLS for mqtts (the system's authorities, or --mqtt-ca).

#include "publish/broker_session.h"
#include "publish/broker_url.h"

#include <optional>
#include <string>

struct mosquitto;

namespace veldrin::publish {

struct SessionSettings {
    BrokerUrl url;
    std::optional<std::string> password;
    std::string caFile;    // empty: the system's authorities
    std::string clientId;  // empty: made from the host name and the process id
    std::string willTopic; // receives "offline", retained, when the connection breaks
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
    bool pump(int timeoutMs, std::string& error) override;
    void close() override;

    // Called from libmosquitto's callbacks.
    void onConnect(int code);
    void onPublish(int messageId);
    void onLog(int level, const char* text);

private:
    bool configure(std::string& error);
    std::string describeFailure(int code) const;
    void destroy();

    SessionSettings settings_;
    mosquitto* handle_ = nullptr;
    SessionEvents* events_ = nullptr;
    std::string lastLibraryError_;
};

} // namespace veldrin::publish
