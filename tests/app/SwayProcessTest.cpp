// The real program in a sway session (a private headless sway, no X display at all): the week is
// drawn where the user sees it, on the output, and leaving puts the user's own picture back.
// The program runs as the compositor's user, as it does on a real desktop (sway refuses root,
// so a root caller runs both as user 65534).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>

#include "../desktop/SwaySession.h"
#include "ProcessSupport.h"
#include "data/DataFiles.h"
#include "data/Json.h"
#include "data/TSettings.h"
#include "data/TWeekleaf.h"
#include "platform/DateText.h"
#include "platform/Desktop.h"
#include "platform/SwayIpc.h"
#include "wallpaper/Blender.h"
#include "wallpaper/ImageCodecs.h"

namespace wl {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ScreenShot;

constexpr uint32_t kOwn = 0x2a6fb0;
constexpr uid_t kUser = 65534;

// The share of a grid of points over the output where `same(x, y)` holds. The border is left out:
// swaybg's smooth stretching of a small picture blends its edge pixels with black.
template <class Same>
double ShareOfPoints(const ScreenShot& shot, Same same) {
    int hits = 0, all = 0;
    for (int y = 40; y < shot.height - 40; y += 27) {
        for (int x = 40; x < shot.width - 40; x += 31, ++all) hits += same(x, y) ? 1 : 0;
    }
    return all ? double(hits) / all : 0;
}

class SwayProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::SwaySession::Installed()) GTEST_SKIP() << "sway, swaybg or grim is not installed";
        root = fs::temp_directory_path() / ("wl-sway-proc-" + std::to_string(::getpid()));
        test::MakeDataFolder(root / "home");
        ::setenv("XDG_CACHE_HOME", (root / "home" / "cache").c_str(), 1);
        TSettings settings(Folder() / "Config.ini");
        settings.SetHideOnStart(true);
        settings.SetUseHotKey(false);
        settings.SetSyncPort(1);  // nothing listens there: the program works offline
        TWeekleaf store(Folder() / "Data.json");
        store.Set("note", "<p>Позвонить маме</p>");
        store.Set(DateToStr(Today()), "<p><b>10:00</b> встреча</p>");
        store.SaveJSON();
        SaveBmp24(Image(64, 40, kOwn), root / "own.bmp");
        MakeEveryoneRead(root);
        if (::geteuid() == 0) Chown(root / "home");

        session = std::make_unique<test::SwaySession>(root / "sway", 1280, 800, (root / "own.bmp").string());
        ASSERT_TRUE(session->Running()) << "sway did not start; see " << session->Log();
        ::setenv("SWAYSOCK", session->Socket().c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", session->RuntimeDir().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::unsetenv("DISPLAY");
        // As in a sway session; the program still runs offscreen (it draws, and the instance
        // channel and the hot keys need no window).
        ::setenv("WAYLAND_DISPLAY", session->WaylandDisplay().c_str(), 1);
        ::unsetenv("XDG_CURRENT_DESKTOP");
        ::unsetenv("SESSION_MANAGER");
    }
    void TearDown() override {
        test::StopGroup(pid);
        session.reset();
        ::unsetenv("SWAYSOCK");
        ::unsetenv("WAYLAND_DISPLAY");
        if (!HasFailure()) fs::remove_all(root);
    }
    fs::path Folder() const { return root / "home" / "Weekleaf"; }

    static void MakeEveryoneRead(const fs::path& top) {
        fs::permissions(top, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
        for (const auto& entry : fs::recursive_directory_iterator(top)) {
            const auto extra = entry.is_directory() ? fs::perms::others_read | fs::perms::others_exec
                                                    : fs::perms::others_read;
            fs::permissions(entry.path(), extra, fs::perm_options::add);
        }
    }
    static void Chown(const fs::path& top) {
        ASSERT_EQ(::chown(top.c_str(), kUser, kUser), 0);
        for (const auto& entry : fs::recursive_directory_iterator(top))
            ASSERT_EQ(::lchown(entry.path().c_str(), kUser, kUser), 0);
    }

    // The program as the compositor's user; `option` for a second start.
    pid_t Start(const std::string& option = "--hidden") {  // hidden: the desktop alone, for the picture
        std::vector<std::string> args{WL_WEEKLEAF, option};
        if (::geteuid() == 0) {
            const std::string id = std::to_string(kUser);
            args.insert(args.begin(), {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"});
        }
        return test::Spawn(args, root / "weekleaf.log");
    }

    // The drawn picture is on the output pixel for pixel, and it holds the blocks.
    bool WeekShown(std::chrono::milliseconds limit = 40s) {
        const fs::path drawn = Folder() / "Weekleaf-Modifed.bmp";
        return session->WaitForShot(
            [&](const ScreenShot& shot) {
                Image week;
                try {
                    week = LoadImageFile(drawn);
                } catch (const std::exception&) {
                    return false;
                }
                if (week.width != shot.width || week.height != shot.height) return false;
                const double same =
                    ShareOfPoints(shot, [&](int x, int y) { return shot.At(x, y) == week.at(x, y); });
                const double blocks =
                    ShareOfPoints(shot, [&](int x, int y) { return shot.At(x, y) != kOwn; });
                return same > 0.99 && blocks > 0.2;
            },
            limit);
    }
    bool OwnShown(std::chrono::milliseconds limit = 5s) {
        return session->WaitForShot(
            [](const ScreenShot& s) {
                return ShareOfPoints(s, [&](int x, int y) { return s.At(x, y) == kOwn; }) > 0.99;
            },
            limit);
    }
    void PressCtrl(char key) { Type("-M ctrl -k " + std::string(1, key) + " -m ctrl"); }
    // wtype's arguments, run in the session (a key or a text for whatever has the focus).
    void Type(const std::string& what) {
        const std::string command = "WAYLAND_DISPLAY=" + session->WaylandDisplay() +
                                    " XDG_RUNTIME_DIR=" + session->RuntimeDir().string() + " wtype -s 100 " +
                                    what;
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    // A left click at a point of the output, through a virtual pointer (a headless sway has none).
    void Click(int x, int y, int width, int height) {
#ifdef WL_SWAY_CLICK
        const std::string command = "WAYLAND_DISPLAY=" + session->WaylandDisplay() +
                                    " XDG_RUNTIME_DIR=" + session->RuntimeDir().string() +
                                    " " WL_SWAY_CLICK " " + std::to_string(x) + " " + std::to_string(y) +
                                    " " + std::to_string(width) + " " + std::to_string(height);
        ASSERT_EQ(std::system(command.c_str()), 0);
#else
        (void)x, (void)y, (void)width, (void)height;
        GTEST_SKIP() << "built without the click helper (libwayland-client)";
#endif
    }

    // The window of the program with this title in sway's tree; empty when none is mapped.
    struct SwayWindow {
        bool found = false, focused = false;
        long long fullscreen = 0;
        MonitorRect rect;
    };
    SwayWindow FindWindow(const std::string& title) const {
        constexpr auto kGetTree = static_cast<SwayMessage>(4);
        SwayWindow out;
        std::function<void(const JsonValue&)> walk = [&](const JsonValue& node) {
            if (node.GetString("name") == title) {
                out.found = true;
                const JsonValue* focused = node.Find("focused");
                const JsonValue* mode = node.Find("fullscreen_mode");
                out.focused = focused && focused->AsBool();
                out.fullscreen = mode ? mode->AsInt() : 0;
                if (const JsonValue* r = node.Find("rect")) {
                    auto at = [r](const char* k) { return r->Find(k) ? int(r->Find(k)->AsInt()) : -1; };
                    out.rect = {at("x"), at("y"), at("width"), at("height")};
                }
            }
            for (const char* list : {"nodes", "floating_nodes"}) {
                if (const JsonValue* children = node.Find(list))
                    for (const JsonValue& child : children->Items()) walk(child);
            }
        };
        try {
            walk(ParseJson(SwayRequest(session->Socket(), kGetTree, "")));
        } catch (const std::exception&) {
        }
        return out;
    }

    fs::path root;
    std::unique_ptr<test::SwaySession> session;
    pid_t pid = 0;
};

TEST_F(SwayProcessTest, TheWeekIsDrawnOnTheOutputAndLeavingPutsTheUsersPictureBack) {
    ASSERT_TRUE(OwnShown());
    pid = Start();
    EXPECT_TRUE(WeekShown()) << "the drawn week is not on the output";

    ::kill(pid, SIGTERM);
    EXPECT_EQ(test::WaitExit(pid, 20s), 0);
    EXPECT_TRUE(OwnShown()) << "the user's picture did not come back";
}

// sway runs a command for a key whatever has focus: the key reaches the running program over the
// instance channel, as a second start with a show option does; nothing of the program is on
// screen meanwhile (it runs offscreen), so no window of its own has focus.
TEST_F(SwayProcessTest, AHotKeyAndASecondStartReachTheRunningProgram) {
    if (std::system("command -v wtype >/dev/null 2>&1") != 0) GTEST_SKIP() << "wtype is not installed";
    {
        TSettings settings(Folder() / "Config.ini");
        settings.SetUseHotKey(true);
        settings.SetHotKeyBlock(U'i');
    }
    if (::geteuid() == 0) Chown(root / "home");
    ASSERT_TRUE(OwnShown());
    pid = Start();
    ASSERT_TRUE(WeekShown());

    PressCtrl('i');  // blocks off: the user's picture comes back
    EXPECT_TRUE(OwnShown(10s)) << "Ctrl+I did not reach the program";

    // A Config.ini the user made read-only keeps the choice from being stored, nothing more.
    fs::permissions(Folder() / "Config.ini",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const pid_t second = Start("--toggle-blocks");  // blocks on again
    EXPECT_EQ(test::WaitExit(second, 20s), 0) << "the second start did not hand over and end";
    EXPECT_TRUE(WeekShown(20s)) << "--toggle-blocks did not reach the program";
    EXPECT_TRUE(test::Alive(pid));

    ::kill(pid, SIGTERM);
    EXPECT_EQ(test::WaitExit(pid, 20s), 0);
}

// sway places no window where a program asks: the desktop editor is one full-screen window of the
// program running natively, which paints the drawn week, with the block editors on the drawn
// blocks and the bar at its place. It opens from a second start (as sway's binding of the editor
// key runs it), takes the keyboard, stores what is typed, and Esc ends it.
TEST_F(SwayProcessTest, TheWeekEditorIsOneFullScreenWindowWithTheBlocksOnTheDrawnOnes) {
    if (std::system("command -v wtype >/dev/null 2>&1") != 0) GTEST_SKIP() << "wtype is not installed";
    constexpr int kWidth = 1280, kHeight = 800;
    ::unsetenv("QT_QPA_PLATFORM");  // the program's own choice: natively on sway
    ASSERT_TRUE(OwnShown());
    pid = Start();
    // Natively there is no tray here, so the main window shows over the week: wait for the drawing.
    const fs::path drawn = Folder() / "Weekleaf-Modifed.bmp";
    ASSERT_TRUE(test::WaitUntil([&] { return fs::exists(drawn); }, 40s));

    // As sway's binding starts it: the token rides along with the request.
    ::setenv("XDG_ACTIVATION_TOKEN", "token-of-the-key", 1);
    const pid_t second = Start("--week-editor");
    ::unsetenv("XDG_ACTIVATION_TOKEN");
    EXPECT_EQ(test::WaitExit(second, 20s), 0);
    SwayWindow editor;
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            editor = FindWindow("Weekleaf Editor");
            return editor.found && editor.focused && editor.rect.width == kWidth;
        },
        30s))
        << "no focused full-screen editor window; see " << (root / "weekleaf.log");
    EXPECT_EQ(editor.rect, (MonitorRect{0, 0, kWidth, kHeight}));
    EXPECT_EQ(editor.fullscreen, 1);
    EXPECT_FALSE(FindWindow("Weekleaf Bar").found)
        << "the bar is a window of its own, not part of the editor";

    const Image week = LoadImageFile(drawn);
    ASSERT_EQ(week.width, kWidth);
    // Each block editor sits on its drawn block: its header's colour just inside the block's
    // corners, the drawn week just outside them (blocks are 30 pixels apart).
    const BlockRects blocks = CalcBlockRects(kHeight - 100 - 150, kWidth - 240 - 120);
    const auto onBlocks = [&](const ScreenShot& shot) {
        for (int i = 0; i < 8; ++i) {
            const BlockRect& b = blocks[i];
            const uint32_t header = i >= 6 ? 0xFFCC99 : 0x19AE84;
            const struct {
                int x, y;
                bool inside;
            } points[] = {{b.Left + 1, b.Top + 1, true},   {b.Right - 2, b.Top + 1, true},
                          {b.Left - 3, b.Top + 20, false}, {b.Right + 2, b.Top + 20, false},
                          {b.Left + 20, b.Top - 3, false}, {b.Left + 20, b.Bottom + 2, false}};
            for (const auto& p : points) {
                const uint32_t want = p.inside ? header : week.at(p.x, p.y);
                if (shot.At(p.x, p.y) != want) return false;
            }
        }
        return true;
    };
    EXPECT_TRUE(session->WaitForShot(onBlocks, 20s)) << "the block editors are not on the drawn blocks";
    // The bar: its five green panels at the bottom centre, the drawn week between them.
    const int barLeft = (kWidth - 516) / 2, barTop = kHeight - 90 - 50;
    const ScreenShot shot = session->Shot();
    ASSERT_GT(shot.width, 0);
    for (int left : {0, 104, 208, 312, 417})
        EXPECT_EQ(shot.At(barLeft + left + 4, barTop + 4), 0x19AE84u) << "bar panel at " << left;
    EXPECT_EQ(shot.At(barLeft + 96, barTop + 4), week.at(barLeft + 96, barTop + 4));

    // Typing goes into the focused block (the notes block) and is stored.
    Type("Zq7");
    const auto stored = [&] {
        try {
            TWeekleaf store(Folder() / "Data.json");
            return store.Get("note").find("Zq7") != std::string::npos;
        } catch (const std::exception&) {
            return false;
        }
    };
    EXPECT_TRUE(test::WaitUntil(stored, 15s)) << "the typed text was not stored";

    Type("-k Escape");
    EXPECT_TRUE(test::WaitUntil([&] { return !FindWindow("Weekleaf Editor").found; }, 10s))
        << "Esc did not end the editor";
    EXPECT_TRUE(test::Alive(pid));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(test::WaitExit(pid, 20s), 0);
}

// The bar left open when the editing ends: one full-screen window of the drawn week with the bar at
// its place (no window of the bar's own, which sway would put in the middle over other windows);
// a week step there shows the newly drawn week.
TEST_F(SwayProcessTest, TheBarAloneIsOneFullScreenWindowOfTheDrawnWeekThatFollowsAWeekStep) {
    constexpr int kWidth = 1280, kHeight = 800;
    const int barLeft = (kWidth - 516) / 2, barTop = kHeight - 90 - 50;
    ::unsetenv("QT_QPA_PLATFORM");
    pid = Start();
    const fs::path drawn = Folder() / "Weekleaf-Modifed.bmp";
    ASSERT_TRUE(test::WaitUntil([&] { return fs::exists(drawn); }, 40s));
    const pid_t second = Start("--week-editor");
    EXPECT_EQ(test::WaitExit(second, 20s), 0);
    ASSERT_TRUE(test::WaitUntil([&] { return FindWindow("Weekleaf Editor").focused; }, 30s));

    Click(barLeft + 312 + 44, barTop + 30, kWidth, kHeight);  // "Завершить"
    if (HasFatalFailure() || IsSkipped()) return;
    SwayWindow week;
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            week = FindWindow("Weekleaf Week");
            return week.found && !FindWindow("Weekleaf Editor").found;
        },
        20s))
        << "the editing did not end into a full-screen week; see " << (root / "weekleaf.log");
    EXPECT_EQ(week.rect, (MonitorRect{0, 0, kWidth, kHeight}));
    EXPECT_EQ(week.fullscreen, 1);
    EXPECT_FALSE(FindWindow("Weekleaf Bar").found) << "the bar is a window of its own";

    const BlockRects blocks = CalcBlockRects(kHeight - 100 - 150, kWidth - 240 - 120);
    // Every pixel of a block's header row (its date), where a week step changes the picture.
    const auto headersSame = [&](auto at, const Image& picture) {
        for (const BlockRect& b : blocks)
            for (int y = b.Top; y < b.Top + 20; ++y)
                for (int x = b.Left; x < b.Right; ++x)
                    if (at(x, y) != picture.at(x, y)) return false;
        return true;
    };
    const auto onBar = [&](int x, int y) {
        return x >= barLeft && x < barLeft + 516 && y >= barTop && y < barTop + 90;
    };
    // The drawn week everywhere but on the bar, whose five panels are at their place.
    const auto shows = [&](const Image& picture) {
        return [&, picture](const ScreenShot& shot) {
            for (int left : {0, 104, 208, 312, 417})
                if (shot.At(barLeft + left + 4, barTop + 4) != 0x19AE84u) return false;
            return headersSame([&](int x, int y) { return shot.At(x, y); }, picture) &&
                   ShareOfPoints(shot, [&](int x, int y) {
                       return onBar(x, y) || shot.At(x, y) == picture.at(x, y);
                   }) > 0.99;
        };
    };
    const Image before = LoadImageFile(drawn);
    EXPECT_TRUE(session->WaitForShot(shows(before), 10s)) << "the drawn week and the bar are not shown";

    Click(barLeft + 208 + 44, barTop + 30, kWidth, kHeight);  // "Следующая неделя"
    // The next week is drawn (the days' headers carry other dates) and shown.
    Image after;
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            try {
                after = LoadImageFile(drawn);
            } catch (const std::exception&) {
                return false;
            }
            return after.width == kWidth &&
                   !headersSame([&](int x, int y) { return after.at(x, y); }, before);
        },
        20s))
        << "the next week was not drawn";
    EXPECT_TRUE(session->WaitForShot(shows(after), 10s)) << "the full-screen week still shows the old week";

    ::kill(pid, SIGTERM);
    EXPECT_EQ(test::WaitExit(pid, 20s), 0);
}

