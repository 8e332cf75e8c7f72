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

}  // namespace

Image StretchImage(const Image& image, int w, int h) {
    if (image.empty()) throw ImageError("cannot stretch an empty picture");
    CheckImageSize(w, h);
    if (image.width == w && image.height == h) return image;

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
