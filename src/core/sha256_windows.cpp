#include "core/sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <limits>

namespace veldrin {
namespace {
constexpr std::size_t kDigestBytes = 32;
} // namespace

struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool failed = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    state_->failed = !BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(
                         &state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
                     !BCRYPT_SUCCESS(BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0,
                                                      nullptr, 0, 0));
}

Sha256::~Sha256() {
    if (state_->hash != nullptr) {
        BCryptDestroyHash(state_->hash);
    }
    if (state_->algorithm != nullptr) {
        BCryptCloseAlgorithmProvider(state_->algorithm, 0);
    }
}

void Sha256::update(std::string_view bytes) {
    // The API takes at most 4 GiB at once.
    constexpr std::size_t kMostAtOnce = std::numeric_limits<ULONG>::max();
    while (!state_->failed && !bytes.empty()) {
        const std::size_t n = std::min(bytes.size(), kMostAtOnce);
        auto* data = reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data()));
        state_->failed =
            !BCRYPT_SUCCESS(BCryptHashData(state_->hash, data, static_cast<ULONG>(n), 0));
        bytes.remove_prefix(n);
    }
}

std::string Sha256::hexDigest() {
    unsigned char digest[kDigestBytes];
    if (state_->failed ||
        !BCRYPT_SUCCESS(BCryptFinishHash(state_->hash, digest, kDigestBytes, 0))) {
        state_->failed = true;
        return std::string();
    }
    state_->failed = true; // the stream has ended
    return hexText(digest, kDigestBytes);
}

} // namespace veldrin
