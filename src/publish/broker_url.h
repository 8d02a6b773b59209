#pragma once
// Where the records go: mqtt://[USER@]HOST[:PORT][/PREFIX] or mqtts://... (TLS). The password is
// never part of the URL: a command line is visible to every user of the machine.

#include <string>
#include <string_view>

namespace veldrin::publish {

constexpr int kPlainPort = 1883;
constexpr int kTlsPort = 8883;
constexpr const char* kDefaultPrefix = "veldrin";

struct BrokerUrl {
    bool tls = false;
    std::string user; // empty: no login
    std::string host; // a name, an IPv4 address or an IPv6 address without its brackets
    int port = kPlainPort;
    std::string prefix = kDefaultPrefix; // topic levels without a leading or trailing '/'
};

struct UrlParse {
    bool ok = false;
    std::string error; // says what is wrong with the URL when !ok
    BrokerUrl url;
};

UrlParse parseBrokerUrl(std::string_view text);

// What is wrong with topic levels used as a prefix (empty, a wildcard, an empty level, a control
// character); empty when nothing is.
std::string topicPrefixFault(std::string_view prefix);

// The URL as it may be shown in the log (it never holds a password).
std::string describe(const BrokerUrl& url);

} // namespace veldrin::publish
