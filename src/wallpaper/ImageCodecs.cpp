// Format detection by the first bytes, decoding by format, file loading and previews.
#include "wallpaper/ImageCodecs.h"

#include <array>
#include <cstring>
#include <fstream>
#include <string>

namespace wl {
namespace {

bool StartsWith(std::string_view bytes, std::string_view signature) {
    return bytes.substr(0, signature.size()) == signature;
}

std::string ReadPictureFile(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        throw std::runtime_error("no picture file " + file.string());
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + file.string());
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) throw std::runtime_error("cannot read " + file.string());
    if (static_cast<uint64_t>(size) > kMaxImageFileBytes)
        throw ImageError("picture file too large: " + file.string());
    std::string bytes(static_cast<size_t>(size), '\0');
    in.seekg(0);
    if (!in.read(bytes.data(), size)) throw std::runtime_error("cannot read " + file.string());
    return bytes;
}

}  // namespace

void CheckImageSize(long long w, long long h) {
    if (w < 1 || h < 1)
        throw ImageError("invalid picture size " + std::to_string(w) + " x " + std::to_string(h));
    if (w > kMaxImageSide || h > kMaxImageSide ||
        static_cast<unsigned long long>(w) * static_cast<unsigned long long>(h) > kMaxImagePixels)
        throw ImageError("picture too large: " + std::to_string(w) + " x " + std::to_string(h));
}

ImageFormat DetectImageFormatOfBytes(std::string_view bytes) {
    if (bytes.size() < 7) throw std::runtime_error("picture file shorter than 7 bytes");
    // The first match decides; GIF, icons, cursors, RIFF, MIDI, TIFF and PCX all end up as Other.
    if (StartsWith(bytes, "BM")) return ImageFormat::Bmp;
    if (StartsWith(bytes, "\xFF\xD8\xFF")) return ImageFormat::Jpeg;
    if (StartsWith(bytes, "\x89PNG\r\n")) return ImageFormat::Png;
    return ImageFormat::Other;
}

ImageFormat DetectImageFormat(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + file.string());
    std::array<char, 7> head{};
    in.read(head.data(), head.size());
    if (in.gcount() < static_cast<std::streamsize>(head.size()))
        throw std::runtime_error("picture file shorter than 7 bytes: " + file.string());
    return DetectImageFormatOfBytes(std::string_view(head.data(), head.size()));
}

Image DecodeImage(std::string_view bytes) {
    if (bytes.size() < 7) throw ImageError("picture shorter than 7 bytes");
    switch (DetectImageFormatOfBytes(bytes)) {
        case ImageFormat::Bmp:
            return DecodeBmp(bytes);
        case ImageFormat::Jpeg:
            return DecodeJpeg(bytes);
        case ImageFormat::Png:
            return DecodePng(bytes);
        case ImageFormat::Other:
            break;
    }
    throw ImageError("unsupported picture format");
}

Image LoadImageFile(const std::filesystem::path& file) {
    const std::string bytes = ReadPictureFile(file);
    try {
        return DecodeImage(bytes);
    } catch (const ImageError& e) {
        throw ImageError(std::string(e.what()) + ": " + file.string());
    }
}

Image LoadBmpFile(const std::filesystem::path& file) {
    const std::string bytes = ReadPictureFile(file);
    if (!StartsWith(bytes, "BM")) throw ImageError("not a BMP file: " + file.string());
    try {
        return DecodeBmp(bytes);
    } catch (const ImageError& e) {
        throw ImageError(std::string(e.what()) + ": " + file.string());
    }
}

Image MakePreview(const Image& image) {
    return StretchImage(image, kPreviewWidth, kPreviewHeight);
}

Image LoadPreview(const std::filesystem::path& file) {
    const std::string bytes = ReadPictureFile(file);
    try {
        if (bytes.size() >= 7 && DetectImageFormatOfBytes(bytes) == ImageFormat::Jpeg)
            return MakePreview(DecodeJpeg(bytes, kPreviewWidth, kPreviewHeight));
        return MakePreview(DecodeImage(bytes));
    } catch (const ImageError& e) {
        throw ImageError(std::string(e.what()) + ": " + file.string());
    }
}

}  // namespace wl
