#include "publish/broker_url.h"

#include <charconv>

namespace veldrin::publish {
namespace {

constexpr int kHighestPort = 65535;

UrlParse refuse(std::string why) {
    UrlParse parse;
    parse.error = std::move(why);
    return parse;
}

bool takeScheme(std::string_view& rest, BrokerUrl& url) {
    constexpr std::string_view plain = "mqtt://";
    constexpr std::string_view secure = "mqtts://";
    if (rest.substr(0, plain.size()) == plain) {
        rest.remove_prefix(plain.size());
        return true;
    }
    if (rest.substr(0, secure.size()) == secure) {
        rest.remove_prefix(secure.size());
        url.tls = true;
        url.port = kTlsPort;
        return true;
    }
    return false;
}

} // namespace

// Topic levels: no wildcard, no empty level, nothing a broker would refuse in a topic name.
std::string topicPrefixFault(std::string_view prefix) {
    if (prefix.empty()) {
        return "the topic prefix is empty";
    }
    if (prefix.find_first_of("+#") != std::string_view::npos) {
        return "the topic prefix must not hold the wildcards + or #";
    }
    if (prefix.find("//") != std::string_view::npos || prefix.front() == '/' ||
        prefix.back() == '/') {
        return "the topic prefix has an empty level";
    }
    for (const char c : prefix) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return "the topic prefix holds a control character";
        }
    }
    return {};
}

namespace {

bool parsePort(std::string_view text, int& out) {
    int value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
        value < 1 || value > kHighestPort) {
        return false;
    }
    out = value;
    return true;
}

bool validHostName(std::string_view host) {
    for (const char c : host) {
        const bool letterOrDigit =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != '-' && c != '.' && c != '_') {
            return false;
        }
    }
    return !host.empty();
}

// HOST[:PORT], HOST an IPv6 address in brackets or a name.
std::string takeHostAndPort(std::string_view authority, BrokerUrl& url) {
    std::string_view portText;
    bool hasPort = false;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            return "the IPv6 address has no closing ]";
        }
        url.host = std::string(authority.substr(1, close - 1));
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty() && after.front() != ':') {
            return "unexpected text after the IPv6 address";
        }
        hasPort = !after.empty();
        portText = hasPort ? after.substr(1) : std::string_view();
        if (url.host.empty() ||
            url.host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos) {
            return "\"" + url.host + "\" is not an IPv6 address";
        }
    } else {
        const std::size_t colon = authority.find(':');
        url.host = std::string(authority.substr(0, colon));
        hasPort = colon != std::string_view::npos;
        portText = hasPort ? authority.substr(colon + 1) : std::string_view();
        if (url.host.empty()) {
            return "the host name is missing";
        }
        if (!validHostName(url.host)) {
            return "\"" + url.host + "\" is not a host name";
        }
    }
    if (hasPort && !parsePort(portText, url.port)) {
        return "the port \"" + std::string(portText) + "\" is not a number 1 to 65535";
    }
    return {};
}

} // namespace

UrlParse parseBrokerUrl(std::string_view text) {
    UrlParse parse;
    std::string_view rest = text;
    if (!takeScheme(rest, parse.url)) {
        return refuse("the URL must begin with mqtt:// or mqtts://");
    }
    const std::size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view user = authority.substr(0, at);
        if (user.find(':') != std::string_view::npos) {
            return refuse("the URL must not hold a password; give it in VELDRIN_MQTT_PASSWORD "
                          "or a file named by --mqtt-password-file");
        }
        if (user.empty()) {
            return refuse("the user name before @ is empty");
        }
        parse.url.user = std::string(user);
        authority.remove_prefix(at + 1);
    }
    if (std::string fault = takeHostAndPort(authority, parse.url); !fault.empty()) {
        return refuse(std::move(fault));
    }
    if (slash != std::string_view::npos) {
        const std::string_view prefix = rest.substr(slash + 1);
        if (std::string fault = topicPrefixFault(prefix); !fault.empty()) {
            return refuse(std::move(fault));
        }
        parse.url.prefix = std::string(prefix);
    }
    parse.ok = true;
    return parse;
}

std::string describe(const BrokerUrl& url) {
    std::string text = url.tls ? "mqtts://" : "mqtt://";
    if (!url.user.empty()) {
        text += url.user + "@";
    }
    const bool ipv6 = url.host.find(':') != std::string::npos;
    text += ipv6 ? "[" + url.host + "]" : url.host;
    return text + ":" + std::to_string(url.port) + "/" + url.prefix;
}

} // namespace veldrin::publish
