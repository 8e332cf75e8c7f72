// One drawing run from the user's picture to the applied wallpaper, checked on the pictures'
// pixels: block rectangles and backgrounds, alpha, header colours, the today outline, the
// fallbacks for pictures we cannot read, stretching, and the cache that spares a decode per run.
#include "wallpaper/Drawing.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/DataDir.h"
#include "wallpaper/ImageCodecs.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kWallpaper = Rgb(40, 60, 80);

// The desktop as the run sees it: remembers what it shows, has no system copy of a wallpaper.
class FakeDesktop : public IDesktop {
  public:
    std::string current;
    std::vector<std::string> shown;
    ScreenSize screen{1920, 1080};

    std::string CurrentWallpaperFile() override { return current; }
    void ShowWallpaper(const std::string& path) override {
        current = path;
        shown.push_back(path);
    }
    std::string SystemWallpaperCopyName() override { return "SystemCopy.bmp"; }
    fs::path SaveSystemWallpaperCopy(const fs::path&) override { throw std::runtime_error("no system copy"); }
    ScreenSize Screen() override { return screen; }
    std::string Name() const override { return "fake"; }
};

std::vector<unsigned char> Rgb24(const Image& img) {
    std::vector<unsigned char> rgb;
    rgb.reserve(size_t(img.width) * img.height * 3);
    for (uint32_t p : img.pixels) {
        rgb.push_back(RedOf(p));
        rgb.push_back(GreenOf(p));
        rgb.push_back(BlueOf(p));
    }
    return rgb;
}

void WriteJpeg(const Image& img, const fs::path& file) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buf, &size);
    c.image_width = img.width;
    c.image_height = img.height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 98, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> rgb = Rgb24(img);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = rgb.data() + size_t(c.next_scanline) * img.width * 3;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<char*>(buf), std::streamsize(size));
    free(buf);
}

void WritePng(const Image& img, const fs::path& file) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = img.width;
    png.height = img.height;
    png.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb = Rgb24(img);
    ASSERT_TRUE(png_image_write_to_file(&png, file.c_str(), 0, rgb.data(), 0, nullptr));
}

bool Near(uint32_t a, uint32_t b, int tolerance = 2) {
    return std::abs(RedOf(a) - RedOf(b)) <= tolerance && std::abs(GreenOf(a) - GreenOf(b)) <= tolerance &&
           std::abs(BlueOf(a) - BlueOf(b)) <= tolerance;
}

uint32_t Blend(uint32_t src, uint32_t dst, int alpha) {
    auto c = [&](int shift) {
        uint32_t s = (src >> shift) & 0xff, d = (dst >> shift) & 0xff;
        return ((s * alpha + d * (255 - alpha) + 127) / 255) << shift;
    };
    return c(16) | c(8) | c(0);
}

class DrawingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::path(testing::TempDir()) /
               ("draw-" + std::to_string(::getpid()) + "-" +
                std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root);
        fs::create_directories(root / "Weekleaf" / "Wpp");
        setenv("AppData", root.c_str(), 1);
        dir = DataDir();
        // A week from Monday 7 December 2026; today is Wednesday (block 3).
        const Date monday = MakeDate(2026, 12, 7);
        request.week.today = AddDays(monday, 2);
        request.week.dates[0] = DateToStr(request.week.today);
        for (int i = 1; i < 8; ++i) request.week.dates[i] = DateToStr(AddDays(monday, i - 1));
        request.dataDir = dir;
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path UserPicture(const std::string& name) { return root / name; }
    Image Modified() { return LoadBmpFile(dir / "Weekleaf-Modifed.bmp"); }
    Image Background() { return LoadBmpFile(dir / "Weekleaf-Wallpaper.bmp"); }
    std::string Log() {
        std::ifstream in(dir / "ErrLog.txt", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void Run() { DrawHTML(request, desktop, context); }

    fs::path root, dir;
    FakeDesktop desktop;
    DrawRequest request;
    TDrawContext context;
    const BlockRects rects = CalcBlockRects(830, 1560);
};

TEST_F(DrawingTest, JpegOfScreenSizeGivesTheWorkedExampleBlocks) {
    WriteJpeg(Image(1920, 1080, kWallpaper), UserPicture("photo.jpg"));
    desktop.current = UserPicture("photo.jpg").string();
    Run();

    EXPECT_EQ(desktop.shown, std::vector<std::string>{(dir / "Weekleaf-Modifed.bmp").string()});
    const Image old = LoadBmpFile(dir / "WppOld.bmp");
    EXPECT_EQ(old.width, 1920);
    EXPECT_EQ(old.height, 1080);
    const Image bg = Background();
    ASSERT_EQ(bg.width, 1920);
    ASSERT_EQ(bg.height, 1080);
    const uint32_t body = Blend(kBlockBodyColor, kWallpaper, 125);
    const uint32_t head = Blend(kBlockHeaderColor, kWallpaper, 125);
    const uint32_t weekend = Blend(kWeekendHeaderColor, kWallpaper, 125);
    const int lefts[] = {240, 637, 1034, 1431, 240, 637, 1034, 1431};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE("block " + std::to_string(i));
        const BlockRect& r = rects[i];
        EXPECT_EQ(r.Left, lefts[i]);
        EXPECT_EQ(r.Right - r.Left, 367);
        EXPECT_EQ(r.Bottom - r.Top, 400);
        EXPECT_TRUE(Near(bg.at(r.Left, r.Top), i >= 6 ? weekend : head));
        EXPECT_TRUE(Near(bg.at(r.Right - 1, r.Top + 34), i >= 6 ? weekend : head));
        EXPECT_TRUE(Near(bg.at(r.Left, r.Top + 35), body));
        EXPECT_TRUE(Near(bg.at(r.Right - 1, r.Bottom - 1), body)) << "367 x 400 background";
        EXPECT_TRUE(Near(bg.at(r.Right, r.Bottom - 1), kWallpaper));
        EXPECT_TRUE(Near(bg.at(r.Right - 1, r.Bottom), kWallpaper));
        EXPECT_TRUE(Near(bg.at(r.Left - 1, r.Top + 100), kWallpaper));
    }
    EXPECT_EQ(rects[4].Top, 530);
    EXPECT_EQ(rects[4].Bottom, 930);
    EXPECT_TRUE(Log().empty()) << Log();
}

TEST_F(DrawingTest, OpaqueBlocksHideTheWallpaperAndTransparentOnesShowIt) {
    WritePng(Image(1920, 1080, kWallpaper), UserPicture("photo.png"));
    for (int alpha : {255, 125}) {
        desktop.current = UserPicture("photo.png").string();
        request.alpha = alpha;
        Run();
        const Image bg = Background();
        const BlockRect& r = rects[1];
        EXPECT_EQ(bg.at(r.Left + 100, r.Top + 200),
                  alpha == 255 ? kBlockBodyColor : Blend(kBlockBodyColor, kWallpaper, 125));
        EXPECT_EQ(bg.at(r.Left + 100, r.Top + 10),
                  alpha == 255 ? kBlockHeaderColor : Blend(kBlockHeaderColor, kWallpaper, 125));
    }
}

TEST_F(DrawingTest, TodayOutlineOnlyOnTodaysBlockOfTheCurrentWeek) {
    WritePng(Image(1920, 1080, kWallpaper), UserPicture("photo.png"));
    auto outlined = [&](const Image& img, int i) {
        const BlockRect& r = rects[i];
        const int midY = (r.Top + r.Bottom) / 2, midX = (r.Left + r.Right) / 2;
        return img.at(r.Left - 7, midY) == kBlockBodyColor && img.at(r.Right + 6, midY) == kBlockBodyColor &&
               img.at(midX, r.Top - 7) == kBlockBodyColor && img.at(midX, r.Bottom + 6) == kBlockBodyColor;
    };
    desktop.current = UserPicture("photo.png").string();
    Run();
    Image img = Modified();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(outlined(img, i), i == 3) << "block " << i;
    EXPECT_EQ(img.at(rects[3].Left - 8, (rects[3].Top + rects[3].Bottom) / 2), kWallpaper);

    // Next week: the same today, every date a week later; no block is today's.
    for (int i = 0; i < 8; ++i)
        request.week.dates[i] = DateToStr(AddDays(*StrToDate(request.week.dates[i]), 7));
    request.week.weekOffsetDays = 7;
    Run();
    img = Modified();
    for (int i = 0; i < 8; ++i) EXPECT_FALSE(outlined(img, i)) << "block " << i;

    // The notes block carries today's date but never the outline.
    request.week.dates[0] = DateToStr(request.week.today);
    Run();
    EXPECT_FALSE(outlined(Modified(), 0));
}

