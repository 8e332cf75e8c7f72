#pragma once
// Account keys are kept only as hashes: the store and the fan-out registry never see the key itself.
#include <string>
#include <string_view>

namespace wl {

// SHA-256 of the key's bytes as 64 lower-case hexadecimal digits.
std::string HashAccountKey(std::string_view key);

}  // namespace wl
