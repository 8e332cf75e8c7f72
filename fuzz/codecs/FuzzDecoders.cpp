// One libFuzzer entry point per decoder; WL_FUZZ_TARGET picks which (see CMakeLists.txt).
// Faults must surface as ImageError; anything else (a crash, a sanitizer report, another
// exception escaping) is a finding.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "wallpaper/ImageCodecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
#if WL_FUZZ_TARGET == 1
        const wl::Image img = wl::DecodeBmp(bytes);
#elif WL_FUZZ_TARGET == 2
        const wl::Image img = wl::DecodeJpeg(bytes);
#else
        const wl::Image img = wl::DecodePng(bytes);
#endif
        if (img.pixels.size() != static_cast<size_t>(img.width) * img.height) __builtin_trap();
        // Exercise the writer and the preview path on whatever decoded.
        if (img.pixels.size() <= 4096 && wl::DecodeBmp(wl::EncodeBmp24(img)).pixels != img.pixels)
            __builtin_trap();
        if (img.pixels.size() <= 65536) (void)wl::MakePreview(img);
    } catch (const wl::ImageError&) {
    }
    return 0;
}
