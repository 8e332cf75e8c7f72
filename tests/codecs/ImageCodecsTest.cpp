// Picture codecs: every fixture variant against its expected pixels, format detection, BMP round
// trips, hostile inputs, stretching and previews.
#include "wallpaper/ImageCodecs.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace wl {
namespace {

namespace fs = std::filesystem;

const fs::path kData = WL_CODECS_DATA;

std::string ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteBytes(const fs::path& p, std::string_view b) {
    std::ofstream out(p, std::ios::binary);
    out.write(b.data(), static_cast<std::streamsize>(b.size()));
}

// The fixture's expected pixels (see data/make_fixtures.py).
Image ReadExpected(const fs::path& rgb) {
    const std::string b = ReadBytes(rgb);
    const int w = static_cast<uint8_t>(b[0]) | static_cast<uint8_t>(b[1]) << 8;
    const int h = static_cast<uint8_t>(b[2]) | static_cast<uint8_t>(b[3]) << 8;
    Image img(w, h);
    for (size_t i = 0; i < img.pixels.size(); ++i) {
        const auto* p = reinterpret_cast<const uint8_t*>(b.data() + 4 + 3 * i);
        img.pixels[i] = Rgb(p[0], p[1], p[2]);
    }
    return img;
}

int ChannelDiff(uint32_t a, uint32_t b) {
    return std::max(
        {std::abs(RedOf(a) - RedOf(b)), std::abs(GreenOf(a) - GreenOf(b)), std::abs(BlueOf(a) - BlueOf(b))});
}

class TempDir : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("wl_codecs_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

// ------------------------------------------------------------------ fixtures

std::vector<std::string> FixtureNames() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(kData)) {
        const std::string ext = e.path().extension().string();
        if (ext == ".bmp" || ext == ".png" || ext == ".jpg") names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class Fixture : public ::testing::TestWithParam<std::string> {};

TEST_P(Fixture, DecodesToExpectedPixels) {
    const fs::path file = kData / GetParam();
    const Image expected = ReadExpected(fs::path(file).replace_extension(".rgb"));
    const Image got = LoadImageFile(file);
    ASSERT_EQ(got.width, expected.width);
    ASSERT_EQ(got.height, expected.height);
    if (file.extension() != ".jpg") {
        for (int y = 0; y < got.height; ++y)
            for (int x = 0; x < got.width; ++x)
                ASSERT_EQ(got.at(x, y), expected.at(x, y)) << "pixel " << x << "," << y;
        return;
    }
    // Lossy: the flat quadrants must keep their colour away from the edges.
    for (int y = 4; y < got.height; y += 16)
        for (int x = 4; x < got.width; x += 16)
            for (int d = 0; d < 8; ++d)
                EXPECT_LE(ChannelDiff(got.at(x + d, y + d), expected.at(x + d, y + d)), 12)
                    << "pixel " << x + d << "," << y + d;
}

INSTANTIATE_TEST_SUITE_P(AllVariants, Fixture, ::testing::ValuesIn(FixtureNames()), [](const auto& info) {
    std::string n = info.param;
    std::replace(n.begin(), n.end(), '.', '_');
    return n;
});

TEST(Fixtures, EveryKindIsPresent) {
    // Guards the parameterised test above against an empty or partly missing data folder.
    const auto names = FixtureNames();
    for (const char* must :
         {"bmp8_rle.bmp", "bmp4_rle.bmp", "bmp8_core.bmp", "bmp32_v5.bmp", "png_rgba16_interlaced.png",
          "png_pal8_trns.png", "jpeg_cmyk.jpg", "jpeg_grey.jpg", "jpeg_progressive.jpg"})
        EXPECT_NE(std::find(names.begin(), names.end(), must), names.end()) << must;
}

// ------------------------------------------------------------------ detection

TEST(DetectImageFormat, FirstBytesDecide) {
    struct Case {
        std::string bytes;
        ImageFormat format;
    };
    const Case cases[] = {
        {std::string("BM\0\0\0\0\0", 7), ImageFormat::Bmp},
        {std::string("\xFF\xD8\xFF\xE0\0\x10J", 7), ImageFormat::Jpeg},
        {std::string("\x89PNG\r\n\x1a\n", 8), ImageFormat::Png},
        {std::string("\x89PNG\r\n\0", 7), ImageFormat::Png},  // six bytes are compared
        {"GIF89a\x01", ImageFormat::Other},
        {"GIF87a\x01", ImageFormat::Other},
        {std::string("\0\0\x01\0\x01\0\x10", 7), ImageFormat::Other},  // icon
        {std::string("\0\0\x02\0\x01\0\x10", 7), ImageFormat::Other},  // cursor
        {std::string("RIFF\x10\0\0\0WEBP", 12), ImageFormat::Other},
        {std::string("MThd\0\0\0\x06", 8), ImageFormat::Other},
        {std::string("II*\0\x08\0\0\0", 8), ImageFormat::Other},
        {std::string("MM\0*\0\0\0\x08", 8), ImageFormat::Other},
        {std::string("\x0A\x05\x01\x08\0\0\0", 7), ImageFormat::Other},  // PCX
        {"plain text", ImageFormat::Other},
        {std::string("\xFF\xD8\xFE\0\0\0\0", 7), ImageFormat::Other},  // JPEG needs all three bytes
        {std::string("Bm\0\0\0\0\0", 7), ImageFormat::Other},          // case matters
    };
    for (const Case& c : cases)
        EXPECT_EQ(DetectImageFormatOfBytes(std::string_view(c.bytes)), c.format) << c.bytes;
}

TEST(DetectImageFormat, FewerThanSevenBytesThrow) {
    EXPECT_THROW(DetectImageFormatOfBytes(std::string_view("BM\0\0\0\0", 6)), std::runtime_error);
    EXPECT_THROW(DetectImageFormatOfBytes(std::string_view()), std::runtime_error);
}

class DetectFile : public TempDir {};

TEST_F(DetectFile, ReadsOnlyTheHeadAndFailsOnShortOrMissingFiles) {
    WriteBytes(dir_ / "six.bmp", std::string("BM\0\0\0\0", 6));
    WriteBytes(dir_ / "seven.bmp", std::string("BM\0\0\0\0\0", 7));
    WriteBytes(dir_ / "empty.jpg", "");
    EXPECT_THROW(DetectImageFormat(dir_ / "six.bmp"), std::runtime_error);
    EXPECT_THROW(DetectImageFormat(dir_ / "empty.jpg"), std::runtime_error);
    EXPECT_THROW(DetectImageFormat(dir_ / "missing.png"), std::runtime_error);
    EXPECT_THROW(DetectImageFormat(dir_), std::runtime_error);  // a folder is not a picture
    EXPECT_EQ(DetectImageFormat(dir_ / "seven.bmp"), ImageFormat::Bmp);
    const std::string pathText = (dir_ / "seven.bmp").string();  // a path held as text works too
    EXPECT_EQ(DetectImageFormat(pathText), ImageFormat::Bmp);
}

TEST_F(DetectFile, ExtensionIsNotConsulted) {
    // A ".jpg" holding PNG data is decoded as PNG.
    fs::copy_file(kData / "png_rgb8.png", dir_ / "photo.jpg");
    EXPECT_EQ(DetectImageFormat(dir_ / "photo.jpg"), ImageFormat::Png);
    const Image img = LoadImageFile(dir_ / "photo.jpg");
    EXPECT_EQ(img.pixels, LoadImageFile(kData / "png_rgb8.png").pixels);
}

TEST_F(DetectFile, GifIsRefusedAsOtherFormat) {
    WriteBytes(dir_ / "anim.gif", std::string("GIF89a\x01\0\x01\0\0\0\0;", 14));
    EXPECT_EQ(DetectImageFormat(dir_ / "anim.gif"), ImageFormat::Other);
    EXPECT_THROW(LoadImageFile(dir_ / "anim.gif"), ImageError);
    EXPECT_THROW(LoadImageFile(dir_ / "missing.bmp"), std::runtime_error);
    EXPECT_THROW(LoadImageFile(dir_), std::runtime_error);
    EXPECT_THROW(LoadPreview(dir_ / "missing.jpg"), std::runtime_error);
}

// ------------------------------------------------------------------ BMP writing

Image Pattern(int w, int h, uint32_t seed = 1) {
    std::mt19937 rng(seed);
    Image img(w, h);
    for (auto& p : img.pixels) p = rng() & 0x00ffffff;
    return img;
}

uint32_t Le32(std::string_view b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + i]);
    return v;
}