TEST_F(DrawingTest, TitlesAndDatesArePaintedInTheHeaderStrip) {
    WritePng(Image(1920, 1080, kWallpaper), UserPicture("photo.png"));
    desktop.current = UserPicture("photo.png").string();
    request.alpha = 255;
    request.fontName = "NoSuchFontAnywhere";  // falls back to the system's face
    Run();
    const Image img = Modified();
    auto darkIn = [&](int x0, int x1, int y0, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += GreenOf(img.at(x, y)) < 90;
        return n;
    };
    const BlockRect& notes = rects[0];
    const int third = (notes.Right - notes.Left) / 3;
    EXPECT_GT(darkIn(notes.Left + third, notes.Right - third, notes.Top + 2, notes.Top + 33), 20)
        << "centred";
    EXPECT_EQ(darkIn(notes.Left, notes.Left + 40, notes.Top, notes.Top + 35), 0);
    const BlockRect& monday = rects[1];
    EXPECT_GT(darkIn(monday.Left + 15, monday.Left + 80, monday.Top + 2, monday.Top + 33), 20)
        << "title left";
    EXPECT_GT(darkIn(monday.Right - 80, monday.Right - 15, monday.Top + 2, monday.Top + 33), 20)
        << "date right";
    EXPECT_EQ(darkIn(monday.Left, monday.Right, monday.Top + 33, monday.Top + 35), 0)
        << "clipped to the strip";
}

// A "scale 2" output: the picture has the output's pixels, the blocks, titles and entries sit where
// the logical screen's layout puts them, and the text is drawn with twice the pixels, not enlarged.
TEST_F(DrawingTest, AScaledScreenIsDrawnAtItsPixelsWithTheLogicalLayout) {
    WritePng(Image(1920, 1080, kWallpaper), UserPicture("photo.png"));
    request.alpha = 255;
    request.week.entries[5] = "<div style='background:#ff0000;height:50px'></div>";
    const BlockRect& monday = rects[1];
    // Dark pixels of the Monday title and date, in the picture's own pixels.
    auto titleInk = [&](const Image& img, int s) {
        int n = 0;
        for (int y = s * (monday.Top + 2); y < s * (monday.Top + 33); ++y)
            for (int x = s * (monday.Left + 15); x < s * (monday.Right - 15); ++x)
                n += GreenOf(img.at(x, y)) < 90;
        return n;
    };
    desktop.current = UserPicture("photo.png").string();
    Run();
    const int inkAt1x = titleInk(Modified(), 1);

    desktop.current = UserPicture("photo.png").string();
    desktop.screen = {3840, 2160, 2.0};
    Run();
    const Image img = Modified();
    ASSERT_EQ(img.width, 3840);
    ASSERT_EQ(img.height, 2160);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE("block " + std::to_string(i));
        const BlockRect& r = rects[i];
        EXPECT_EQ(img.at(2 * r.Left, 2 * r.Top), i >= 6 ? kWeekendHeaderColor : kBlockHeaderColor);
        EXPECT_EQ(img.at(2 * r.Left, 2 * (r.Top + 35) - 1), i >= 6 ? kWeekendHeaderColor : kBlockHeaderColor);
        EXPECT_EQ(img.at(2 * r.Left, 2 * (r.Top + 35)), kBlockBodyColor);
        EXPECT_EQ(img.at(2 * r.Right - 1, 2 * r.Bottom - 1), kBlockBodyColor);
        EXPECT_TRUE(Near(img.at(2 * r.Left - 1, 2 * r.Top + 200), kWallpaper));
        EXPECT_TRUE(Near(img.at(2 * r.Right, 2 * r.Bottom - 1), kWallpaper));
    }
    const BlockRect& r = rects[5];
    EXPECT_EQ(img.at(2 * (r.Left + 10), 2 * (r.Top + 45)), Rgb(255, 0, 0));
    EXPECT_EQ(img.at(2 * (r.Left + 10), 2 * (r.Top + 95) - 1), Rgb(255, 0, 0));
    EXPECT_NE(img.at(2 * (r.Left + 10) - 1, 2 * (r.Top + 45)), Rgb(255, 0, 0));
    EXPECT_NE(img.at(2 * (r.Left + 10), 2 * (r.Top + 95)), Rgb(255, 0, 0));

    // The title's text has about four times the ink, and its glyph edges cut through the 2 x 2
    // cells that an enlarged 1x drawing would fill with one colour each.
    const double inkRatio = double(titleInk(img, 2)) / inkAt1x;
    EXPECT_GT(inkRatio, 2.4);
    EXPECT_LT(inkRatio, 6.4);
    int mixedCells = 0;
    for (int y = 2 * (monday.Top + 2); y < 2 * (monday.Top + 33); y += 2)
        for (int x = 2 * (monday.Left + 15); x < 2 * (monday.Right - 15); x += 2)
            mixedCells += img.at(x, y) != img.at(x + 1, y) || img.at(x, y) != img.at(x, y + 1) ||
                          img.at(x, y) != img.at(x + 1, y + 1);
    EXPECT_GT(mixedCells, 50) << "the title looks enlarged from a 1x drawing";
    EXPECT_TRUE(Log().empty()) << Log();
}

