// JPEG decoding through libjpeg. The library reports faults through a callback that must not
// return; it jumps back to the decoder with setjmp/longjmp, and the C++ exception is thrown only
// after the jump, outside every libjpeg frame.
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>
// after jpeglib.h, which it needs
#include <jerror.h>

#include "wallpaper/ImageCodecs.h"

namespace wl {
namespace {

static_assert(std::endian::native == std::endian::little, "pixels are written as B G R x bytes");

// Progressive files may hold any number of scans, each a pass over the whole picture; real
// encoders use about ten, hostile files thousands.
constexpr int kMaxScans = 200;
constexpr long kMaxDecoderMemory = 1024L * 1024 * 1024;

struct ErrorManager {
    jpeg_error_mgr pub;  // first, so the library's pointer converts back
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings stay silent, except that data ending early is a fault: the rest of the picture would
// be made up, and it bounds the work a tiny file claiming a huge picture can cause.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level == -1 && cinfo->err->msg_code == JWRN_JPEG_EOF) OnError(cinfo);
}

void OnProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "more than %d scans", kMaxScans);
        std::longjmp(err->jump, 1);
    }
}

void StoreCmykRow(const uint8_t* in, uint32_t* out, int w, bool inverted) {
    for (int x = 0; x < w; ++x, in += 4) {
        // Adobe writers store the inks inverted (0 = full ink); others store them plainly.
        const unsigned c = inverted ? in[0] : 255 - in[0], m = inverted ? in[1] : 255 - in[1],
                       y = inverted ? in[2] : 255 - in[2], k = inverted ? in[3] : 255 - in[3];
        out[x] = Rgb(static_cast<uint8_t>((c * k + 127) / 255), static_cast<uint8_t>((m * k + 127) / 255),
                     static_cast<uint8_t>((y * k + 127) / 255));
    }
}

// The EXIF orientation (1..8) of an APP1 segment's data, 0 when it holds none. Photos from
// cameras and phones are often stored sideways with this tag saying how to show them.
int ExifOrientation(const uint8_t* d, size_t n) {
    if (n < 14 || std::memcmp(d, "Exif\0\0", 6) != 0) return 0;
    d += 6, n -= 6;  // offsets below count from the TIFF header
    const bool big = d[0] == 'M' && d[1] == 'M';
    if (!big && !(d[0] == 'I' && d[1] == 'I')) return 0;
    auto u16 = [&](size_t at) { return big ? d[at] << 8 | d[at + 1] : d[at] | d[at + 1] << 8; };
    auto u32 = [&](size_t at) { return uint32_t(u16(big ? at : at + 2)) << 16 | u16(big ? at + 2 : at); };
    const size_t ifd = u32(4);
    if (ifd > n || n - ifd < 2) return 0;
    const size_t count = u16(ifd);
    for (size_t i = 0; i < count; ++i) {
        const size_t e = ifd + 2 + 12 * i;
        if (e > n || n - e < 12) return 0;
        if (u16(e) != 0x0112) continue;
        const int v = u16(e + 2) == 3 ? u16(e + 8) : 0;  // SHORT
        return v >= 1 && v <= 8 ? v : 0;
    }
    return 0;
}

int FindOrientation(j_decompress_ptr cinfo) {
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next)
        if (m->marker == JPEG_APP0 + 1)
            if (const int o = ExifOrientation(m->data, m->data_length)) return o;
    return 1;
}

