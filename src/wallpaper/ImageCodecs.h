#pragma once
// Reading and writing wallpaper pictures: format detection by the first bytes, BMP/JPEG/PNG
// decoders, a 24-bit BMP encoder, stretching and the small library preview.
//
// Every decoder treats its input as hostile: any fault (truncation, lying sizes, a picture larger
// than the limits below, corrupt compressed data) throws ImageError and nothing is allocated
// before the claimed size has been checked against the limits and, where the format allows,
// against the length of the input.
#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "wallpaper/Image.h"

// Every function here works on its arguments only and may run on any thread, several at once.
namespace wl {

class ImageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Largest picture any decoder accepts: each side at most kMaxImageSide and at most
// kMaxImagePixels in all (an 8K screen is 33 Mpx; 64 Mpx is 256 MB of pixels).
inline constexpr int kMaxImageSide = 16384;
inline constexpr std::size_t kMaxImagePixels = std::size_t{64} * 1024 * 1024;
// Largest picture file read from disk.
inline constexpr std::size_t kMaxImageFileBytes = std::size_t{512} * 1024 * 1024;

// Throws ImageError unless 1 <= w, h <= kMaxImageSide and w * h <= kMaxImagePixels.
void CheckImageSize(long long w, long long h);

enum class ImageFormat { Bmp, Jpeg, Png, Other };

// Compares the first 7 bytes with the known signatures in the order BMP ("BM"), JPEG (FF D8 FF),
// PNG (89 50 4E 47 0D 0A); anything else is Other. The file name's extension is not consulted.
// Throws std::runtime_error when the file cannot be opened or is shorter than 7 bytes.
ImageFormat DetectImageFormat(const std::filesystem::path& file);
// Same rule on bytes already in memory; throws std::runtime_error when fewer than 7 bytes.
ImageFormat DetectImageFormatOfBytes(std::string_view bytes);

// BMP: 1/2/4/8-bit paletted (also RLE4/RLE8), 16-bit (BI_RGB 5-5-5 and BI_BITFIELDS), 24-bit and
// 32-bit (BI_RGB and BI_BITFIELDS); bottom-up and top-down; CORE, INFO, V2-V5 headers; a JPEG
// or PNG held inside. Any alpha byte is ignored, as the desktop ignores it in a wallpaper BMP.
Image DecodeBmp(std::string_view bytes);
// JPEG: colour and greyscale; CMYK/YCCK (Adobe, inverted or not) converted to RGB; turned upright
// by an EXIF orientation tag, as phones and cameras store photos sideways. With
// atLeastWidth/atLeastHeight set, decodes at 1/2, 1/4 or 1/8 of the size when that still gives at
// least that size (much faster for previews); otherwise at full size.
Image DecodeJpeg(std::string_view bytes, int atLeastWidth = 0, int atLeastHeight = 0);
// PNG: every colour type and bit depth, interlaced or not, 16-bit reduced to 8. Alpha (an alpha
// channel or a tRNS chunk) is composited over black, so fully transparent areas come out black
// whatever colour values they happen to store.
Image DecodePng(std::string_view bytes);

// Detects the format from the bytes and decodes; ImageError for Other or any fault.
Image DecodeImage(std::string_view bytes);
// Reads the file (std::runtime_error when it cannot be read) and decodes it (ImageError).
Image LoadImageFile(const std::filesystem::path& file);
// Reads a file that must be a BMP (ImageError otherwise).
Image LoadBmpFile(const std::filesystem::path& file);

// A standard bottom-up 24-bit BMP (BITMAPFILEHEADER + BITMAPINFOHEADER, rows padded to 4 bytes).
// Throws ImageError for an empty picture.
std::string EncodeBmp24(const Image& image);
// EncodeBmp24 written atomically over `file`.
void SaveBmp24(const Image& image, const std::filesystem::path& file);

// Resamples to exactly w x h (the aspect ratio is not kept): bilinear when enlarging, an area
// average when shrinking. Returns a copy when the size is already w x h. ImageError for an empty
// source or a target size outside the limits.
Image StretchImage(const Image& image, int w, int h);

inline constexpr int kPreviewWidth = 238;
inline constexpr int kPreviewHeight = 129;
// The library preview: the picture stretched to 238 x 129.
Image MakePreview(const Image& image);
// Loads a library picture and makes its preview; throws like LoadImageFile.
Image LoadPreview(const std::filesystem::path& file);

}  // namespace wl
