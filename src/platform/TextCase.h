#pragma once
// Unicode-aware lower-casing of UTF-8 text (Cyrillic, Greek, accented Latin capitals fold too),
// the same whatever the user's locale is. Thread-safe.
#include <string>
#include <string_view>

namespace wl {

// Each character's simple lower-case mapping; bytes that are not UTF-8 are kept as they are.
std::string LowerText(std::string_view utf8);

}  // namespace wl
