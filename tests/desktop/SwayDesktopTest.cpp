// The sway backend: the command it sends, what it reads from swaybg's command line and sway's
// output list, and against a real headless sway the picture that reaches the output, the user's
// picture backed up and put back, a session without a picture getting its own background back, and
// a scaled output getting the week at its own pixels.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "SwaySession.h"
#include "platform/DataDir.h"
#include "platform/SwayDesktop.h"
#include "platform/SwayIpc.h"
#include "wallpaper/Drawing.h"
#include "wallpaper/ImageCodecs.h"
#include "wallpaper/TWallPaper.h"

namespace wl {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct CommandCase {
    const char* file;
    const char* command;  // nullptr: refused
};

TEST(SwayDesktopCommands, APictureIsQuotedAndANameThatCouldEndTheArgumentIsRefused) {
    const CommandCase cases[] = {
        {"/home/u/.local/share/Weekleaf/Weekleaf-Modifed.bmp",
         "output \"DP-1\" bg \"/home/u/.local/share/Weekleaf/Weekleaf-Modifed.bmp\" stretch"},
        {"/home/u/Мои рисунки/a; exec rm, b.png",
         "output \"DP-1\" bg \"/home/u/Мои рисунки/a; exec rm, b.png\" stretch"},
        {"/tmp/a\"; exec xterm; \".png", nullptr},
        {"/tmp/a\\\".png", nullptr},
        {"/tmp/a\nexec xterm", nullptr},
    };
    for (const auto& c : cases) {
        if (c.command) {
            EXPECT_EQ(SwayDesktop::ShowCommand("DP-1", c.file), c.command);
        } else {
            EXPECT_THROW(SwayDesktop::ShowCommand("DP-1", c.file), std::invalid_argument) << c.file;
        }
    }
}

TEST(SwayDesktopCommands, ThePictureShownOnAnOutputIsReadFromSwaybgsCommandLine) {
    const std::vector<std::string> both{"swaybg", "-o",   "*",       "-i",       "/all.png", "-m",     "fill",
                                        "-o",     "DP-2", "--image", "/b b.jpg", "-m",       "stretch"};
    const std::tuple<std::vector<std::string>, std::string, std::string> cases[] = {
        {both, "DP-2", "/b b.jpg"},  // its own picture wins over every output's
        {both, "DP-1", "/all.png"},
        {{"swaybg", "-o", "DP-1", "-i", "/one.png", "-m", "fill"}, "DP-2", ""},
        {{"swaybg", "-o", "*", "-c", "#333333"}, "DP-1", ""},
        {{"swaybg", "-o", "DP-1", "-i"}, "DP-1", ""},
        {{}, "DP-1", ""},
    };
    for (const auto& [argv, output, picture] : cases)
        EXPECT_EQ(SwayDesktop::PictureOfSwaybg(argv, output), picture) << output;
}

// The output's mode is the picture's size, and its scale how many of those pixels make one of the
// week's layout.
TEST(SwayDesktopCommands, ThePrimaryOutputIsTheFocusedActiveOne) {
    const std::tuple<std::string, std::string, int, int, double> cases[] = {
        {R"([{"name": "HEADLESS-1", "active": true, "current_mode": {"width": 1920, "height": 1080},
              "focused": true}])",
         "HEADLESS-1", 1920, 1080, 1.0},
        {R"([{"name": "DP-1", "active": true, "current_mode": {"width": 1920, "height": 1080}, "focused": false},
             {"name": "DP-2", "active": true, "rect": {"x": 1920, "y": 0, "width": 1280, "height": 512},
              "scale_filter": "nearest", "scale": 2.0, "current_mode": {"width": 2560, "height": 1024,
              "refresh": 60000}, "focused": true}])",
         "DP-2", 2560, 1024, 2.0},
        {R"([{"name": "DP-1", "active": true, "scale": 2.0, "current_mode": {"width": 1920, "height": 1080}},
             {"name": "DP-2", "active": true, "scale": 1.5, "current_mode": {"width": 2880, "height": 1620},
              "focused": true}])",
         "DP-2", 2880, 1620, 1.5},
        {R"([{"name": "DP-1", "active": false, "modes": [], "focused": true, "scale": -1},
             {"name": "DP-2", "active": true, "current_mode": {"width": 1280, "height": 1024}, "focused": false}])",
         "DP-2", 1280, 1024, 1.0},
        {R"([{"name": "DP-3", "active": true, "scale": "x", "current_mode": {"width": 800, "height": 600}}])",
         "DP-3", 800, 600, 1.0},
        {R"([{"name": "DP-1", "current_mode": {"width": 0, "height": 0}}])", "", 0, 0, 1.0},
        {"not json at all", "", 0, 0, 1.0},
        {"", "", 0, 0, 1.0},
    };
    for (const auto& [answer, name, width, height, scale] : cases) {
        const SwayOutput output = PrimaryOutput(answer);
        EXPECT_EQ(output.name, name) << answer;
        EXPECT_EQ(std::make_pair(output.width, output.height), std::make_pair(width, height)) << answer;
        EXPECT_EQ(output.scale, scale) << answer;
    }
}

