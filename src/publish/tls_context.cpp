#include "publish/tls_context.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace veldrin::publish {
namespace {

int contextIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// The first refusal of a handshake is its cause; what follows from it is not.
int checkCertificate(int ok, X509_STORE_CTX* store) {
    if (ok == 0) {
        auto* ssl = static_cast<SSL*>(
            X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        auto* self = ssl != nullptr ? static_cast<TlsContext*>(
                                          SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), contextIndex()))
                                    : nullptr;
        if (self != nullptr && self->refusal().empty()) {
            self->noteRefusal(X509_STORE_CTX_get_error(store));
        }
    }
    return ok;
}

std::string libraryError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return "not usable";
    }
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

} // namespace

std::string unreadableFileFault(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return path + ": " + std::strerror(errno);
    }
    std::fclose(file);
    return {};
}

std::unique_ptr<TlsContext> TlsContext::create(const TlsFiles& files, const std::string& host,
                                               std::string& error) {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (context == nullptr) {
        error = "TLS cannot be set up: " + libraryError();
        return nullptr;
    }
    std::unique_ptr<TlsContext> self(new TlsContext(context, host));
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    const bool authorities =
        files.caFile.empty()
            ? SSL_CTX_set_default_verify_paths(context) == 1
            : SSL_CTX_load_verify_locations(context, files.caFile.c_str(), nullptr) == 1;
    if (!authorities) {
        error = (files.caFile.empty() ? "the system's authorities" : files.caFile) + ": " +
                libraryError();
        return nullptr;
    }
    if (!files.certFile.empty()) {
        if (SSL_CTX_use_certificate_chain_file(context, files.certFile.c_str()) != 1) {
            error = files.certFile + ": " + libraryError();
            return nullptr;
        }
        if (SSL_CTX_use_PrivateKey_file(context, files.keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_check_private_key(context) != 1) {
            error = files.keyFile + ": " + libraryError();
            return nullptr;
        }
    }
    // The name is checked by the library's certificate check, so that a mismatch is named there.
    X509_VERIFY_PARAM* param = SSL_CTX_get0_param(context);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1 &&
        X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0) != 1) {
        error = host + ": " + libraryError();
        return nullptr;
    }
    ERR_clear_error(); // a name is not an address: that attempt's complaint means nothing
    SSL_CTX_set_ex_data(context, contextIndex(), self.get());
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, checkCertificate);
    return self;
}

TlsContext::~TlsContext() {
    SSL_CTX_free(static_cast<SSL_CTX*>(context_));
}

void TlsContext::noteRefusal(int verifyError) {
    switch (verifyError) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        refusal_ = "the broker's certificate is not made out for the host name " + host_;
        break;
    case X509_V_ERR_CERT_HAS_EXPIRED:
        refusal_ = "the broker's certificate has expired";
        break;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        refusal_ = "the broker's certificate is not valid yet (is this machine's clock right?)";
        break;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        refusal_ = "the broker's certificate is signed by an unknown authority (give the "
                   "authority's certificate with --mqtt-ca)";
        break;
    default:
        refusal_ = std::string("the broker's certificate was refused: ") +
                   X509_verify_cert_error_string(verifyError);
        break;
    }
}

} // namespace veldrin::publish
