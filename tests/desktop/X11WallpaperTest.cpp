// The wallpaper layer on the bare X11 desktop of a private Xvfb, with the program's own codecs:
// pictures are decoded, stretched onto the root, and the root's picture comes back as a backup.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "MainQueue.h"
#include "XvfbServer.h"
#include "data/TWeekleaf.h"
#include "platform/AtomicFile.h"
#include "platform/DataDir.h"
#include "platform/X11RootDesktop.h"
#include "wallpaper/ImageCodecs.h"
#include "wallpaper/TDrawTH.h"
#include "wallpaper/TWallPaper.h"

// Xlib last: its macros (None, Bool, Status) would clash with the test framework's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

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

    // One drawing run of a week with a notes entry, as a tick of the main window makes it.
    static void DrawOnce(IDesktop& on, DrawScheduler& scheduler, test::MainQueue& queue) {
        WriteFileAtomic(DataDir() / "Data.json", R"({"note":"<p>цели</p>"})");
        const TWeekleaf store(DataDir() / "Data.json");
        ASSERT_TRUE(scheduler.RequestDrawing([&] {
            DrawRequest request;
            request.week = MakeWeekSnapshot(store, Today(), 0);
            request.alpha = 255;
            return request;
        }));
        scheduler.WaitIdle([&] { queue.PumpOnce(); });
        EXPECT_EQ(on.CurrentWallpaperFile(), (DataDir() / "Weekleaf-Modifed.bmp").string());
    }

    static std::unique_ptr<test::XvfbServer> server;
    fs::path root;
    std::unique_ptr<X11RootDesktop> desktop;
};

// The root window as the screen shows it (no other windows on these servers), raw pixel values.
std::vector<unsigned long> RootWindowPixels(Display* d) {
    const Window rootWindow = DefaultRootWindow(d);
    XWindowAttributes attributes{};
    XGetWindowAttributes(d, rootWindow, &attributes);
    XImage* image = XGetImage(d, rootWindow, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    std::vector<unsigned long> pixels;
    if (!image) return pixels;
    for (int y = 0; y < attributes.height; ++y)
        for (int x = 0; x < attributes.width; ++x) pixels.push_back(XGetPixel(image, x, y));
    XDestroyImage(image);
    return pixels;
}

bool RootHasProperty(Display* d, const char* name) {
    const Atom atom = XInternAtom(d, name, True);
    if (atom == None) return false;
    int count = 0;
    Atom* atoms = XListProperties(d, DefaultRootWindow(d), &count);
    const bool found = std::find(atoms, atoms + count, atom) != atoms + count;
    if (atoms) XFree(atoms);
    return found;
}

std::unique_ptr<test::XvfbServer> X11WallpaperTest::server;

// A root that never had a published picture (a bare server, or one set by a tool that does not
// publish it): the blocks go onto the fill colour, and taking them down again, at exit or by
// hiding the blocks, leaves the root exactly as it was instead of putting the fill colour up.
TEST_F(X11WallpaperTest, WithoutARootPictureTheRestoresGiveTheRootItsOwnBackgroundBack) {
    struct Case {
        const char* name;
        void (*restore)(IDesktop&, WallpaperGate&);
    };
    const Case cases[] = {
        {"exit", [](IDesktop& d, WallpaperGate& g) { EXPECT_FALSE(RestoreOnExit(d, g)); }},
        {"hiding the blocks", [](IDesktop& d, WallpaperGate& g) { RestoreUserWallpaper(d, g); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::XvfbServer bare("640x480x24");
        ASSERT_FALSE(bare.Display().empty());
        Display* d = XOpenDisplay(bare.Display().c_str());
        ASSERT_NE(d, nullptr);
        const std::vector<unsigned long> before = RootWindowPixels(d);
        ASSERT_FALSE(before.empty());

        X11RootDesktop bareDesktop(WallpaperPictureFiles(), bare.Display());
        test::MainQueue queue;
        DrawScheduler scheduler(bareDesktop, queue.executor());
        DrawOnce(bareDesktop, scheduler, queue);
        ASSERT_NE(RootWindowPixels(d), before) << "the drawn week is up";

        c.restore(bareDesktop, scheduler.Gate());
        EXPECT_TRUE(RootWindowPixels(d) == before) << "the root shows what it showed before";
        for (const char* property :
             {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID", "_WEEKLEAF_WALLPAPER_PIXMAP", "_WEEKLEAF_WALLPAPER_PATH"})
            EXPECT_FALSE(RootHasProperty(d, property)) << property;
        EXPECT_EQ(bareDesktop.CurrentWallpaperFile(), "");
        XCloseDisplay(d);
    }
}

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
    test::MainQueue queue;
    DrawScheduler scheduler(*desktop, queue.executor());
    DrawOnce(*desktop, scheduler, queue);

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
