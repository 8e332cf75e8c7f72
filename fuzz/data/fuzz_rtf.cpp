// RTF reader: any bytes give well-formed UTF-8 no longer than three bytes per input byte, without
// crashing or hanging.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "data/RtfToText.h"

namespace {

bool WellFormedUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view rtf(reinterpret_cast<const char*>(data), size);
    const std::string text = wl::RtfToText(rtf);
    if (text.size() > 3 * size) std::abort();
    if (!WellFormedUtf8(text)) std::abort();
    return 0;
}
