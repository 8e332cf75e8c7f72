// PNG decoding through libpng (over zlib). libpng reports faults with longjmp back to the
// setjmp in Decode; the C++ exception is thrown only after the jump.
#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>

#include "wallpaper/ImageCodecs.h"

namespace wl {
namespace {

static_assert(std::endian::native == std::endian::little, "pixels are written as B G R A bytes");

// Text and other ancillary chunks are of no use for a wallpaper; cap what libpng may hold for them.
constexpr png_alloc_size_t kMaxChunkBytes = 8 * 1024 * 1024;

constexpr uint64_t kMaxDeflateRatio = 1040;

struct Reader {
    std::string_view bytes;
    size_t pos = 0;
    char message[256] = {};
};

void ReadBytes(png_structp png, png_bytep out, png_size_t n) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(png));
    if (n > r->bytes.size() - r->pos) png_error(png, "truncated file");
    std::memcpy(out, r->bytes.data() + r->pos, n);
    r->pos += n;
}

void OnError(png_structp png, png_const_charp msg) {
    auto* r = static_cast<Reader*>(png_get_error_ptr(png));
    std::snprintf(r->message, sizeof r->message, "%s", msg);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// Every pixel arrives as B G R A bytes in place; composite over black and clear the top byte.
void CompositeOverBlack(Image& img) {
    for (uint32_t& p : img.pixels) {
        const uint32_t a = p >> 24;
        if (a == 255) {
            p &= 0x00ffffff;
            continue;
        }
        auto ch = [a](uint32_t c) { return (c * a + 127) / 255; };
        p = Rgb(static_cast<uint8_t>(ch(RedOf(p))), static_cast<uint8_t>(ch(GreenOf(p))),
                static_cast<uint8_t>(ch(BlueOf(p))));
    }
}

// No object with a destructor lives in this frame: a fault jumps back into it.
bool Decode(Reader& reader, Image& img, std::vector<png_bytep>& rows) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, OnError, OnWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &reader, ReadBytes);
    png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_read_info(png, info);

    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    if (uint64_t{w} * h > kMaxImagePixels) png_error(png, "picture too large");
    // Deflate packs at most about 1032 bytes into one; a claimed size beyond that is a lie, found
    // before the picture is allocated.
    const uint64_t bitsPerPixel = uint64_t{png_get_bit_depth(png, info)} * png_get_channels(png, info);
    const uint64_t rawBytes = uint64_t{h} * (1 + (uint64_t{w} * bitsPerPixel + 7) / 8);
    if (rawBytes > uint64_t{reader.bytes.size()} * kMaxDeflateRatio)
        png_error(png, "picture larger than its data");
    // Whatever the colour type and depth: 8-bit B G R A.
    png_set_expand(png);  // palette -> RGB, grey < 8 bits -> 8 bits, tRNS -> alpha
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_filler(png, 0xff, PNG_FILLER_AFTER);  // opaque alpha when the file has none
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t{w} * 4) png_error(png, "unexpected row layout");

    img = Image(static_cast<int>(w), static_cast<int>(h));
    rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y)
        rows[y] = reinterpret_cast<png_bytep>(&img.at(0, static_cast<int>(y)));
    png_read_image(png, rows.data());  // chunks after the pixels are of no interest
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace

Image DecodePng(std::string_view bytes) {
    if (bytes.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) != 0)
        throw ImageError("PNG: not a PNG file");
    Reader reader{bytes};
    Image img;
    std::vector<png_bytep> rows;
    if (!Decode(reader, img, rows))
        throw ImageError(std::string("PNG: ") + (reader.message[0] ? reader.message : "out of memory"));
    CompositeOverBlack(img);
    return img;
}

}  // namespace wl
