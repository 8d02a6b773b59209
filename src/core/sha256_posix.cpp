#include "core/sha256.h"

#include <openssl/evp.h>

namespace veldrin {

struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
    bool failed = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    state_->context = EVP_MD_CTX_new();
    state_->failed = state_->context == nullptr ||
                     EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) != 1;
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(state_->context);
}

void Sha256::update(std::string_view bytes) {
    if (!state_->failed && !bytes.empty()) {
        state_->failed = EVP_DigestUpdate(state_->context, bytes.data(), bytes.size()) != 1;
    }
}

std::string Sha256::hexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (state_->failed || EVP_DigestFinal_ex(state_->context, digest, &size) != 1) {
        state_->failed = true;
        return std::string();
    }
    state_->failed = true; // the stream has ended
    return hexText(digest, size);
}

} // namespace veldrin
