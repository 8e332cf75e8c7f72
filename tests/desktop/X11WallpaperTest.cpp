// The wallpaper layer on the bare X11 desktop of a private Xvfb, with the program's own codecs:
// pictures are decoded, stretched onto the root, and the root's picture comes back as a backup.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "MainQueue.h"
#include "XvfbServer.h"
#include "data/TWeekleaf.h"
#include "platform/AtomicFile.h"
#include "platform/DataDir.h"
#include "platform/X11RootDesktop.h"
#include "wallpaper/ImageCodecs.h"
#include "wallpaper/TDrawTH.h"
#include "wallpaper/TWallPaper.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kRed = Rgb(200, 30, 30), kBlue = Rgb(20, 40, 220);

class X11WallpaperTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server = std::make_unique<test::XvfbServer>("640x480x24"); }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        if (!test::XvfbServer::Installed()) GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_FALSE(server->Display().empty()) << "Xvfb did not start";
        root = fs::temp_directory_path() / ("wl-x11-wallpaper-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "Weekleaf" / "Wpp");
        setenv("AppData", root.c_str(), 1);
        desktop = std::make_unique<X11RootDesktop>(WallpaperPictureFiles(), server->Display());
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // A 1024 x 768 picture: red left half, blue right half.
    fs::path HalfAndHalf(const fs::path& file) {
        Image image(1024, 768);
        for (int y = 0; y < 768; ++y)
            for (int x = 0; x < 1024; ++x) image.at(x, y) = x < 512 ? kRed : kBlue;
        SaveBmp24(image, file);
        return file;
    }

    static std::unique_ptr<test::XvfbServer> server;
    fs::path root;
    std::unique_ptr<X11RootDesktop> desktop;
};

std::unique_ptr<test::XvfbServer> X11WallpaperTest::server;

TEST_F(X11WallpaperTest, APictureOfAnotherSizeIsStretchedOverTheWholeRoot) {
    SetWallpaperPath(*desktop, HalfAndHalf(root / "user.bmp").string());
    ScreenSize size;
    const PixelRows pixels = desktop->ReadRootPicture(size);
    ASSERT_EQ(size, (ScreenSize{640, 480}));
    EXPECT_EQ(pixels[0], kRed);
    EXPECT_EQ(pixels[479 * 640 + 639], kBlue);
    EXPECT_EQ(pixels[240 * 640 + 100], kRed);
    EXPECT_EQ(pixels[240 * 640 + 540], kBlue);
}

TEST_F(X11WallpaperTest, SetWallpaperShowsTheDrawnPicture) {
    Image drawn(640, 480, Rgb(1, 2, 3));
    SaveBmp24(drawn, DataDir() / "Weekleaf-Modifed.bmp");
    SetWallpaper(*desktop);
    EXPECT_EQ(desktop->CurrentWallpaperFile(), (DataDir() / "Weekleaf-Modifed.bmp").string());
    ScreenSize size;
    EXPECT_EQ(desktop->ReadRootPicture(size)[320 * 640 + 200], Rgb(1, 2, 3));
}

TEST_F(X11WallpaperTest, AMissingDesktopFileFallsBackToTheRootPictureSavedInTheLibrary) {
    const fs::path user = HalfAndHalf(root / "user.bmp");
    SetWallpaperPath(*desktop, user.string());
    fs::remove(user);

    const std::string current = CurrentWallpaperPath(*desktop);
    EXPECT_EQ(current, (DataDir() / "Wpp" / "RootWallpaper.bmp").string());
    const Image backup = LoadImageFile(current);
    ASSERT_EQ(backup.width, 640);
    ASSERT_EQ(backup.height, 480);
    EXPECT_EQ(backup.at(10, 10), kRed);
    EXPECT_EQ(backup.at(630, 470), kBlue);
}

// The whole way on the bare X11 desktop: a tick draws the week onto the user's picture and the
// root shows it; the exit puts the user's own picture back.
TEST_F(X11WallpaperTest, ATickPutsTheWeekOnTheRootAndTheExitPutsTheUsersPictureBack) {
    SetWallpaperPath(*desktop, HalfAndHalf(root / "user.bmp").string());
    WriteFileAtomic(DataDir() / "Data.json", R"({"note":"<p>цели</p>"})");
    const TWeekleaf store(DataDir() / "Data.json");

    test::MainQueue queue;
    DrawScheduler scheduler(*desktop, queue.executor());
    ASSERT_TRUE(scheduler.RequestDrawing([&] {
        DrawRequest request;
        request.week = MakeWeekSnapshot(store, Today(), 0);
        request.alpha = 255;
        return request;
    }));
    scheduler.WaitIdle([&] { queue.PumpOnce(); });
    EXPECT_EQ(desktop->CurrentWallpaperFile(), (DataDir() / "Weekleaf-Modifed.bmp").string());

    ScreenSize size;
    PixelRows shown = desktop->ReadRootPicture(size);
    const BlockRects blocks = PictureBlockRects(640, 480);
    const BlockRect& b = blocks[0];  // over the red half of the picture
    EXPECT_EQ(shown[static_cast<size_t>(b.Bottom - 15) * 640 + (b.Left + b.Right) / 2], Rgb(255, 255, 255))
        << "an opaque block body";
    EXPECT_EQ(shown[5 * 640 + 5], kRed) << "the user's picture around the blocks";

    ASSERT_TRUE(RestoreOnExit(*desktop, scheduler.Gate()));
    shown = desktop->ReadRootPicture(size);
    EXPECT_EQ(shown[static_cast<size_t>(b.Bottom - 15) * 640 + (b.Left + b.Right) / 2], kRed);
    EXPECT_EQ(shown[470 * 640 + 630], kBlue);
}

}  // namespace
}  // namespace wl