// With two outputs, the week goes on the focused one, which here is not the first Qt learns of:
// the full-screen editor opens on that output, over the drawn week, not on Qt's primary screen.
TEST_F(SwayProcessTest, WithTwoOutputsTheEditorOpensOnTheOneTheWeekIsDrawnOn) {
    ::unsetenv("QT_QPA_PLATFORM");
    constexpr int kWidth = 1024, kHeight = 768;
    for (const char* command :
         {"create_output", "output HEADLESS-2 mode 1024x768 position 1280 0", "focus output HEADLESS-2"})
        SwayRunCommand(session->Socket(), command);
    pid = Start();
    const fs::path drawn = Folder() / "Weekleaf-Modifed.bmp";
    ASSERT_TRUE(test::WaitUntil([&] { return fs::exists(drawn); }, 40s));
    const Image week = LoadImageFile(drawn);
    ASSERT_EQ(week.width, kWidth) << "the week is not drawn for the focused output";

    const pid_t second = Start("--week-editor");
    EXPECT_EQ(test::WaitExit(second, 20s), 0);
    SwayWindow editor;
    EXPECT_TRUE(test::WaitUntil(
        [&] {
            editor = FindWindow("Weekleaf Editor");
            return editor.found && editor.fullscreen == 1 && editor.rect.width > 0;
        },
        30s))
        << "no full-screen editor window; see " << (root / "weekleaf.log");
    EXPECT_EQ(editor.rect, (MonitorRect{1280, 0, kWidth, kHeight}))
        << "the editor is not on the week's output";
    // The drawn week shows on that output around the blocks (its top-left corner holds none).
    const auto weekThere = [&](const ScreenShot& shot) {
        return shot.width == kWidth && shot.At(20, 20) == week.at(20, 20) &&
               shot.At(kWidth - 20, 60) == week.at(kWidth - 20, 60);
    };
    EXPECT_TRUE(session->WaitForShot(weekThere, 10s, "HEADLESS-2"));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(test::WaitExit(pid, 20s), 0);
}

}  // namespace
}  // namespace wl