TEST(EncodeBmp24, RoundTripsEveryRowPadding) {
    for (int w = 1; w <= 5; ++w) {
        const Image img = Pattern(w, 3, w);
        const std::string bmp = EncodeBmp24(img);
        const size_t rowBytes = (w * 3 + 3) / 4 * 4;
        EXPECT_EQ(bmp.size(), 54 + rowBytes * 3) << w;
        const Image back = DecodeBmp(bmp);
        EXPECT_EQ(back.width, w);
        EXPECT_EQ(back.pixels, img.pixels) << w;
    }
}

TEST(EncodeBmp24, WritesAStandardBottomUpHeader) {
    Image img(2, 2, Rgb(1, 2, 3));
    img.at(0, 1) = Rgb(10, 20, 30);  // bottom-left is the first pixel in the file
    const std::string b = EncodeBmp24(img);
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(Le32(b, 2), b.size());
    EXPECT_EQ(Le32(b, 10), 54u);                                 // pixel data offset
    EXPECT_EQ(Le32(b, 14), 40u);                                 // BITMAPINFOHEADER
    EXPECT_EQ(Le32(b, 22), 2u);                                  // positive height: bottom-up
    EXPECT_EQ(Le32(b, 26) & 0xffff, 1u);                         // planes
    EXPECT_EQ(Le32(b, 28) & 0xffff, 24u);                        // bits per pixel
    EXPECT_EQ(Le32(b, 30), 0u);                                  // BI_RGB
    EXPECT_EQ(b.substr(54, 3), std::string("\x1e\x14\x0a", 3));  // B G R
    EXPECT_THROW(EncodeBmp24(Image()), ImageError);
}

