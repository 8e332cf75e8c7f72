#pragma once
// Host names as a user types them for a server: letters, digits and hyphens in dot-separated
// labels, the last one starting with a letter (so "10.0.0.300" is not taken for a name).
#include <string_view>

namespace wl {

bool IsHostName(std::string_view text);

}  // namespace wl