TEST_F(DrawingTest, EntriesAreLaidOutInsideTheirBlocks) {
    WritePng(Image(1920, 1080, kWallpaper), UserPicture("photo.png"));
    desktop.current = UserPicture("photo.png").string();
    request.week.entries[5] = "<div style='background:#ff0000;height:50px'></div>";
    Run();
    const Image img = Modified();
    const BlockRect& r = rects[5];
    EXPECT_EQ(img.at(r.Left + 10, r.Top + 45), Rgb(255, 0, 0));
    EXPECT_EQ(img.at(r.Right - 11, r.Top + 94), Rgb(255, 0, 0));
    EXPECT_NE(img.at(r.Left + 9, r.Top + 45), Rgb(255, 0, 0));
    EXPECT_NE(img.at(r.Left + 10, r.Top + 95), Rgb(255, 0, 0));
    EXPECT_TRUE(fs::exists(dir / "HTML_TempBitmap.bmp"));
}

TEST_F(DrawingTest, EntryTooComplexToLayOutLeavesTheBlocksWithoutText) {
    WritePng(Image(1920, 1080, kWallpaper), UserPicture("photo.png"));
    desktop.current = UserPicture("photo.png").string();
    request.alpha = 255;
    std::string nested;
    for (int i = 0; i < 60; ++i) nested += "<table><tr><td>";
    request.week.entries[2] = nested + "x";
    Run();
    const Image img = Modified();
    EXPECT_EQ(img.at(5, 5), kWallpaper);
    EXPECT_EQ(img.at(rects[2].Left + 100, rects[2].Top + 200), kBlockBodyColor);
    EXPECT_EQ(img.at(rects[2].Left + 2, rects[2].Top + 2), kBlockHeaderColor);
    EXPECT_NE(Log().find("Blender.DrawHTML2: "), std::string::npos) << Log();
    EXPECT_EQ(desktop.shown.size(), 1u);
}

TEST_F(DrawingTest, HugeEntryIsCutButItsBeginningShows) {
    WritePng(Image(1920, 1080, kWallpaper), UserPicture("photo.png"));
    desktop.current = UserPicture("photo.png").string();
    request.week.entries[1] = "<div style='background:#ff0000;height:50px'></div>";
    for (int i = 0; i < 100000; ++i) request.week.entries[1] += "<b>жирный</b> текст ";
    Run();
    const Image img = Modified();
    EXPECT_EQ(img.at(rects[1].Left + 10, rects[1].Top + 45), Rgb(255, 0, 0));
    EXPECT_TRUE(Log().empty()) << Log();
}

