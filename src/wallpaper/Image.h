#pragma once
// A decoded picture in memory: top-down rows of 32-bit pixels 0x00RRGGBB (the byte order cairo's
// RGB24 surfaces use on little-endian machines, so a surface can wrap the pixels without copying).
#include <cstdint>
#include <vector>

namespace wl {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // width * height, row-major, top row first

    Image() = default;
    Image(int w, int h, uint32_t fill = 0) : width(w), height(h), pixels(static_cast<size_t>(w) * h, fill) {}
    bool empty() const { return width <= 0 || height <= 0; }
    uint32_t& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    int stride() const { return width * 4; }
};

constexpr uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) { return (uint32_t{r} << 16) | (uint32_t{g} << 8) | b; }
constexpr uint8_t RedOf(uint32_t p) { return (p >> 16) & 0xff; }
constexpr uint8_t GreenOf(uint32_t p) { return (p >> 8) & 0xff; }
constexpr uint8_t BlueOf(uint32_t p) { return p & 0xff; }

}  // namespace wl