class SaveBmp : public TempDir {};

TEST_F(SaveBmp, SavesAtomicallyAndLoadsBack) {
    const Image img = Pattern(7, 5);
    SaveBmp24(img, dir_ / "out.bmp");
    SaveBmp24(Pattern(3, 3, 9), dir_ / "out.bmp");  // overwrite in place
    SaveBmp24(img, dir_ / "out.bmp");
    EXPECT_EQ(LoadBmpFile(dir_ / "out.bmp").pixels, img.pixels);
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++files;
    EXPECT_EQ(files, 1u);  // no temporary left behind
    fs::copy_file(kData / "png_rgb8.png", dir_ / "fake.bmp");
    EXPECT_THROW(LoadBmpFile(dir_ / "fake.bmp"), ImageError);
}

// ------------------------------------------------------------------ hostile input

void Put32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
}
void Put16(std::string& b, size_t at, uint16_t v) {
    b[at] = static_cast<char>(v & 0xff);
    b[at + 1] = static_cast<char>(v >> 8);
}

TEST(HostileBmp, FaultsThrowImageError) {
    const std::string good = ReadBytes(kData / "bmp24.bmp");
    const std::string rle = ReadBytes(kData / "bmp8_rle.bmp");
    const std::string pal = ReadBytes(kData / "bmp8.bmp");
    struct Case {
        const char* what;
        std::string bytes;
    };
    auto with = [](std::string b, auto edit) {
        edit(b);
        return b;
    };
    const Case cases[] = {
        {"30000 x 30000", with(good, [](auto& b) { Put32(b, 18, 30000), Put32(b, 22, 30000); })},
        {"16384 x 16384 over the pixel cap",
         with(good, [](auto& b) { Put32(b, 18, 16384), Put32(b, 22, 16384); })},
        {"big size, few bytes", with(good, [](auto& b) { Put32(b, 18, 4000), Put32(b, 22, 4000); })},
        {"zero width", with(good, [](auto& b) { Put32(b, 18, 0); })},
        {"negative width", with(good, [](auto& b) { Put32(b, 18, static_cast<uint32_t>(-5)); })},
        {"zero height", with(good, [](auto& b) { Put32(b, 22, 0); })},
        {"most negative height", with(good, [](auto& b) { Put32(b, 22, 0x80000000u); })},
        {"truncated pixels", good.substr(0, good.size() - 20)},
        {"truncated header", good.substr(0, 30)},
        {"file header only", good.substr(0, 14)},
        {"header size 5000", with(good, [](auto& b) { Put32(b, 14, 5000); })},
        {"header size 3", with(good, [](auto& b) { Put32(b, 14, 3); })},
        {"7 bits per pixel", with(good, [](auto& b) { Put16(b, 28, 7); })},
        {"64 bits per pixel", with(good, [](auto& b) { Put16(b, 28, 64); })},
        {"RLE8 on 24 bits", with(good, [](auto& b) { Put32(b, 30, 1); })},
        {"unknown compression", with(good, [](auto& b) { Put32(b, 30, 77); })},
        {"pixel offset past the end", with(good, [](auto& b) { Put32(b, 10, 0x7fffffff); })},
        {"RLE without end", rle.substr(0, rle.size() - 12)},
        {"RLE 30000 x 30000", with(rle, [](auto& b) { Put32(b, 18, 30000), Put32(b, 22, 30000); })},
        {"palette cut off", pal.substr(0, 60)},
        {"embedded PNG that is garbage", with(good, [](auto& b) { Put32(b, 30, 5); })},
    };
    for (const Case& c : cases) EXPECT_THROW(DecodeBmp(c.bytes), ImageError) << c.what;
    EXPECT_THROW(DecodeBmp(""), ImageError);
    EXPECT_THROW(DecodeBmp("BM"), ImageError);
}

