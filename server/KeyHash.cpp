#include "KeyHash.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace wl {

std::string HashAccountKey(std::string_view key) {
    // Fetched once: looking the algorithm up again for every message costs more than hashing a key.
    static EVP_MD* const sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (sha256 == nullptr || EVP_Digest(key.data(), key.size(), digest, &length, sha256, nullptr) != 1)
        throw std::runtime_error("SHA-256 failed");
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex.push_back(kHex[digest[i] >> 4]);
        hex.push_back(kHex[digest[i] & 0x0f]);
    }
    return hex;
}

}  // namespace wl