// The stored picture turned the way the orientation tag says it is meant to be seen.
Image Orient(Image s, int orientation) {
    if (orientation <= 1 || orientation > 8) return s;
    const bool swap = orientation >= 5;
    const int w = s.width, h = s.height;
    Image out(swap ? h : w, swap ? w : h);
    for (int dy = 0; dy < out.height; ++dy) {
        uint32_t* row = out.pixels.data() + static_cast<size_t>(dy) * out.width;
        for (int dx = 0; dx < out.width; ++dx) {
            int sx = dx, sy = dy;
            switch (orientation) {
                case 2:
                    sx = w - 1 - dx;
                    break;  // mirrored
                case 3:
                    sx = w - 1 - dx, sy = h - 1 - dy;
                    break;  // upside down
                case 4:
                    sy = h - 1 - dy;
                    break;  // mirrored upside down
                case 5:
                    sx = dy, sy = dx;
                    break;  // transposed
                case 6:
                    sx = dy, sy = h - 1 - dx;
                    break;  // turned a quarter left
                case 7:
                    sx = w - 1 - dy, sy = h - 1 - dx;
                    break;  // transverse
                case 8:
                    sx = w - 1 - dy, sy = dx;
                    break;  // turned a quarter right
            }
            row[dx] = s.pixels[static_cast<size_t>(sy) * w + sx];
        }
    }
    return out;
}

// Runs the decoder. No object with a destructor lives in this frame: a fault jumps back into it.
// Returns false with the library's message in err.message.
bool Decode(std::string_view bytes, int atLeastW, int atLeastH, Image& img, std::vector<uint8_t>& rowBuffer,
            int& orientation, ErrorManager& err) {
    jpeg_decompress_struct cinfo;
    jpeg_progress_mgr progress;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.emit_message = OnMessage;
    err.message[0] = '\0';
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
    progress.progress_monitor = OnProgress;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_save_markers(&cinfo, JPEG_APP0 + 14, 0);  // let the library see the Adobe marker
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xffff);
    jpeg_read_header(&cinfo, TRUE);
    orientation = FindOrientation(&cinfo);
    // The wanted size is of the picture as shown, turned when the tag says so.
    const bool turned = orientation >= 5;
    const int wantW = turned ? atLeastH : atLeastW, wantH = turned ? atLeastW : atLeastH;

    try {
        CheckImageSize(cinfo.image_width, cinfo.image_height);
    } catch (const ImageError& e) {
        std::snprintf(err.message, sizeof err.message, "%s", e.what());
        jpeg_destroy_decompress(&cinfo);
        return false;
    }

    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;  // greyscale expands to BGRX too
    // The library can skip most of the work by decoding at 1/2, 1/4 or 1/8 of the size.
    cinfo.scale_num = 1;
    cinfo.scale_denom = 1;
    if (wantW > 0 && wantH > 0) {
        while (cinfo.scale_denom < 8 &&
               cinfo.image_width / (cinfo.scale_denom * 2) >= static_cast<JDIMENSION>(wantW) &&
               cinfo.image_height / (cinfo.scale_denom * 2) >= static_cast<JDIMENSION>(wantH))
            cinfo.scale_denom *= 2;
    }
    jpeg_start_decompress(&cinfo);
    const int w = static_cast<int>(cinfo.output_width), h = static_cast<int>(cinfo.output_height);
    img = Image(w, h);
    if (cmyk) rowBuffer.resize(static_cast<size_t>(w) * 4);
    while (cinfo.output_scanline < cinfo.output_height) {
        uint32_t* out = &img.at(0, static_cast<int>(cinfo.output_scanline));
        JSAMPROW row = cmyk ? rowBuffer.data() : reinterpret_cast<JSAMPROW>(out);
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) break;
        if (cmyk) StoreCmykRow(rowBuffer.data(), out, w, cinfo.saw_Adobe_marker);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

}  // namespace

Image DecodeJpeg(std::string_view bytes, int atLeastWidth, int atLeastHeight) {
    if (bytes.empty()) throw ImageError("JPEG: empty input");
    Image img;
    std::vector<uint8_t> rowBuffer;
    ErrorManager err;
    int orientation = 1;
    if (!Decode(bytes, atLeastWidth, atLeastHeight, img, rowBuffer, orientation, err))
        throw ImageError(std::string("JPEG: ") + err.message);
    if (img.empty()) throw ImageError("JPEG: no picture");
    for (uint32_t& p : img.pixels) p &= 0x00ffffff;  // the library fills the x byte with 0xff
    return Orient(std::move(img), orientation);
}

}  // namespace wl
