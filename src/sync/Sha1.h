#pragma once
// SHA-1 digest, used only for the accept value of the WebSocket opening handshake.
#include <array>
#include <cstdint>
#include <string_view>

namespace wl {

std::array<uint8_t, 20> Sha1(std::string_view data);

}  // namespace wl