TEST(HostileBmp, ToleratedQuirks) {
    // Palette indices past a short colour table show black; a stated colour count larger than the
    // table is clamped; runs past the right edge are cut; a zero pixel offset means "after the table".
    std::string pal = ReadBytes(kData / "bmp8.bmp");
    const size_t data = Le32(pal, 10);
    pal[data] = static_cast<char>(200);  // bottom-left pixel: index 200 of a 15-entry table
    EXPECT_EQ(DecodeBmp(pal).at(0, 2), 0u);

    std::string many = ReadBytes(kData / "bmp1.bmp");
    Put32(many, 46, 0xffffffffu);
    EXPECT_EQ(DecodeBmp(many).pixels, DecodeBmp(ReadBytes(kData / "bmp1.bmp")).pixels);

    std::string rle = ReadBytes(kData / "bmp8_rle.bmp");
    const size_t rd = Le32(rle, 10);
    const size_t encoded = rd + 2 + 6;      // after the first absolute run (2 + 5 + pad) and EOL
    rle[encoded] = static_cast<char>(200);  // a run of 200 in a row of 5
    EXPECT_NO_THROW(DecodeBmp(rle));

    std::string zeroOffset = ReadBytes(kData / "bmp8.bmp");
    Put32(zeroOffset, 10, 0);
    EXPECT_EQ(DecodeBmp(zeroOffset).pixels, DecodeBmp(ReadBytes(kData / "bmp8.bmp")).pixels);

    // The last row may lack its padding bytes.
    const std::string good = ReadBytes(kData / "bmp24.bmp");
    EXPECT_EQ(DecodeBmp(good.substr(0, good.size() - 1)).pixels, DecodeBmp(good).pixels);
}

size_t FindMarker(const std::string& b, uint8_t marker) {
    for (size_t i = 2; i + 1 < b.size(); ++i)
        if (static_cast<uint8_t>(b[i]) == 0xff && static_cast<uint8_t>(b[i + 1]) == marker) return i;
    return std::string::npos;
}

