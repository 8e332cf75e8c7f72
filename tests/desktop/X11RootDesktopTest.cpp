// The bare X11 backend against a private Xvfb: what ends up on the root window is read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "XvfbServer.h"
#include "platform/X11RootDesktop.h"

// Xlib last: its macros (None, Bool, Status) would clash with the test framework's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace wl {
namespace {

namespace fs = std::filesystem;

// A "picture file" here is a text file holding one number; the fake loader turns it into a
// pattern that differs in every pixel, so a stretch, an offset or a stale picture shows.
uint32_t Pattern(uint32_t seed, int x, int y) {
    return (seed * 2654435761u + x * 40503u + y * 9973u) & 0xffffff;
}

struct SavedBmp {
    fs::path file;
    int width = 0, height = 0;
    PixelRows pixels;
};

PictureFiles FakeFiles(std::shared_ptr<SavedBmp> saved) {
    PictureFiles files;
    files.loadStretched = [](const fs::path& file, int w, int h) {
        std::ifstream in(file);
        uint32_t seed = 0;
        if (!(in >> seed)) throw std::runtime_error("cannot read " + file.string());
        PixelRows rows(static_cast<size_t>(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) rows[static_cast<size_t>(y) * w + x] = Pattern(seed, x, y);
        return rows;
    };
    files.saveBmp = [saved](const fs::path& file, int w, int h, const PixelRows& pixels) {
        *saved = {file, w, h, pixels};
    };
    return files;
}

// A "picture file" in `dir` holding `seed`.
fs::path SeedFile(const fs::path& dir, const std::string& name, uint32_t seed) {
    const fs::path file = dir / name;
    std::ofstream(file) << seed;
    return file;
}

class X11RootDesktopTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server = std::make_unique<test::XvfbServer>("640x480x24"); }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        if (!test::XvfbServer::Installed()) GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_FALSE(server->Display().empty()) << "Xvfb did not start";
        dir = fs::temp_directory_path() / ("wl-x11-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        saved = std::make_shared<SavedBmp>();
        desktop = std::make_unique<X11RootDesktop>(FakeFiles(saved), server->Display());
        display = XOpenDisplay(server->Display().c_str());
        ASSERT_NE(display, nullptr);
    }
    void TearDown() override {
        if (display) XCloseDisplay(display);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    fs::path Picture(const std::string& name, uint32_t seed) { return SeedFile(dir, name, seed); }

    Pixmap RootProperty(const char* name) {
        const Atom atom = XInternAtom(display, name, True);
        if (atom == None) return None;
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char* data = nullptr;
        Pixmap result = None;
        if (XGetWindowProperty(display, DefaultRootWindow(display), atom, 0, 1, False, XA_PIXMAP, &type,
                               &format, &n, &after, &data) == Success &&
            data && n == 1)
            result = *reinterpret_cast<Pixmap*>(data);
        if (data) XFree(data);
        return result;
    }

    // What the root window shows (Xvfb has no other windows, so this is its background).
    uint32_t RootPixel(int x, int y) {
        XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
        EXPECT_NE(image, nullptr);
        if (!image) return 0;
        const uint32_t p = XGetPixel(image, 0, 0) & 0xffffff;
        XDestroyImage(image);
        return p;
    }

    void ExpectRootShows(uint32_t seed) {
        for (auto [x, y] : {std::pair{0, 0}, {639, 0}, {0, 479}, {639, 479}, {320, 240}, {17, 401}})
            EXPECT_EQ(RootPixel(x, y), Pattern(seed, x, y)) << "at " << x << "," << y;
    }

    static std::unique_ptr<test::XvfbServer> server;
    fs::path dir;
    std::shared_ptr<SavedBmp> saved;
    std::unique_ptr<X11RootDesktop> desktop;
    Display* display = nullptr;
};

std::unique_ptr<test::XvfbServer> X11RootDesktopTest::server;

TEST_F(X11RootDesktopTest, ReportsTheScreenOfTheDisplay) {
    EXPECT_EQ(desktop->Screen(), (ScreenSize{640, 480}));
    EXPECT_EQ(desktop->Name(), "x11-root");
}

TEST_F(X11RootDesktopTest, ShowPutsThePictureOnTheRootAndPublishesIt) {
    const fs::path file = Picture("Weekleaf-Modifed.bmp", 7);
    desktop->ShowWallpaper(file.string());

    ExpectRootShows(7);
    const Pixmap root = RootProperty("_XROOTPMAP_ID");
    EXPECT_NE(root, static_cast<Pixmap>(None));
    EXPECT_EQ(RootProperty("ESETROOT_PMAP_ID"), root);
    EXPECT_EQ(desktop->CurrentWallpaperFile(), file.string());

    // Another process reads the same path from the root window.
    X11RootDesktop other(FakeFiles(saved), server->Display());
    EXPECT_EQ(other.CurrentWallpaperFile(), file.string());
}

TEST_F(X11RootDesktopTest, ShowingTheSamePathAgainShowsTheRewrittenContentAndFreesTheOldPixmap) {
    const fs::path file = Picture("Weekleaf-Modifed.bmp", 1);
    desktop->ShowWallpaper(file.string());
    const Pixmap first = RootProperty("_XROOTPMAP_ID");

    Picture("Weekleaf-Modifed.bmp", 2);
    desktop->ShowWallpaper(file.string());
    ExpectRootShows(2);
    EXPECT_NE(RootProperty("_XROOTPMAP_ID"), first);

    // The first pixmap's retained client was killed: the id no longer names a drawable.
    X11Connection probe(server->Display());
    EXPECT_THROW(probe.With("probe",
                            [&](Display* d) {
                                Window r;
                                int x, y;
                                unsigned w, h, b, depth;
                                XGetGeometry(d, first, &r, &x, &y, &w, &h, &b, &depth);
                            }),
                 X11Error);
}

TEST_F(X11RootDesktopTest, SystemCopyIsTheRootPictureSavedAsBmp) {
    desktop->ShowWallpaper(Picture("mine.png", 42).string());

    const fs::path written = desktop->SaveSystemWallpaperCopy(dir / "Wpp");
    EXPECT_EQ(written, dir / "Wpp" / "RootWallpaper.bmp");
    EXPECT_EQ(saved->file, written);
    ASSERT_EQ(saved->width, 640);
    ASSERT_EQ(saved->height, 480);
    for (int y : {0, 100, 479})
        for (int x : {0, 333, 639})
            EXPECT_EQ(saved->pixels[static_cast<size_t>(y) * 640 + x], Pattern(42, x, y));
}

TEST_F(X11RootDesktopTest, PathIsUnknownOnceAnotherProgramSetsTheRoot) {
    desktop->ShowWallpaper(Picture("a.bmp", 3).string());

    // Another setter: its own pixmap in _XROOTPMAP_ID.
    const Window rootWindow = DefaultRootWindow(display);
    Pixmap theirs = XCreatePixmap(display, rootWindow, 4, 4, DefaultDepth(display, DefaultScreen(display)));
    XChangeProperty(display, rootWindow, XInternAtom(display, "_XROOTPMAP_ID", False), XA_PIXMAP, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(&theirs), 1);
    XSync(display, False);

    EXPECT_EQ(desktop->CurrentWallpaperFile(), "");
    XFreePixmap(display, theirs);
    XDeleteProperty(display, rootWindow, XInternAtom(display, "_XROOTPMAP_ID", False));
    XDeleteProperty(display, rootWindow, XInternAtom(display, "ESETROOT_PMAP_ID", False));
    XSync(display, False);
}

TEST_F(X11RootDesktopTest, NoRootPictureMeansNoSystemCopy) {
    const Window rootWindow = DefaultRootWindow(display);
    XDeleteProperty(display, rootWindow, XInternAtom(display, "_XROOTPMAP_ID", False));
    XDeleteProperty(display, rootWindow, XInternAtom(display, "ESETROOT_PMAP_ID", False));
    XSync(display, False);

    EXPECT_THROW(desktop->SaveSystemWallpaperCopy(dir), std::runtime_error);
    EXPECT_EQ(desktop->SystemWallpaperCopyName(), "RootWallpaper.bmp");
}

TEST_F(X11RootDesktopTest, UnreadablePictureThrowsAndLeavesTheDesktopAsItWas) {
    const fs::path good = Picture("good.bmp", 9);
    desktop->ShowWallpaper(good.string());

    EXPECT_THROW(desktop->ShowWallpaper((dir / "missing.bmp").string()), std::runtime_error);
    ExpectRootShows(9);
    EXPECT_EQ(desktop->CurrentWallpaperFile(), good.string());
}

// Two monitors side by side: Xephyr nested in a private Xvfb, with two Xinerama heads
// (1280 x 800 and 800 x 600 on a 2080 x 800 root), whose first RandR names as its monitor.
class X11RootTwoMonitorsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        host = std::make_unique<test::XvfbServer>("2200x900x24");
        if (host->Display().empty()) return;
        setenv("DISPLAY", host->Display().c_str(), 1);
        nested = std::make_unique<test::XvfbServer>(
            "Xephyr", std::vector<std::string>{"-screen", "1280x800", "-screen", "800x600", "+xinerama",
                                               "-nolisten", "tcp", "-noreset"});
        unsetenv("DISPLAY");
    }
    static void TearDownTestSuite() {
        nested.reset();
        host.reset();
    }
    void SetUp() override {
        if (!nested || nested->Display().empty()) GTEST_SKIP() << "Xvfb or Xephyr is not available";
        dir = fs::temp_directory_path() / ("wl-x11-two-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        saved = std::make_shared<SavedBmp>();
        desktop = std::make_unique<X11RootDesktop>(FakeFiles(saved), nested->Display());
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path Picture(const std::string& name, uint32_t seed) { return SeedFile(dir, name, seed); }
    // What another setter leaves: its own picture over the whole root, published and retained.
    void OthersPicture(uint32_t colour) {
        Display* d = XOpenDisplay(nested->Display().c_str());
        ASSERT_NE(d, nullptr);
        const Window root = DefaultRootWindow(d);
        const Pixmap pixmap = XCreatePixmap(d, root, 2080, 800, DefaultDepth(d, DefaultScreen(d)));
        GC gc = XCreateGC(d, pixmap, 0, nullptr);
        XSetForeground(d, gc, colour);
        XFillRectangle(d, pixmap, gc, 0, 0, 2080, 800);
        XFreeGC(d, gc);
        for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
            XChangeProperty(d, root, XInternAtom(d, name, False), XA_PIXMAP, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&pixmap), 1);
        }
        XSetWindowBackgroundPixmap(d, root, pixmap);
        XClearWindow(d, root);
        XSetCloseDownMode(d, RetainPermanent);
        XCloseDisplay(d);
    }

    static inline std::unique_ptr<test::XvfbServer> host, nested;
    fs::path dir;
    std::shared_ptr<SavedBmp> saved;
    std::unique_ptr<X11RootDesktop> desktop;
};