TEST_F(DrawingTest, GifWallpaperGivesSolidBlueAndItsLogLine) {
    const fs::path gif = UserPicture("anim.gif");
    std::ofstream(gif, std::ios::binary) << "GIF89a\x01\x00\x01\x00\x00\x00\x00;";
    desktop.current = gif.string();
    Run();
    const Image bg = Background();
    EXPECT_EQ(bg.width, 1920);
    EXPECT_EQ(bg.at(10, 10), kNoPictureColor);
    EXPECT_EQ(bg.at(1900, 1070), kNoPictureColor);
    EXPECT_EQ(LoadBmpFile(dir / "WppOld.bmp").at(0, 0), kNoPictureColor);
    EXPECT_NE(Log().find("DrawBlockOnly: NoFormat | wppPath: " + gif.string()), std::string::npos) << Log();
}

TEST_F(DrawingTest, UndecodablePicturesLogTheirFormat) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* line;
    } cases[] = {
        {"broken.bmp", std::string("BM\x10\x00\x00\x00\x00\x00\x00\x00garbage", 18),
         "DrawBlockOnly: BMP | wppPath: "},
        {"broken.jpg", std::string("\xff\xd8\xff\xe0\x00\x10JFIF\x00 cut", 16),
         "DrawBlockOnly: JPG | wppPath: "},
        {"broken.png", std::string("\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR", 16),
         "DrawBlockOnly: PNG | wppPath: "},
        {"tiny.bmp", "BM", "DrawBlockOnly: NoFormat | wppPath: "},
    };
    for (const Case& c : cases) {
        const fs::path file = UserPicture(c.name);
        std::ofstream(file, std::ios::binary) << c.bytes;
        desktop.current = file.string();
        Run();
        EXPECT_EQ(Background().at(5, 5), kNoPictureColor) << c.name;
        EXPECT_NE(Log().find(c.line + file.string()), std::string::npos) << c.name << "\n" << Log();
    }
}

TEST_F(DrawingTest, JpgNamedFileHoldingPngIsDecodedAsPng) {
    const fs::path file = UserPicture("really-a-png.jpg");
    WritePng(Image(1920, 1080, Rgb(200, 10, 10)), file);
    desktop.current = file.string();
    Run();
    EXPECT_EQ(Background().at(10, 10), Rgb(200, 10, 10));
    EXPECT_TRUE(Log().empty()) << Log();
}

TEST_F(DrawingTest, SmallBmpIsStretchedAndItsCopyKeepsItsSize) {
    Image small(1024, 768, Rgb(255, 0, 0));
    for (int y = 0; y < 768; ++y)
        for (int x = 512; x < 1024; ++x) small.at(x, y) = Rgb(0, 0, 255);
    SaveBmp24(small, UserPicture("small.bmp"));
    desktop.current = UserPicture("small.bmp").string();
    Run();
    const Image old = LoadBmpFile(dir / "WppOld.bmp");
    EXPECT_EQ(old.width, 1024);
    EXPECT_EQ(old.height, 768);
    EXPECT_EQ(old.at(0, 0), Rgb(255, 0, 0));
    const Image bg = Background();
    ASSERT_EQ(bg.width, 1920);
    ASSERT_EQ(bg.height, 1080);
    EXPECT_EQ(bg.at(100, 50), Rgb(255, 0, 0));
    EXPECT_EQ(bg.at(1900, 50), Rgb(0, 0, 255));
    EXPECT_EQ(bg.at(1900, 1070), Rgb(0, 0, 255)) << "stretched over the whole screen";
}

