// Resampling a picture to another size: bilinear along an axis that grows, an area average
// along one that shrinks (so a preview does not alias), in fixed point, one axis after the other.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "wallpaper/ImageCodecs.h"

namespace wl {
namespace {

constexpr int kWeightBits = 14;
constexpr int32_t kOne = 1 << kWeightBits;

// For every target index along one axis: the first source index and the weights of the
// consecutive source pixels it takes (summing to kOne).
struct Taps {
    std::vector<int> first;
    std::vector<int> offset;  // into weights; offset[i + 1] - offset[i] taps for index i
    std::vector<int32_t> weights;
};

void AddTaps(Taps& t, int first, std::vector<double>& w) {
    // Round to fixed point and give the rounding remainder to the largest weight.
    double sum = 0;
    for (double v : w) sum += v;
    int32_t total = 0;
    size_t largest = 0;
    const size_t start = t.weights.size();
    for (size_t k = 0; k < w.size(); ++k) {
        const auto q = static_cast<int32_t>(std::lround(w[k] / sum * kOne));
        t.weights.push_back(q);
        total += q;
        if (w[k] > w[largest]) largest = k;
    }
    t.weights[start + largest] += kOne - total;
    t.first.push_back(first);
    t.offset.push_back(static_cast<int>(t.weights.size()));
}

Taps MakeTaps(int src, int dst) {
    Taps t;
    t.offset.push_back(0);
    std::vector<double> w;
    const double scale = static_cast<double>(src) / dst;
    for (int i = 0; i < dst; ++i) {
        w.clear();
        if (dst >= src) {  // bilinear between the two nearest pixel centres
            const double s = std::clamp((i + 0.5) * scale - 0.5, 0.0, static_cast<double>(src - 1));
            const int s0 = std::min(static_cast<int>(s), src - 1);
            const double f = s - s0;
            w.push_back(1 - f);
            if (s0 + 1 < src) w.push_back(f);
            AddTaps(t, s0, w);
            continue;
        }
        // Area average over [i * scale, (i + 1) * scale).
        const double lo = i * scale, hi = (i + 1) * scale;
        const int s0 = static_cast<int>(lo);
        const int s1 = std::min(static_cast<int>(std::ceil(hi)), src);
        for (int s = s0; s < s1; ++s) w.push_back(std::min<double>(s + 1, hi) - std::max<double>(s, lo));
        AddTaps(t, s0, w);
    }
    return t;
}

// Blends two 0x00RRGGBB pixels, f/256 of b: red and blue ride together in one 32-bit lane.
inline uint32_t Lerp(uint32_t a, uint32_t b, uint32_t f) {
    const uint32_t g = 256 - f;
    const uint32_t rb = (((a & 0xff00ff) * g + (b & 0xff00ff) * f) >> 8) & 0xff00ff;
    const uint32_t gg = (((a & 0x00ff00) * g + (b & 0x00ff00) * f) >> 8) & 0x00ff00;
    return rb | gg;
}

struct Bilinear {
    std::vector<int> first;      // left/top source index
    std::vector<uint32_t> frac;  // weight of the next source index, 0..255 of 256
};

Bilinear MakeBilinear(int src, int dst) {
    Bilinear b;
    const double scale = static_cast<double>(src) / dst;
    for (int i = 0; i < dst; ++i) {
        const double s = std::clamp((i + 0.5) * scale - 0.5, 0.0, static_cast<double>(src - 1));
        const int s0 = std::min(static_cast<int>(s), src - 1);
        const auto f = static_cast<uint32_t>(std::lround((s - s0) * 256));
        // A weight that rounds up to a whole pixel moves to the next pixel, never past the edge.
        const bool next = f >= 256 && s0 + 1 < src;
        b.first.push_back(next ? s0 + 1 : s0);
        b.frac.push_back(next || s0 + 1 >= src ? 0 : std::min<uint32_t>(f, 255));
    }
    return b;
}

// Enlarging along both axes (the usual case: a picture smaller than the screen): two taps each
// way with 8-bit weights, the fast path.
Image EnlargeBilinear(const Image& image, int w, int h) {
    const Bilinear bx = MakeBilinear(image.width, w), by = MakeBilinear(image.height, h);
    Image out(w, h);
    std::vector<uint32_t> row(image.width);
    const auto rowOf = [&](int y) { return image.pixels.data() + static_cast<size_t>(y) * image.width; };
    for (int y = 0; y < h; ++y) {
        const uint32_t* r0 = rowOf(by.first[y]);
        const uint32_t fy = by.frac[y];
        const uint32_t* src = r0;
        if (fy != 0) {
            const uint32_t* r1 = rowOf(by.first[y] + 1);
            for (int x = 0; x < image.width; ++x) row[x] = Lerp(r0[x], r1[x], fy);
            src = row.data();
        }
        uint32_t* dst = out.pixels.data() + static_cast<size_t>(y) * w;
        for (int x = 0; x < w; ++x) {
            const int x0 = bx.first[x];
            const uint32_t fx = bx.frac[x];
            dst[x] = fx == 0 ? src[x0] : Lerp(src[x0], src[x0 + 1], fx);
        }
    }
    return out;
}

}  // namespace

Image StretchImage(const Image& image, int w, int h) {
    if (image.empty()) throw ImageError("cannot stretch an empty picture");
    CheckImageSize(w, h);
    if (image.width == w && image.height == h) return image;
    if (w >= image.width && h >= image.height) return EnlargeBilinear(image, w, h);

    const Taps tx = MakeTaps(image.width, w), ty = MakeTaps(image.height, h);
    Image out(w, h);
    // One target row: first the source rows blended into `column` (16 bits per channel), then
    // the columns blended along the row.
    std::vector<uint32_t> colR(image.width), colG(image.width), colB(image.width);
    for (int y = 0; y < h; ++y) {
        const int first = ty.first[y];
        const int n = ty.offset[y + 1] - ty.offset[y];
        const int32_t* wy = &ty.weights[ty.offset[y]];
        std::fill(colR.begin(), colR.end(), 0);
        std::fill(colG.begin(), colG.end(), 0);
        std::fill(colB.begin(), colB.end(), 0);
        for (int k = 0; k < n; ++k) {
            const uint32_t wk = static_cast<uint32_t>(wy[k]);
            if (wk == 0) continue;
            const uint32_t* src = image.pixels.data() + static_cast<size_t>(first + k) * image.width;
            for (int x = 0; x < image.width; ++x) {
                const uint32_t p = src[x];
                colR[x] += RedOf(p) * wk;
                colG[x] += GreenOf(p) * wk;
                colB[x] += BlueOf(p) * wk;
            }
        }
        // Down to 8.8 fixed point so the second pass cannot overflow 32 bits.
        constexpr int kDrop = kWeightBits - 8;
        for (int x = 0; x < image.width; ++x) {
            colR[x] = (colR[x] + (1u << (kDrop - 1))) >> kDrop;
            colG[x] = (colG[x] + (1u << (kDrop - 1))) >> kDrop;
            colB[x] = (colB[x] + (1u << (kDrop - 1))) >> kDrop;
        }
        uint32_t* dst = &out.at(0, y);
        for (int x = 0; x < w; ++x) {
            const int fx = tx.first[x];
            const int m = tx.offset[x + 1] - tx.offset[x];
            const int32_t* wx = &tx.weights[tx.offset[x]];
            uint32_t r = 0, g = 0, b = 0;
            for (int k = 0; k < m; ++k) {
                const auto wk = static_cast<uint32_t>(wx[k]);
                r += colR[fx + k] * wk;
                g += colG[fx + k] * wk;
                b += colB[fx + k] * wk;
            }
            constexpr int kShift = kWeightBits + 8;
            constexpr uint32_t kHalf = 1u << (kShift - 1);
            dst[x] = Rgb(static_cast<uint8_t>(std::min<uint32_t>((r + kHalf) >> kShift, 255)),
                         static_cast<uint8_t>(std::min<uint32_t>((g + kHalf) >> kShift, 255)),
                         static_cast<uint8_t>(std::min<uint32_t>((b + kHalf) >> kShift, 255)));
        }
    }
    return out;
}

}  // namespace wl
