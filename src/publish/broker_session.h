#pragma once
// One connection to the broker, as the publisher sees it. The real one is libmosquitto's client
// (mosquitto_session.h); tests and the benchmark may put another behind the same calls.

#include <string>

namespace veldrin::publish {

class SessionEvents {
public:
    virtual ~SessionEvents() = default;
    // The broker's answer to the login: 0 accepted, otherwise refused with `reason`.
    virtual void connected(int code, const std::string& reason) = 0;
    // The broker acknowledged the message (QoS 1).
    virtual void acknowledged(int messageId) = 0;
    // A message on a topic subscribed to.
    virtual void received(const std::string& /*topic*/, const std::string& /*payload*/) {}
};

class BrokerSession {
public:
    virtual ~BrokerSession() = default;
    // Begins a fresh connection; nothing of an earlier one is kept (no message is sent again by
    // the session itself). False with the reason when the connection cannot be made.
    virtual bool open(SessionEvents& events, std::string& error) = 0;
    // Sends at QoS 1; the message id, or -1 when the message could not be queued (then
    // publishFailure() says why).
    virtual int publish(const std::string& topic, const std::string& payload, bool retain) = 0;
    virtual std::string publishFailure() const = 0;
    // Asks for the messages of `topic` (QoS 1); false when the request could not be queued.
    virtual bool subscribe(const std::string& topic) = 0;
    // Moves the network for up to `timeoutMs` and delivers the events; false with the reason when
    // the connection was lost.
    virtual bool pump(int timeoutMs, std::string& error) = 0;
    // A clean end: the last will is not sent.
    virtual void close() = 0;
};

} // namespace veldrin::publish
