#pragma once
// Standard Base64 (RFC 4648 alphabet, "=" padding), encoding only: the handshake key and accept value.
#include <string>
#include <string_view>

namespace wl {

std::string Base64Encode(std::string_view bytes);

}  // namespace wl
