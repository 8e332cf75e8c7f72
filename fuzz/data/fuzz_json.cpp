// JSON parser: any bytes either parse or raise JsonError; what parses serialises to ASCII that
// parses back to the same serialisation.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "data/Json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    wl::JsonValue value;
    try {
        value = wl::ParseJson(text, 64);
    } catch (const wl::JsonError& e) {
        if (e.offset > size || e.line < 1 || e.column < 1) std::abort();
        return 0;
    }
    const std::string once = wl::SerializeJson(value);
    for (unsigned char c : once)
        if (c < 0x20 || c > 0x7E) std::abort();
    const std::string twice = wl::SerializeJson(wl::ParseJson(once, 64));
    if (once != twice) std::abort();
    if (value.IsObject())
        for (const auto& [key, member] : value.Members())
            if (value.Find(key) == nullptr) std::abort();
    return 0;
}
