// Hostile notification payloads: the parser must never crash, and whatever it accepts must be written
// back to exactly the same payload (nothing half-read, nothing normalised away).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "TChangeNotice.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view payload(reinterpret_cast<const char*>(data), size);
    const auto notice = wl::ParseChangeNotice(payload);
    if (notice && wl::FormatChangeNotice(*notice) != payload) __builtin_trap();
    return 0;
}
