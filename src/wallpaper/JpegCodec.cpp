// JPEG decoding through libjpeg. The library reports faults through a callback that must not
// return; it jumps back to the decoder with setjmp/longjmp, and the C++ exception is thrown only
// after the jump, outside every libjpeg frame.
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
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

// Runs the decoder. No object with a destructor lives in this frame: a fault jumps back into it.
// Returns false with the library's message in err.message.
bool Decode(std::string_view bytes, int atLeastW, int atLeastH, Image& img, std::vector<uint8_t>& rowBuffer,
            ErrorManager& err) {
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
    jpeg_read_header(&cinfo, TRUE);

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
    if (atLeastW > 0 && atLeastH > 0) {
        while (cinfo.scale_denom < 8 &&
               cinfo.image_width / (cinfo.scale_denom * 2) >= static_cast<JDIMENSION>(atLeastW) &&
               cinfo.image_height / (cinfo.scale_denom * 2) >= static_cast<JDIMENSION>(atLeastH))
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
    if (!Decode(bytes, atLeastWidth, atLeastHeight, img, rowBuffer, err))
        throw ImageError(std::string("JPEG: ") + err.message);
    if (img.empty()) throw ImageError("JPEG: no picture");
    for (uint32_t& p : img.pixels) p &= 0x00ffffff;  // the library fills the x byte with 0xff
    return img;
}

}  // namespace wl
