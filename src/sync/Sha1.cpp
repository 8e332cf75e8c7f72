#include "sync/Sha1.h"

#include <cstring>
#include <vector>

namespace wl {
namespace {

uint32_t Rotl(uint32_t v, int n) {
    return (v << n) | (v >> (32 - n));
}

void Compress(uint32_t h[5], const uint8_t* block) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i) {
        w[i] = uint32_t(block[4 * i]) << 24 | uint32_t(block[4 * i + 1]) << 16 |
               uint32_t(block[4 * i + 2]) << 8 | uint32_t(block[4 * i + 3]);
    }
    for (int i = 16; i < 80; ++i) w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; ++i) {
        uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d), k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d, k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d, k = 0xCA62C1D6;
        }
        uint32_t t = Rotl(a, 5) + f + e + k + w[i];
        e = d, d = c, c = Rotl(b, 30), b = a, a = t;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
}

}  // namespace

std::array<uint8_t, 20> Sha1(std::string_view data) {
    uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    std::size_t full = data.size() / 64 * 64;
    for (std::size_t i = 0; i < full; i += 64) Compress(h, bytes + i);

    // Padding: 0x80, zeros, then the bit length big-endian in the last 8 bytes.
    uint8_t tail[128] = {};
    std::size_t rest = data.size() - full;
    if (rest) std::memcpy(tail, bytes + full, rest);
    tail[rest] = 0x80;
    std::size_t tailLen = rest + 1 + 8 <= 64 ? 64 : 128;
    uint64_t bits = uint64_t(data.size()) * 8;
    for (int i = 0; i < 8; ++i) tail[tailLen - 1 - i] = uint8_t(bits >> (8 * i));
    for (std::size_t i = 0; i < tailLen; i += 64) Compress(h, tail + i);

    std::array<uint8_t, 20> out{};
    for (int i = 0; i < 5; ++i) {
        out[4 * i] = uint8_t(h[i] >> 24), out[4 * i + 1] = uint8_t(h[i] >> 16);
        out[4 * i + 2] = uint8_t(h[i] >> 8), out[4 * i + 3] = uint8_t(h[i]);
    }
    return out;
}

}  // namespace wl