TEST(SwayDesktopCommands, NoCompositorOnTheSocketIsAnError) {
    EXPECT_THROW(SwayDesktop("/nonexistent/sway-ipc.sock"), std::runtime_error);
    EXPECT_THROW(SwayDesktop(""), std::runtime_error);
}

// ---- against a real headless sway ---------------------------------------------------------------

constexpr uint32_t kGreen = 0x20a040, kRed = 0xc02020, kBlue = 0x2040c0;

class SwayDesktopSession : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::SwaySession::Installed()) GTEST_SKIP() << "sway, swaybg or grim is not installed";
        // Short: the compositor's sockets live below it, and a socket path has at most 107 bytes.
        static int run = 0;
        root = fs::temp_directory_path() /
               ("wl-sway-" + std::to_string(::getpid()) + "-" + std::to_string(++run));
        fs::remove_all(root);
        fs::create_directories(root);
        fs::permissions(root, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec |
                                  fs::perms::group_read | fs::perms::group_exec);
    }
    void TearDown() override {
        session.reset();
        std::error_code error;
        fs::remove_all(root, error);
    }

    // Starts the compositor, showing the user's own green picture unless `bare`.
    void Start(bool bare = false) {
        const fs::path own = Picture("own.bmp", kGreen);
        session = std::make_unique<test::SwaySession>(root / "sway", 640, 400, bare ? "" : own.string());
        ASSERT_TRUE(session->Running()) << "sway did not start; see " << session->Log();
    }
    fs::path Picture(const std::string& name, uint32_t colour) {
        const fs::path file = root / name;
        SaveBmp24(Image(32, 32, colour), file);
        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read |
                                  fs::perms::group_read);
        return file;
    }
    bool Shows(uint32_t colour) {
        return session->WaitForShot([&](const test::ScreenShot& s) { return s.At(320, 200) == colour; }, 5s);
    }
    uint32_t Centre() { return session->Shot().At(320, 200); }
    // swaybg is started anew for every picture, a moment after sway answers.
    static bool WaitUntilCurrent(SwayDesktop& desktop, const fs::path& file) {
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (desktop.CurrentWallpaperFile() != file.string()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(50ms);
        }
        return true;
    }

    fs::path root;
    std::unique_ptr<test::SwaySession> session;
};

TEST_F(SwayDesktopSession, ThePictureReachesTheOutputAndARewrittenFileShowsAgain) {
    Start();
    ASSERT_TRUE(Shows(kGreen));
    SwayDesktop desktop(session->Socket());
    EXPECT_EQ(desktop.Screen(), (ScreenSize{640, 400}));
    EXPECT_EQ(desktop.CurrentWallpaperFile(), (root / "own.bmp").string());

    const fs::path drawn = Picture("Weekleaf-Modifed.bmp", kRed);
    desktop.ShowWallpaper(drawn.string());
    EXPECT_TRUE(Shows(kRed));
    EXPECT_TRUE(WaitUntilCurrent(desktop, drawn));

    Picture("Weekleaf-Modifed.bmp", kBlue);
    desktop.ShowWallpaper(drawn.string());
    EXPECT_TRUE(Shows(kBlue)) << "the rewritten file under the same name was not shown again";
}

TEST_F(SwayDesktopSession, AFileSwayCannotShowIsAnErrorAndThePictureStays) {
    Start();
    ASSERT_TRUE(Shows(kGreen));
    SwayDesktop desktop(session->Socket());
    EXPECT_THROW(desktop.ShowWallpaper((root / "missing.bmp").string()), std::runtime_error);
    EXPECT_THROW(desktop.ShowWallpaper((root / "a\"b.bmp").string()), std::exception);
    EXPECT_EQ(Centre(), kGreen);
    EXPECT_EQ(desktop.CurrentWallpaperFile(), (root / "own.bmp").string());
}

TEST_F(SwayDesktopSession, TheUsersPictureIsBackedUpAndPutBack) {
    Start();
    ASSERT_TRUE(Shows(kGreen));
    SwayDesktop desktop(session->Socket());
    const fs::path library = root / "Wpp";
    fs::create_directories(library);
    EXPECT_EQ(desktop.SystemWallpaperCopyName(), "own.bmp");
    const fs::path copy = desktop.SaveSystemWallpaperCopy(library);
    EXPECT_EQ(copy, library / "own.bmp");
    // The copy is private to its writer; the compositor runs as another user only in this test.
    fs::permissions(copy, fs::perms::others_read, fs::perm_options::add);

    desktop.ShowWallpaper(Picture("Weekleaf-Modifed.bmp", kRed).string());
    ASSERT_TRUE(Shows(kRed));
    desktop.ShowWallpaper(copy.string());
    EXPECT_TRUE(Shows(kGreen));
}