TEST_F(DrawingTest, SecondRunWithOurOwnPictureUpDoesNotDecodeAgain) {
    WritePng(Image(1920, 1080, kWallpaper), UserPicture("photo.png"));
    desktop.current = UserPicture("photo.png").string();
    Run();
    EXPECT_EQ(context.PictureDecodes(), 1);
    fs::remove(UserPicture("photo.png"));  // would be noticed by a second decode
    const auto oldTime = fs::last_write_time(dir / "WppOld.bmp");
    const auto tempTime = fs::last_write_time(dir / "HTML_TempBitmap.bmp");
    request.week.entries[1] = "<b>changed</b>";
    Run();
    EXPECT_EQ(context.PictureDecodes(), 1);
    EXPECT_EQ(fs::last_write_time(dir / "WppOld.bmp"), oldTime);
    EXPECT_EQ(fs::last_write_time(dir / "HTML_TempBitmap.bmp"), tempTime)
        << "titles unchanged: not rewritten";
    EXPECT_EQ(desktop.shown.size(), 2u);
    EXPECT_TRUE(Log().empty()) << Log();

    // A new day moves the today mark: the titled picture is made and written anew.
    request.week.today = AddDays(request.week.today, 1);
    Run();
    const BlockRect& thursday = rects[4];
    EXPECT_EQ(Modified().at(thursday.Left - 7, (thursday.Top + thursday.Bottom) / 2), kBlockBodyColor);
    EXPECT_EQ(
        LoadBmpFile(dir / "HTML_TempBitmap.bmp").at(thursday.Left - 7, (thursday.Top + thursday.Bottom) / 2),
        kBlockBodyColor);

    // Another context (e.g. after a restart) reads the cached file instead of decoding.
    TDrawContext fresh;
    DrawHTML(request, desktop, fresh);
    EXPECT_EQ(fresh.PictureDecodes(), 0);
}

TEST_F(DrawingTest, CachedBackgroundRewrittenOnDiskIsReadAgain) {
    WritePng(Image(1920, 1080, kWallpaper), UserPicture("photo.png"));
    desktop.current = UserPicture("photo.png").string();
    Run();
    SaveBmp24(Image(1920, 1080, Rgb(1, 2, 3)), dir / "Weekleaf-Wallpaper.bmp");
    Run();
    EXPECT_EQ(Modified().at(5, 5), Rgb(1, 2, 3));
}

TEST_F(DrawingTest, LostCacheWhileOurPictureIsUpIsRebuiltFromTheUsersCopy) {
    WritePng(Image(1920, 1080, kWallpaper), UserPicture("photo.png"));
    desktop.current = UserPicture("photo.png").string();
    Run();
    for (const char* damage : {"remove", "truncate"}) {
        SCOPED_TRACE(damage);
        if (std::string(damage) == "remove") {
            fs::remove(dir / "Weekleaf-Wallpaper.bmp");
        } else {
            std::ofstream(dir / "Weekleaf-Wallpaper.bmp", std::ios::binary | std::ios::trunc) << "BM";
        }
        TDrawContext fresh;  // nothing in memory either
        DrawHTML(request, desktop, fresh);
        EXPECT_EQ(fresh.PictureDecodes(), 1);
        EXPECT_EQ(Background().at(5, 5), kWallpaper);
        EXPECT_EQ(Modified().at(5, 5), kWallpaper);
        EXPECT_EQ(desktop.current, (dir / "Weekleaf-Modifed.bmp").string());
    }
    EXPECT_TRUE(Log().empty()) << Log();
}

TEST_F(DrawingTest, MissingWallpaperFileStillGetsBlocks) {
    SaveBmp24(Image(8, 8, kWallpaper), dir / "WppOld.bmp");  // from a time the desktop had a picture
    desktop.current = (root / "gone.jpg").string();          // and the desktop has no copy to back up
    Run();
    EXPECT_EQ(Background().at(5, 5), kNoPictureColor);
    EXPECT_EQ(desktop.shown.size(), 1u);
    EXPECT_FALSE(fs::exists(dir / "WppOld.bmp")) << "the fill is no picture of the user's to put back";
}

TEST_F(DrawingTest, NewScreenSizeWhileOurPictureIsUpKeepsTheCache) {
    WritePng(Image(1920, 1080, kWallpaper), UserPicture("photo.png"));
    desktop.current = UserPicture("photo.png").string();
    Run();
    desktop.screen = {2560, 1440};
    Run();
    EXPECT_EQ(context.PictureDecodes(), 1) << "the cache is reused until another picture is put up";
    const Image img = Modified();
    ASSERT_EQ(img.width, 2560);
    ASSERT_EQ(img.height, 1440);
    EXPECT_EQ(img.at(5, 5), kWallpaper) << "the cached picture at its own size from the top left";
    EXPECT_EQ(img.at(1919, 1079), kWallpaper);
    EXPECT_EQ(img.at(2000, 1200), Rgb(0, 0, 0)) << "beyond the cached picture";
    EXPECT_EQ(Background().width, 1920);
}

