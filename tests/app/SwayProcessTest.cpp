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
#include "data/TSettings.h"
#include "data/TWeekleaf.h"
#include "platform/DateText.h"
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
    void PressCtrl(char key) {
        const std::string command = "WAYLAND_DISPLAY=" + session->WaylandDisplay() +
                                    " XDG_RUNTIME_DIR=" + session->RuntimeDir().string() +
                                    " wtype -s 100 -M ctrl -k " + std::string(1, key) + " -m ctrl";
        ASSERT_EQ(std::system(command.c_str()), 0);
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

}  // namespace
}  // namespace wl
