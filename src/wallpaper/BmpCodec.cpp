// BMP reading (every variant a user's wallpaper may be) and 24-bit BMP writing.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "wallpaper/ImageCodecs.h"

namespace wl {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiJpeg = 4, kBiPng = 5,
                   kBiAlphaBitfields = 6;

uint16_t U16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}
uint32_t U32(std::string_view b, size_t at) {
    return U16(b, at) | uint32_t{U16(b, at + 2)} << 16;
}

[[noreturn]] void Fail(const std::string& why) {
    throw ImageError("BMP: " + why);
}

// One colour channel described by a bit mask: where it sits and how to widen it to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;  // largest value after shifting (2^bits - 1)

    explicit Channel(uint32_t m) : mask(m) {
        if (m == 0) return;
        shift = std::countr_zero(m);
        max = m >> shift;
    }
    uint8_t Of(uint32_t v) const {
        if (max == 0) return 0;
        return static_cast<uint8_t>((uint64_t{(v & mask) >> shift} * 255 + max / 2) / max);
    }
};

struct Header {
    uint32_t headerSize = 0;
    int64_t width = 0;
    int64_t height = 0;  // negative: top-down
    int bpp = 0;
    uint32_t compression = kBiRgb;
    uint32_t imageSize = 0;
    uint32_t colorsUsed = 0;
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    size_t paletteAt = 0;              // file offset of the colour table
    size_t paletteEntrySize = 4;
};

Header ReadHeader(std::string_view b) {
    if (b.size() < kFileHeaderSize + 4 || b[0] != 'B' || b[1] != 'M') Fail("not a BMP file");
    Header h;
    h.headerSize = U32(b, kFileHeaderSize);
    const size_t at = kFileHeaderSize;
    if (h.headerSize < 12 || h.headerSize > 4096) Fail("unknown header size " + std::to_string(h.headerSize));
    if (b.size() < at + h.headerSize) Fail("truncated header");
    if (h.headerSize == 12) {  // BITMAPCOREHEADER: 16-bit sizes, 3-byte palette entries
        h.width = U16(b, at + 4);
        h.height = U16(b, at + 6);
        h.bpp = U16(b, at + 10);
        h.paletteEntrySize = 3;
    } else {
        if (h.headerSize < 16) Fail("unknown header size " + std::to_string(h.headerSize));
        h.width = static_cast<int32_t>(U32(b, at + 4));
        h.height = static_cast<int32_t>(U32(b, at + 8));
        h.bpp = U16(b, at + 14);
        auto field = [&](size_t off) { return off + 4 <= h.headerSize ? U32(b, at + off) : 0u; };
        h.compression = field(16);
        h.imageSize = field(20);
        h.colorsUsed = field(32);
        for (int i = 0; i < 4; ++i) h.masks[i] = field(40 + 4 * i);
    }
    h.paletteAt = at + h.headerSize;
    // An INFO header keeps its bit masks right after itself, before the colour table.
    const bool bitfields = h.compression == kBiBitfields || h.compression == kBiAlphaBitfields;
    if (h.headerSize == 40 && bitfields) {
        const size_t n = h.compression == kBiAlphaBitfields ? 4 : 3;
        if (b.size() < h.paletteAt + 4 * n) Fail("truncated bit masks");
        for (size_t i = 0; i < n; ++i) h.masks[i] = U32(b, h.paletteAt + 4 * i);
        h.paletteAt += 4 * n;
    }
    return h;
}

// Entries in the colour table of a paletted picture: the stated count, at most 2^bpp (a larger
// stated count is a writer's slip and clamped), all 2^bpp when none is stated.
uint32_t PaletteCount(const Header& h) {
    const uint32_t full = 1u << h.bpp;
    return h.colorsUsed == 0 ? full : std::min(h.colorsUsed, full);
}

std::vector<uint32_t> ReadPalette(std::string_view b, const Header& h) {
    const uint32_t full = 1u << h.bpp;
    const uint32_t count = PaletteCount(h);
    if (h.paletteAt + size_t{count} * h.paletteEntrySize > b.size()) Fail("truncated colour table");
    std::vector<uint32_t> palette(full, 0);  // indices beyond the table show black
    for (uint32_t i = 0; i < count; ++i) {
        const size_t e = h.paletteAt + size_t{i} * h.paletteEntrySize;
        palette[i] =
            Rgb(static_cast<uint8_t>(b[e + 2]), static_cast<uint8_t>(b[e + 1]), static_cast<uint8_t>(b[e]));
    }
    return palette;
}

// Where the pixel data starts: the stated offset, or right after the colour table when the
// stated one points into the headers (some writers leave it 0).
size_t PixelOffset(std::string_view b, const Header& h, size_t paletteBytes) {
    const size_t stated = U32(b, 10);
    const size_t after = h.paletteAt + paletteBytes;
    const size_t off = stated < kFileHeaderSize + h.headerSize ? after : stated;
    if (off >= b.size()) Fail("pixel data missing");
    return off;
}