TEST(HostileJpeg, FaultsThrowImageError) {
    const std::string good = ReadBytes(kData / "jpeg_rgb.jpg");
    const std::string prog = ReadBytes(kData / "jpeg_progressive.jpg");
    const size_t sof = FindMarker(good, 0xc0);
    ASSERT_NE(sof, std::string::npos);
    auto size = [&](uint16_t w, uint16_t h) {
        std::string b = good;
        b[sof + 5] = static_cast<char>(h >> 8), b[sof + 6] = static_cast<char>(h & 0xff);
        b[sof + 7] = static_cast<char>(w >> 8), b[sof + 8] = static_cast<char>(w & 0xff);
        return b;
    };
    std::string garbage = good.substr(0, 20) + std::string(200, '\x55');
    const std::pair<const char*, std::string> cases[] = {
        {"truncated", good.substr(0, good.size() / 2)},
        {"progressive truncated", prog.substr(0, prog.size() * 2 / 3)},
        {"header only", good.substr(0, sof + 4)},
        {"SOI only", good.substr(0, 3)},
        {"30000 x 30000", size(30000, 30000)},
        {"65535 x 65535", size(65535, 65535)},
        {"zero height", size(32, 0)},
        {"garbage after the header", garbage},
        {"empty", ""},
    };
    for (const auto& [what, bytes] : cases) EXPECT_THROW(DecodeJpeg(bytes), ImageError) << what;
}

