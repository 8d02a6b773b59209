#pragma once
// SHA-256 of a byte stream, fed in pieces, from the system's own cryptography (OpenSSL's libcrypto
// on POSIX, the CNG BCrypt API on Windows): the fingerprint of a report's records.

#include <memory>
#include <string>
#include <string_view>

namespace veldrin {

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(std::string_view bytes);
    // The digest as 64 lower-case hexadecimal digits; empty when the system could not compute it.
    // Ends the stream.
    std::string hexDigest();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The digest of 32 bytes as lower-case hexadecimal digits.
std::string hexText(const unsigned char* digest, std::size_t size);

} // namespace veldrin