TEST_F(X11RootTwoMonitorsTest, ThePictureGoesOntoThePrimaryMonitorAndTheOtherKeepsItsOwn) {
    constexpr uint32_t kOwn = 0x2040c0;
    OthersPicture(kOwn);
    EXPECT_EQ(desktop->Screen(), (ScreenSize{1280, 800})) << "the week is drawn for the primary monitor";

    // The user's copy is the primary monitor's part of the root.
    desktop->SaveSystemWallpaperCopy(dir);
    EXPECT_EQ(saved->width, 1280);
    EXPECT_EQ(saved->height, 800);
    EXPECT_EQ(saved->pixels.at(0), kOwn);

    for (uint32_t seed : {5u, 6u}) {  // shown twice: the second run starts from our own picture
        desktop->ShowWallpaper(Picture("Weekleaf-Modifed.bmp", seed).string());
        ScreenSize size;
        const PixelRows root = desktop->ReadRootPicture(size);
        ASSERT_EQ(size, (ScreenSize{2080, 800}));
        const auto at = [&](int x, int y) { return root[static_cast<size_t>(y) * size.width + x]; };
        for (auto [x, y] : {std::pair{0, 0}, {1279, 799}, {640, 400}})
            EXPECT_EQ(at(x, y), Pattern(seed, x, y)) << "primary at " << x << "," << y;
        for (auto [x, y] : {std::pair{1280, 0}, {2079, 599}, {1700, 300}})
            EXPECT_EQ(at(x, y), kOwn) << "the other monitor at " << x << "," << y;
    }
}

TEST(X11RootDesktopNoDisplay, UnreachableDisplayThrows) {
    EXPECT_THROW(X11RootDesktop(PictureFiles{}, ":987654"), X11Error);
}

}  // namespace
}  // namespace wl
