// Format detection plus the dispatching decoder on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "wallpaper/ImageCodecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const wl::ImageFormat f = wl::DetectImageFormatOfBytes(bytes);
        if (size < 7) __builtin_trap();  // short input must have thrown
        if (f == wl::ImageFormat::Bmp && bytes.substr(0, 2) != "BM") __builtin_trap();
    } catch (const std::runtime_error&) {
        if (size >= 7) __builtin_trap();
    }
    try {
        (void)wl::DecodeImage(bytes);
    } catch (const wl::ImageError&) {
    }
    return 0;
}