TEST_F(SwayDesktopSession, ASessionWithoutAPictureGetsItsOwnBackgroundBack) {
    Start(/*bare=*/true);
    SwayDesktop desktop(session->Socket());
    const uint32_t own = Centre();
    EXPECT_THROW(desktop.SaveSystemWallpaperCopy(root), std::runtime_error) << "there is nothing to copy";
    desktop.ShowWallpaper(Picture("Weekleaf-Modifed.bmp", kRed).string());
    ASSERT_TRUE(Shows(kRed));
    desktop.ClearWallpaper();
    EXPECT_TRUE(Shows(own));
}

TEST_F(SwayDesktopSession, WithTwoOutputsOnlyTheFocusedOneShowsTheWeek) {
    Start();
    ASSERT_EQ(std::system(("SWAYSOCK=" + session->Socket() + " swaymsg create_output >/dev/null").c_str()),
              0);
    const auto showsOn = [&](const std::string& output, uint32_t colour) {
        return session->WaitForShot([&](const test::ScreenShot& s) { return s.At(100, 100) == colour; }, 5s,
                                    output);
    };
    ASSERT_TRUE(showsOn("HEADLESS-2", kGreen));
    SwayDesktop desktop(session->Socket());
    EXPECT_EQ(desktop.Screen(), (ScreenSize{640, 400})) << "the focused output's size";

    desktop.ShowWallpaper(Picture("Weekleaf-Modifed.bmp", kRed).string());
    EXPECT_TRUE(showsOn("HEADLESS-1", kRed));
    EXPECT_TRUE(showsOn("HEADLESS-2", kGreen)) << "the other output lost its own picture";

    // The user moves to the other output: the week follows.
    const std::string focus = "SWAYSOCK=" + session->Socket() + " swaymsg focus output HEADLESS-2 >/dev/null";
    ASSERT_EQ(std::system(focus.c_str()), 0);
    EXPECT_EQ(desktop.Screen().width, 1920);
    desktop.ShowWallpaper(Picture("Weekleaf-Modifed.bmp", kBlue).string());
    EXPECT_TRUE(showsOn("HEADLESS-2", kBlue));
}

// An output at scale 2: the week handed to swaybg has the output's pixels, with the blocks where the
// logical screen's layout puts them, not a picture of the logical size that sway would enlarge.
TEST_F(SwayDesktopSession, AScaledOutputGetsTheWeekAtItsPixels) {
    Start();
    const std::string scale =
        "SWAYSOCK=" + session->Socket() + " swaymsg output HEADLESS-1 mode 1920x1200 scale 2 >/dev/null";
    ASSERT_EQ(std::system(scale.c_str()), 0);
    SwayDesktop desktop(session->Socket());
    ASSERT_EQ(desktop.Screen(), (ScreenSize{1920, 1200, 2.0}));

    ::setenv("AppData", (root / "data").c_str(), 1);
    const fs::path dir = DataDir();
    fs::create_directories(dir);
    // Readable by the compositor's user: a rewritten file keeps its permission bits.
    const fs::path week = Picture("data/Weekleaf/Weekleaf-Modifed.bmp", kBlue);
    ASSERT_EQ(week, dir / "Weekleaf-Modifed.bmp");
    DrawRequest request;
    request.dataDir = dir;
    request.alpha = 255;
    DrawHTML(request, desktop);
    ::unsetenv("AppData");

    ASSERT_TRUE(WaitUntilCurrent(desktop, week)) << "swaybg shows " << desktop.CurrentWallpaperFile();
    const Image shown = LoadBmpFile(week);
    ASSERT_EQ(shown.width, 1920);
    ASSERT_EQ(shown.height, 1200);
    const BlockRects logical = PictureBlockRects(960, 600);
    for (const int i : {0, 5}) {
        SCOPED_TRACE("block " + std::to_string(i));
        const BlockRect& r = logical[i];
        EXPECT_EQ(shown.at(2 * r.Left, 2 * r.Top), kBlockHeaderColor);
        EXPECT_NE(shown.at(2 * r.Left - 1, 2 * r.Top), kBlockHeaderColor);
        EXPECT_EQ(shown.at(2 * r.Right - 1, 2 * r.Bottom - 1), kBlockBodyColor);
        EXPECT_NE(shown.at(2 * r.Right, 2 * r.Bottom - 1), kBlockBodyColor);
    }
}

TEST_F(SwayDesktopSession, MakeDesktopPicksSwayWhenItsSocketIsKnownEvenWithAnXDisplay) {
    Start();
    ::setenv("SWAYSOCK", session->Socket().c_str(), 1);
    ::setenv("DISPLAY", ":987654", 1);  // Xwayland's root would be the wrong place
    ::unsetenv("XDG_CURRENT_DESKTOP");
    EXPECT_EQ(MakeDesktop()->Name(), "sway");
    ::unsetenv("SWAYSOCK");
    ::unsetenv("DISPLAY");
}

}  // namespace
}  // namespace wl
