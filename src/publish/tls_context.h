#pragma once
// The TLS side of an mqtts connection, set up here rather than by the MQTT library so that a
// refused certificate is named by its cause (the host name it is made out for, its validity, the
// authority that signed it) instead of a bare "verify failed". `tls_context.cpp` is the only file
// that includes OpenSSL.

#include <memory>
#include <string>

namespace veldrin::publish {

struct TlsFiles {
    std::string caFile;   // empty: the system's authorities
    std::string certFile; // the client certificate, for brokers that ask for one; empty: none
    std::string keyFile;  // its private key
};

class TlsContext {
public:
    // Null with `error` when the files cannot be used (unreadable, not a certificate, a key that
    // does not belong to the certificate).
    static std::unique_ptr<TlsContext> create(const TlsFiles& files, const std::string& host,
                                              std::string& error);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    // The library's SSL_CTX, for the MQTT library to make its connections with.
    void* handle() const { return context_; }

    // Why the broker's certificate was refused in the last handshake; empty when it was not.
    std::string refusal() const { return refusal_; }
    void forgetRefusal() { refusal_.clear(); }

    // Called from the certificate check.
    void noteRefusal(int verifyError);

private:
    TlsContext(void* context, std::string host) : context_(context), host_(std::move(host)) {}

    void* context_;
    std::string host_;
    std::string refusal_;
};

// Why a file of --mqtt-ca, --mqtt-cert or --mqtt-key cannot be used; empty when it can be read.
std::string unreadableFileFault(const std::string& path);

} // namespace veldrin::publish