TEST_F(DrawingTest, ScreenSmallerThanTheMarginsDrawsWithoutBlocks) {
    WritePng(Image(300, 200, kWallpaper), UserPicture("photo.png"));
    desktop.current = UserPicture("photo.png").string();
    desktop.screen = {300, 200};
    Run();
    const Image img = Modified();
    EXPECT_EQ(img.width, 300);
    EXPECT_EQ(img.at(299, 199), kWallpaper);
}

// Each block's entry a box of its own colour far larger than the block: where the colours land
// shows where the layout put every block, for every screen size; below the margins nothing of
// the blocks is drawn, not even today's outline.
TEST_F(DrawingTest, EveryScreenSizePutsEachEntryInsideItsOwnBlock) {
    auto entryColor = [](int i) { return Rgb(250, uint8_t(20 + 30 * i), 5); };
    for (int i = 0; i < 8; ++i) {
        char style[96];
        std::snprintf(style, sizeof style, "<div style='background:#%06x;width:4000px;height:4000px'></div>",
                      entryColor(i));
        request.week.entries[i] = style;
    }
    request.alpha = 255;
    struct Case {
        ScreenSize screen;
        bool blocks, text;
    };
    const Case cases[] = {
        {{640, 480}, true, true},   {{700, 500}, true, true},   {{800, 600}, true, true},
        {{1024, 768}, true, true},  {{1920, 1080}, true, true}, {{3840, 2160}, true, true},
        {{560, 420}, true, true},   {{500, 330}, true, false},  // blocks too small for their padding
        {{400, 300}, false, false}, {{360, 250}, false, false}, {{120, 90}, false, false},
    };
    for (const Case& c : cases) {
        const int w = c.screen.width, h = c.screen.height;
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        WritePng(Image(w, h, kWallpaper), UserPicture("photo.png"));
        desktop.current = UserPicture("photo.png").string();
        desktop.screen = c.screen;
        Run();
        const Image img = Modified();
        ASSERT_EQ(img.width, w);
        const BlockRects blocks = CalcBlockRects(h - 250, w - 360);
        // Where each colour may show: the block's content box (padding 45 above, 10 around).
        auto inContent = [&](int i, int x, int y) {
            const BlockRect& r = blocks[i];
            return x >= r.Left + 10 && x < r.Right - 10 && y >= r.Top + 45 && y < r.Bottom - 20;
        };
        int stray = 0, wallpaper = 0;
        std::vector<int> shown(8, 0);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint32_t p = img.at(x, y);
                wallpaper += p == kWallpaper;
                for (int i = 0; i < 8; ++i) {
                    if (p != entryColor(i)) continue;
                    ++shown[i];
                    stray += !inContent(i, x, y);
                }
            }
        }
        EXPECT_EQ(stray, 0) << "entry pixels outside their own block";
        for (int i = 0; i < 8; ++i) {
            const BlockRect& r = blocks[i];
            EXPECT_EQ(shown[i] > 0, c.text) << "block " << i;
            if (c.text) {
                EXPECT_EQ(img.at(r.Left + 10, r.Top + 45), entryColor(i)) << "block " << i;
            }
        }
        EXPECT_EQ(wallpaper == w * h, !c.blocks) << "the bare wallpaper, and only without blocks";
    }
}

TEST(BlendBlock, ConstantAlphaSourceOverClippedToThePicture) {
    Image picture(10, 10, Rgb(0, 0, 0));
    const Image block(4, 4, Rgb(255, 255, 255));
    BlendBlock(picture, block, 8, -2, 125);
    EXPECT_EQ(picture.at(8, 0), Rgb(125, 125, 125));
    EXPECT_EQ(picture.at(9, 1), Rgb(125, 125, 125));
    EXPECT_EQ(picture.at(9, 2), Rgb(0, 0, 0));
    EXPECT_EQ(picture.at(7, 0), Rgb(0, 0, 0));
    BlendBlock(picture, block, 0, 5, 255);
    EXPECT_EQ(picture.at(3, 8), Rgb(255, 255, 255));
    BlendBlock(picture, block, 100, 100, 255);  // entirely outside: nothing
}

}  // namespace
}  // namespace wl