// A greyscale JPEG of w x h (a ramp, brighter to the right and down); with scans > 0 a valid
// progressive one of that many scans (1 DC scan, then AC refinement scans).
std::string GreyJpeg(int w, int h, int scans = 0) {
    std::vector<jpeg_scan_info> script;
    script.push_back({1, {0}, 0, 0, 0, 0});
    for (int k = 1; k <= 63 && static_cast<int>(script.size()) < scans; ++k) {
        script.push_back({1, {0}, k, k, 0, 4});
        for (int al = 3; al >= 0 && static_cast<int>(script.size()) < scans; --al)
            script.push_back({1, {0}, k, k, al + 1, al});
    }
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buf, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = 1;
    c.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    if (scans > 0) {
        c.scan_info = script.data();
        c.num_scans = static_cast<int>(script.size());
    }
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(w);
    while (c.next_scanline < c.image_height) {
        for (int x = 0; x < w; ++x) row[x] = static_cast<JSAMPLE>((x * 160 / w) + (c.next_scanline * 90 / h));
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string out(reinterpret_cast<char*>(buf), size);
    std::free(buf);
    return out;
}

TEST(HostileJpeg, EndlessProgressiveScansAreRefused) {
    // Each scan is a pass over the whole picture; real encoders use about ten.
    EXPECT_EQ(DecodeJpeg(GreyJpeg(16, 16, 150)).width, 16);
    try {
        DecodeJpeg(GreyJpeg(16, 16, 300));
        ADD_FAILURE() << "300 scans decoded";
    } catch (const ImageError& e) {
        EXPECT_NE(std::string(e.what()).find("scans"), std::string::npos) << e.what();
    }
}

// The JPEG with an APP1 EXIF segment (big- or little-endian TIFF) whose IFD0 holds `entries`.
std::string WithExif(const std::string& jpeg, bool bigEndian, const std::string& ifdEntries, uint16_t count) {
    auto u16 = [&](uint16_t v) {
        return bigEndian ? std::string{static_cast<char>(v >> 8), static_cast<char>(v & 0xff)}
                         : std::string{static_cast<char>(v & 0xff), static_cast<char>(v >> 8)};
    };
    std::string tiff = bigEndian ? std::string("MM\0*", 4) : std::string("II*\0", 4);
    tiff += bigEndian ? std::string("\0\0\0\x08", 4) : std::string("\x08\0\0\0", 4);
    tiff += u16(count) + ifdEntries;
    const std::string body = std::string("Exif\0\0", 6) + tiff;
    const auto len = static_cast<uint16_t>(body.size() + 2);
    const std::string segment =
        std::string("\xFF\xE1", 2) + static_cast<char>(len >> 8) + static_cast<char>(len & 0xff) + body;
    return jpeg.substr(0, 2) + segment + jpeg.substr(2);
}

std::string OrientationEntry(bool bigEndian, uint16_t value) {
    auto u16 = [&](uint16_t v) {
        return bigEndian ? std::string{static_cast<char>(v >> 8), static_cast<char>(v & 0xff)}
                         : std::string{static_cast<char>(v & 0xff), static_cast<char>(v >> 8)};
    };
    const std::string one = bigEndian ? std::string("\0\0\0\x01", 4) : std::string("\x01\0\0\0", 4);
    return u16(0x010f) + u16(2) + one + std::string(4, '\0') +  // another tag first (Make)
           u16(0x0112) + u16(3) + one + u16(value) + std::string(2, '\0');
}

TEST(DecodeJpeg, TurnsPhotosTheWayTheirOrientationTagSays) {
    // Stored quadrants: 0 top-left red, 1 top-right green, 2 bottom-left blue, 3 bottom-right white.
    const uint32_t quad[] = {Rgb(200, 30, 40), Rgb(30, 180, 60), Rgb(40, 60, 210), Rgb(240, 240, 230)};
    // For each orientation: which stored quadrant shows at top-left, top-right, bottom-left, bottom-right.
    const std::array<int, 4> shown[] = {{0, 1, 2, 3}, {1, 0, 3, 2}, {3, 2, 1, 0}, {2, 3, 0, 1},
                                        {0, 2, 1, 3}, {2, 0, 3, 1}, {3, 1, 2, 0}, {1, 3, 0, 2}};
    const std::string jpeg = ReadBytes(kData / "jpeg_rgb.jpg");
    for (uint16_t o = 1; o <= 8; ++o) {
        for (bool big : {true, false}) {
            const Image img = DecodeJpeg(WithExif(jpeg, big, OrientationEntry(big, o), 2));
            const int corner[4][2] = {{4, 4}, {27, 4}, {4, 27}, {27, 27}};
            for (int c = 0; c < 4; ++c)
                EXPECT_LE(ChannelDiff(img.at(corner[c][0], corner[c][1]), quad[shown[o - 1][c]]), 16)
                    << "orientation " << o << " corner " << c << (big ? " MM" : " II");
        }
    }
    // Turned a quarter, a wide picture becomes tall, also when decoded at reduced size.
    const std::string wide = WithExif(GreyJpeg(64, 16), true, OrientationEntry(true, 6), 2);
    const Image tall = DecodeJpeg(wide);
    EXPECT_EQ(tall.width, 16);
    EXPECT_EQ(tall.height, 64);
    EXPECT_LT(RedOf(tall.at(15, 0)), RedOf(tall.at(0, 0)));  // stored top row now on the right
    const Image small = DecodeJpeg(wide, 4, 16);
    EXPECT_EQ(small.width, 4);
    EXPECT_EQ(small.height, 16);
}

TEST(DecodeJpeg, BrokenExifIsIgnored) {
    const std::string jpeg = ReadBytes(kData / "jpeg_rgb.jpg");
    const Image plain = DecodeJpeg(jpeg);
    const std::pair<const char*, std::string> cases[] = {
        {"entry count past the end", WithExif(jpeg, true, OrientationEntry(true, 6).substr(0, 12), 900)},
        {"no entries", WithExif(jpeg, false, "", 0)},
        {"orientation 9", WithExif(jpeg, false, OrientationEntry(false, 9), 2)},
        {"orientation 0", WithExif(jpeg, true, OrientationEntry(true, 0), 2)},
        {"IFD cut short", WithExif(jpeg, true, OrientationEntry(true, 6).substr(0, 17), 2)},
    };
    for (const auto& [what, bytes] : cases) EXPECT_EQ(DecodeJpeg(bytes).pixels, plain.pixels) << what;
}

std::string PngChunk(const std::string& type, const std::string& data) {
    std::string c(4, '\0');
    for (int i = 0; i < 4; ++i) c[i] = static_cast<char>((data.size() >> (24 - 8 * i)) & 0xff);
    c += type + data;
    const uLong crc =
        crc32(0, reinterpret_cast<const Bytef*>(c.data() + 4), static_cast<uInt>(4 + data.size()));
    for (int i = 0; i < 4; ++i) c += static_cast<char>((crc >> (24 - 8 * i)) & 0xff);
    return c;
}

std::string Be32(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

// A colour PNG claiming w x h whose IDAT is the given zlib stream.
std::string PngOf(uint32_t w, uint32_t h, const std::string& idat) {
    const std::string ihdr = Be32(w) + Be32(h) + std::string("\x08\x02\0\0\0", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", ihdr) + PngChunk("IDAT", idat) +
           PngChunk("IEND", "");
}

std::string Deflate(const std::string& raw) {
    uLongf n = compressBound(static_cast<uLong>(raw.size()));
    std::string out(n, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(raw.data()),
             static_cast<uLong>(raw.size()));
    out.resize(n);
    return out;
}

TEST(HostilePng, FaultsThrowImageError) {
    const std::string good = ReadBytes(kData / "png_rgb8.png");
    std::string badCrc = good;
    badCrc[29] ^= 1;  // inside IHDR's CRC
    const std::string onePixel = Deflate(std::string("\0\x10\x20\x30", 4));
    const std::pair<const char*, std::string> cases[] = {
        {"truncated", good.substr(0, good.size() - 30)},
        {"signature only", good.substr(0, 8)},
        {"bad CRC", badCrc},
        {"30000 x 30000", PngOf(30000, 30000, onePixel)},
        {"16000 x 16000 over the pixel cap", PngOf(16000, 16000, onePixel)},
        {"10000 x 6000 from a few bytes", PngOf(10000, 6000, onePixel)},
        {"zero width", PngOf(0, 1, onePixel)},
        {"not enough pixel data", PngOf(4, 4, onePixel)},
        {"broken zlib stream", PngOf(1, 1, "\x78\x9c\xff\xff\xff\xff")},
        {"not a PNG", "GIF89a\x01\x02"},
    };
    for (const auto& [what, bytes] : cases) EXPECT_THROW(DecodePng(bytes), ImageError) << what;
    EXPECT_EQ(DecodePng(PngOf(1, 1, onePixel)).pixels, std::vector<uint32_t>{Rgb(0x10, 0x20, 0x30)});
}

TEST(HostileInput, WrongDecoderForTheBytesThrows) {
    const std::string png = ReadBytes(kData / "png_rgb8.png");
    const std::string jpg = ReadBytes(kData / "jpeg_rgb.jpg");
    EXPECT_THROW(DecodeBmp(png), ImageError);
    EXPECT_THROW(DecodeJpeg(png), ImageError);
    EXPECT_THROW(DecodePng(jpg), ImageError);
    EXPECT_THROW(DecodeImage("short"), ImageError);
}

// ------------------------------------------------------------------ stretching and previews

TEST(StretchImage, GivesTheRequestedSizeWithoutKeepingAspect) {
    const std::pair<int, int> sizes[] = {{3840, 2160}, {1, 1}, {5000, 3}, {2, 900}, {238, 129}};
    const Image src = Pattern(1024, 768);
    for (const auto& [w, h] : sizes) {
        const Image out = StretchImage(src, w, h);
        EXPECT_EQ(out.width, w);
        EXPECT_EQ(out.height, h);
        EXPECT_EQ(out.pixels.size(), static_cast<size_t>(w) * h);
    }
}

TEST(StretchImage, KeepsFlatColoursAndCorners) {
    const uint32_t c = Rgb(7, 97, 194);
    for (const auto& [w, h] : {std::pair{1920, 1080}, std::pair{13, 7}, std::pair{1, 1}}) {
        const Image out = StretchImage(Image(31, 17, c), w, h);
        EXPECT_TRUE(std::all_of(out.pixels.begin(), out.pixels.end(), [&](uint32_t p) { return p == c; }))
            << w;
    }
    // Each corner of an enlarged picture keeps the corner colour of the source.
    Image four(2, 2);
    four.at(0, 0) = Rgb(255, 0, 0), four.at(1, 0) = Rgb(0, 255, 0);
    four.at(0, 1) = Rgb(0, 0, 255), four.at(1, 1) = Rgb(255, 255, 255);
    const Image big = StretchImage(four, 40, 30);
    EXPECT_EQ(big.at(0, 0), four.at(0, 0));
    EXPECT_EQ(big.at(39, 0), four.at(1, 0));
    EXPECT_EQ(big.at(0, 29), four.at(0, 1));
    EXPECT_EQ(big.at(39, 29), four.at(1, 1));
    // ...and blends smoothly in between: a horizontal black-to-white ramp never steps back.
    Image bw(2, 1);
    bw.at(1, 0) = Rgb(255, 255, 255);
    const Image ramp = StretchImage(bw, 64, 1);
    for (int x = 1; x < 64; ++x) EXPECT_GE(RedOf(ramp.at(x, 0)), RedOf(ramp.at(x - 1, 0)));
    EXPECT_GT(RedOf(ramp.at(31, 0)), 60);
    EXPECT_LT(RedOf(ramp.at(31, 0)), 195);
}

TEST(StretchImage, ShrinkingAveragesInsteadOfSampling) {
    // A one-pixel checkerboard shrunk by 4 becomes mid grey, not black or white.
    Image checker(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) checker.at(x, y) = (x + y) % 2 ? Rgb(255, 255, 255) : 0;
    const Image small = StretchImage(checker, 16, 16);
    for (uint32_t p : small.pixels) EXPECT_NEAR(RedOf(p), 128, 1);
    // Not a whole-number ratio: 1920 -> 238 still averages.
    Image wide(1920, 2);
    for (int x = 0; x < 1920; ++x)
        wide.at(x, 0) = wide.at(x, 1) = x % 2 ? Rgb(200, 200, 200) : Rgb(100, 100, 100);
    for (uint32_t p : StretchImage(wide, 238, 1).pixels) EXPECT_NEAR(RedOf(p), 150, 6);
}

TEST(StretchImage, SameSizeIsACopyAndBadSizesThrow) {
    const Image src = Pattern(9, 4);
    EXPECT_EQ(StretchImage(src, 9, 4).pixels, src.pixels);
    EXPECT_THROW(StretchImage(src, 0, 4), ImageError);
    EXPECT_THROW(StretchImage(src, 4, -1), ImageError);
    EXPECT_THROW(StretchImage(src, 20000, 10), ImageError);
    EXPECT_THROW(StretchImage(Image(), 4, 4), ImageError);
}

TEST(DecodeJpeg, ScalesDownOnlyAsFarAsAsked) {
    const std::string jpeg = ReadBytes(kData / "jpeg_rgb.jpg");  // 32 x 32
    const std::pair<std::pair<int, int>, int> cases[] = {{{0, 0}, 32}, {{16, 16}, 16}, {{8, 3}, 8},
                                                         {{1, 1}, 4},  {{17, 1}, 32},  {{200, 200}, 32}};
    for (const auto& [atLeast, side] : cases) {
        const Image img = DecodeJpeg(jpeg, atLeast.first, atLeast.second);
        EXPECT_EQ(img.width, side) << atLeast.first << "x" << atLeast.second;
        EXPECT_EQ(img.height, side) << atLeast.first << "x" << atLeast.second;
    }
    // The quadrant colours survive the reduced decode.
    EXPECT_LE(ChannelDiff(DecodeJpeg(jpeg, 1, 1).at(0, 0), Rgb(200, 30, 40)), 16);
}

class Preview : public TempDir {};

TEST_F(Preview, IsAlways238By129) {
    for (const char* name : {"bmp24.bmp", "png_rgb8.png", "jpeg_rgb.jpg"}) {
        const Image p = LoadPreview(kData / name);
        EXPECT_EQ(p.width, kPreviewWidth) << name;
        EXPECT_EQ(p.height, kPreviewHeight) << name;
    }
    const Image p = MakePreview(Image(1920, 1080, Rgb(25, 174, 132)));
    EXPECT_EQ(p.width, 238);
    EXPECT_EQ(p.height, 129);
    EXPECT_EQ(p.at(100, 60), Rgb(25, 174, 132));
    WriteBytes(dir_ / "broken.jpg", std::string("\xFF\xD8\xFF\xE0 nothing", 13));
    EXPECT_THROW(LoadPreview(dir_ / "broken.jpg"), ImageError);
}

}  // namespace
}  // namespace wl