// Uncompressed rows of any depth; `pixelAt(row, x)` gives one pixel of a row.
template <typename PixelOf>
Image ReadRows(std::string_view data, int w, int h, bool topDown, int bpp, PixelOf pixelAt) {
    const size_t rowBytes = (size_t{static_cast<size_t>(w)} * bpp + 31) / 32 * 4;
    const size_t usedBytes = (size_t{static_cast<size_t>(w)} * bpp + 7) / 8;
    // The last row may lack its padding; everything else must be there.
    if (rowBytes * (h - 1) + usedBytes > data.size()) Fail("truncated pixel data");
    Image img(w, h);
    for (int y = 0; y < h; ++y) {
        const int outY = topDown ? y : h - 1 - y;
        const auto* row = reinterpret_cast<const uint8_t*>(data.data() + rowBytes * y);
        uint32_t* out = &img.at(0, outY);
        for (int x = 0; x < w; ++x) out[x] = pixelAt(row, x);
    }
    return img;
}

Image ReadPaletted(std::string_view data, const Header& h, int w, int hgt, bool topDown,
                   const std::vector<uint32_t>& pal) {
    switch (h.bpp) {
        case 1:
            return ReadRows(data, w, hgt, topDown, 1,
                            [&](const uint8_t* r, int x) { return pal[(r[x >> 3] >> (7 - (x & 7))) & 1]; });
        case 2:
            return ReadRows(data, w, hgt, topDown, 2, [&](const uint8_t* r, int x) {
                return pal[(r[x >> 2] >> (6 - 2 * (x & 3))) & 3];
            });
        case 4:
            return ReadRows(data, w, hgt, topDown, 4, [&](const uint8_t* r, int x) {
                return pal[(x & 1) ? r[x >> 1] & 0x0f : r[x >> 1] >> 4];
            });
        default:
            return ReadRows(data, w, hgt, topDown, 8, [&](const uint8_t* r, int x) { return pal[r[x]]; });
    }
}

Image ReadMasked(std::string_view data, const Header& h, int w, int hgt, bool topDown) {
    const bool bitfields = h.compression == kBiBitfields || h.compression == kBiAlphaBitfields;
    uint32_t r = h.masks[0], g = h.masks[1], bl = h.masks[2];
    if (!bitfields) {  // the fixed layouts: 5-5-5 for 16 bits, B G R x for 32
        if (h.bpp == 16)
            r = 0x7c00, g = 0x03e0, bl = 0x001f;
        else
            r = 0xff0000, g = 0x00ff00, bl = 0x0000ff;
    }
    if (h.bpp == 32 && !bitfields) {
        return ReadRows(data, w, hgt, topDown, 32, [](const uint8_t* row, int x) {
            const uint8_t* p = row + 4 * x;
            return Rgb(p[2], p[1], p[0]);
        });
    }
    const Channel cr(r), cg(g), cb(bl);
    if (h.bpp == 16) {
        return ReadRows(data, w, hgt, topDown, 16, [&](const uint8_t* row, int x) {
            const uint32_t v = row[2 * x] | uint32_t{row[2 * x + 1]} << 8;
            return Rgb(cr.Of(v), cg.Of(v), cb.Of(v));
        });
    }
    return ReadRows(data, w, hgt, topDown, 32, [&](const uint8_t* row, int x) {
        const uint8_t* p = row + 4 * x;
        const uint32_t v = p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
        return Rgb(cr.Of(v), cg.Of(v), cb.Of(v));
    });
}

// Run-length encoded 8- or 4-bit pixels. Pixels the stream skips (deltas, early line or bitmap
// ends) keep colour 0 of the table; pixels that runs or deltas put past the right edge are
// dropped, as other readers do, and the stream ends when it moves below the last row.
Image ReadRle(std::string_view data, const Header& h, int w, int hgt, bool topDown,
              const std::vector<uint32_t>& pal) {
    const bool four = h.compression == kBiRle4;
    Image img(w, hgt, pal[0]);
    auto nibble = [four](uint8_t v, int k) -> uint32_t { return four ? ((k & 1) ? v & 0x0f : v >> 4) : v; };
    const auto* p = reinterpret_cast<const uint8_t*>(data.data());
    const size_t n = data.size();
    size_t i = 0;
    int x = 0, y = 0;
    auto put = [&](uint32_t index) {
        if (x < w) img.at(x, topDown ? y : hgt - 1 - y) = pal[index];
        x = std::min(x + 1, w);
    };
    while (y < hgt) {
        if (i + 2 > n) Fail("truncated run-length data");
        const uint8_t count = p[i], value = p[i + 1];
        i += 2;
        if (count > 0) {  // encoded run
            for (int k = 0; k < count; ++k) put(nibble(value, k));
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // delta
            if (i + 2 > n) Fail("truncated run-length delta");
            x = std::min(x + p[i], w);
            y += p[i + 1];
            i += 2;
        } else {  // absolute run of `value` pixels, padded to 16 bits
            const size_t bytes = four ? (value + 1u) / 2 : value;
            if (i + bytes > n) Fail("truncated run-length data");
            for (int k = 0; k < value; ++k) put(nibble(four ? p[i + k / 2] : p[i + k], k));
            i += (bytes + 1) & ~size_t{1};
        }
    }
    return img;
}

}  // namespace

