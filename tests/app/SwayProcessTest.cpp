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
        ::unsetenv("WAYLAND_DISPLAY");
        ::unsetenv("XDG_CURRENT_DESKTOP");
        ::unsetenv("SESSION_MANAGER");
    }
    void TearDown() override {
        test::StopGroup(pid);
        session.reset();
        ::unsetenv("SWAYSOCK");
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

    void Start() {
        std::vector<std::string> args{WL_WEEKLEAF, "--hidden"};  // the desktop alone, for the picture
        if (::geteuid() == 0) {
            const std::string id = std::to_string(kUser);
            args.insert(args.begin(), {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"});
        }
        pid = test::Spawn(args, root / "weekleaf.log");
    }

    fs::path root;
    std::unique_ptr<test::SwaySession> session;
    pid_t pid = 0;
};

TEST_F(SwayProcessTest, TheWeekIsDrawnOnTheOutputAndLeavingPutsTheUsersPictureBack) {
    ASSERT_TRUE(session->WaitForShot([](const ScreenShot& s) { return s.At(640, 400) == kOwn; }, 5s));
    Start();

    // The drawn picture is on the output pixel for pixel, and it holds the blocks.
    const fs::path drawn = Folder() / "Weekleaf-Modifed.bmp";
    const auto weekShown = [&](const ScreenShot& shot) {
        Image week;
        try {
            week = LoadImageFile(drawn);
        } catch (const std::exception&) {
            return false;
        }
        if (week.width != shot.width || week.height != shot.height) return false;
        const double same = ShareOfPoints(shot, [&](int x, int y) { return shot.At(x, y) == week.at(x, y); });
        const double blocks = ShareOfPoints(shot, [&](int x, int y) { return shot.At(x, y) != kOwn; });
        return same > 0.99 && blocks > 0.2;
    };
    EXPECT_TRUE(session->WaitForShot(weekShown, 40s)) << "the drawn week is not on the output";

    ::kill(pid, SIGTERM);
    EXPECT_EQ(test::WaitExit(pid, 20s), 0);
    const bool own = session->WaitForShot(
        [](const ScreenShot& s) {
            return ShareOfPoints(s, [&](int x, int y) { return s.At(x, y) == kOwn; }) > 0.99;
        },
        5s);
    EXPECT_TRUE(own) << "the user's picture did not come back";
}

}  // namespace
}  // namespace wl
