// Untrusted HTML (entries from other devices) through the layout engine, laid out and painted at
// a small size. Refusing a document with std::runtime_error is fine; anything else is a fault.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "wallpaper/HtmlRenderer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static wl::HtmlRenderer renderer;  // reused, as the drawing thread reuses its renderer
    const std::string html(reinterpret_cast<const char*>(data), size);
    wl::Image target(96, 64, 0xffffff);
    try {
        renderer.Load(html);
        renderer.Paint(target, 96);
    } catch (const std::runtime_error&) {
    }
    renderer.Clear();
    return 0;
}