Image DecodeBmp(std::string_view b) {
    const Header h = ReadHeader(b);
    if (h.width <= 0 || h.height == 0) Fail("invalid size");
    const bool topDown = h.height < 0;
    const int64_t absHeight = topDown ? -h.height : h.height;
    CheckImageSize(h.width, absHeight);
    const int w = static_cast<int>(h.width), hgt = static_cast<int>(absHeight);

    if (h.compression == kBiJpeg || h.compression == kBiPng) {  // a whole JPEG/PNG file inside
        const std::string_view inner = b.substr(PixelOffset(b, h, 0));
        Image img = h.compression == kBiJpeg ? DecodeJpeg(inner) : DecodePng(inner);
        if (img.width != w || img.height != hgt) Fail("embedded picture does not match the header size");
        return img;
    }

    const bool paletted = h.bpp == 1 || h.bpp == 2 || h.bpp == 4 || h.bpp == 8;
    const std::vector<uint32_t> palette = paletted ? ReadPalette(b, h) : std::vector<uint32_t>{};
    const uint32_t tableSize = paletted ? PaletteCount(h) : 0;
    const std::string_view data = b.substr(PixelOffset(b, h, size_t{tableSize} * h.paletteEntrySize));

    const bool bitfields = h.compression == kBiBitfields || h.compression == kBiAlphaBitfields;
    if ((h.compression == kBiRle8 && h.bpp == 8) || (h.compression == kBiRle4 && h.bpp == 4))
        return ReadRle(data, h, w, hgt, topDown, palette);
    if (paletted && h.compression == kBiRgb) return ReadPaletted(data, h, w, hgt, topDown, palette);
    if (h.bpp == 24 && h.compression == kBiRgb) {
        return ReadRows(data, w, hgt, topDown, 24, [](const uint8_t* row, int x) {
            const uint8_t* p = row + 3 * x;
            return Rgb(p[2], p[1], p[0]);
        });
    }
    if ((h.bpp == 16 || h.bpp == 32) && (h.compression == kBiRgb || bitfields))
        return ReadMasked(data, h, w, hgt, topDown);
    Fail("unsupported depth " + std::to_string(h.bpp) + " with compression " + std::to_string(h.compression));
}

std::string EncodeBmp24(const Image& image) {
    if (image.empty() || image.pixels.size() < size_t{static_cast<size_t>(image.width)} * image.height)
        throw ImageError("BMP: cannot write an empty picture");
    const uint64_t rowBytes = (uint64_t{static_cast<uint32_t>(image.width)} * 3 + 3) & ~uint64_t{3};
    const uint64_t dataBytes = rowBytes * static_cast<uint32_t>(image.height);
    const uint64_t headers = kFileHeaderSize + 40;
    if (headers + dataBytes > 0xffffffffu) throw ImageError("BMP: picture too large to write");

    std::string out(headers + dataBytes, '\0');
    auto* o = reinterpret_cast<uint8_t*>(out.data());
    auto put16 = [&](size_t at, uint32_t v) { o[at] = v & 0xff, o[at + 1] = (v >> 8) & 0xff; };
    auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xffff), put16(at + 2, v >> 16); };
    o[0] = 'B', o[1] = 'M';
    put32(2, static_cast<uint32_t>(out.size()));
    put32(10, static_cast<uint32_t>(headers));
    put32(14, 40);
    put32(18, static_cast<uint32_t>(image.width));
    put32(22, static_cast<uint32_t>(image.height));  // positive: bottom-up rows
    put16(26, 1);                                    // planes
    put16(28, 24);                                   // bits per pixel
    put32(30, kBiRgb);
    put32(34, static_cast<uint32_t>(dataBytes));
    put32(38, 2835);  // 72 dpi
    put32(42, 2835);
    for (int y = 0; y < image.height; ++y) {
        uint8_t* row = o + headers + rowBytes * (image.height - 1 - y);
        const uint32_t* in = image.pixels.data() + static_cast<size_t>(y) * image.width;
        for (int x = 0; x < image.width; ++x) {
            row[3 * x] = BlueOf(in[x]);
            row[3 * x + 1] = GreenOf(in[x]);
            row[3 * x + 2] = RedOf(in[x]);
        }
    }
    return out;
}

void SaveBmp24(const Image& image, const std::filesystem::path& file) {
    WriteFileAtomic(file, EncodeBmp24(image));
}

}  // namespace wl
