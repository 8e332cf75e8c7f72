// The real program on a private X server (Xvfb): a second instance replaces the first, the week
// blocks reach the root window, and SIGTERM (how a session's end reaches the program) runs the
// exit path, which puts WppOld.bmp back. Skipped when Xvfb is not installed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "data/DataFiles.h"
#include "data/TSettings.h"
#include "data/TWeekleaf.h"
#include "platform/SingleInstance.h"
#include "wallpaper/ImageCodecs.h"
#include "wallpaper/TWallPaper.h"

namespace wl {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

pid_t Spawn(const std::vector<std::string>& args, const fs::path& log) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::setpgid(0, 0);
    FILE* out = std::fopen(log.c_str(), "a");
    if (out) {
        ::dup2(::fileno(out), 1);
        ::dup2(::fileno(out), 2);
    }
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    std::_Exit(127);
}

bool Alive(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == 0;
}

// Waits for the process to end; its exit status, or -1 when it is still running after `limit`.
int WaitExit(pid_t pid, std::chrono::milliseconds limit) {
    int status = 0;
    const bool ended = WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, limit);
    if (!ended) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void Stop(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// The program and the browser processes it started (it leads its own process group).
void StopGroup(pid_t pid) {
    if (pid <= 0) return;
    ::kill(-pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

class ProcessTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (::access("/usr/bin/Xvfb", X_OK) != 0) return;
        int fds[2];
        if (::pipe(fds) != 0) return;
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            ::execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x800x24",
                    "-nolisten", "tcp",
                    // Without it the server resets when its last client leaves and, writing its
                    // display number to the closed pipe again, dies between two test steps.
                    "-noreset", static_cast<char*>(nullptr));
            std::_Exit(127);
        }
        ::close(fds[1]);
        char buf[16] = {};
        const auto n = ::read(fds[0], buf, sizeof buf - 1);
        ::close(fds[0]);
        if (n <= 0) {
            Stop(pid);
            return;
        }
        gXvfb = pid;
        gDisplay = ":" + std::to_string(std::atoi(buf));
    }
    static void TearDownTestSuite() {
        Stop(gXvfb);
        gXvfb = 0;
    }

    void SetUp() override {
        if (gDisplay.empty()) GTEST_SKIP() << "Xvfb is not available";
        ::setenv("DISPLAY", gDisplay.c_str(), 1);
        ::unsetenv("XDG_CURRENT_DESKTOP");
        ::unsetenv("WAYLAND_DISPLAY");
        root = fs::temp_directory_path() / ("wl-proc-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
        ::setenv("AppData", root.c_str(), 1);
        bool first = false;
        CheckFiles(first);
        TSettings settings(Folder() / "Config.ini");
        settings.SetHideOnStart(false);
        settings.SetUseHotKey(false);
        settings.SetSyncPort(1);  // nothing listens there: the program works offline
    }
    void TearDown() override {
        for (pid_t p : pids) StopGroup(p);
        if (!root.empty() && !HasFailure()) fs::remove_all(root);
    }
    fs::path Folder() const { return root / "Weekleaf"; }

    pid_t Start(const std::string& arg = {}) {
        std::vector<std::string> args{WL_WEEKLEAF};
        if (!arg.empty()) args.push_back(arg);
        const pid_t pid = Spawn(args, root / "weekleaf.log");
        pids.push_back(pid);
        return pid;
    }

    static inline pid_t gXvfb = 0;
    static inline std::string gDisplay;
    fs::path root;
    std::vector<pid_t> pids;
};

TEST_F(ProcessTest, ASecondInstanceReplacesTheFirst) {
    const pid_t first = Start();
    ASSERT_TRUE(WaitUntil([] { return FindInstanceWindow() != 0; }, 20s)) << "no window of class TfmMain";
    const unsigned long firstWindow = FindInstanceWindow();
    const pid_t second = Start();
    EXPECT_EQ(WaitExit(first, 20s), 0) << "the older instance did not end";
    ASSERT_TRUE(
        WaitUntil([&] { return FindInstanceWindow() != 0 && FindInstanceWindow() != firstWindow; }, 20s));
    EXPECT_TRUE(Alive(second));
}

TEST_F(ProcessTest, OnlyTheExactRegArgumentWaitsTenSecondsBeforeTheWindowAppears) {
    const pid_t other = Start("/REG");  // differs in letter case: no wait
    EXPECT_TRUE(WaitUntil([] { return FindInstanceWindow() != 0; }, 8s));
    StopGroup(other);
    ASSERT_TRUE(WaitUntil([] { return FindInstanceWindow() == 0; }, 5s));

    const auto t0 = std::chrono::steady_clock::now();
    Start("/reg");
    ASSERT_TRUE(WaitUntil([] { return FindInstanceWindow() != 0; }, 30s));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 10s);
}

TEST_F(ProcessTest, TheBlocksReachTheRootWindowAndSigtermRestoresTheUsersWallpaper) {
    SaveBmp24(Image(320, 200, 0x2a6fb0), Folder() / "Wpp" / "own.bmp");
    TSettings(Folder() / "Config.ini").SetHideOnStart(true);  // the desktop alone, for the picture
    {
        TWeekleaf store(Folder() / "Data.json");
        store.Set("note", "<p>Позвонить маме</p><ul><li>купить подарок</li></ul>");
        store.Set(DateToStr(Today()), "<p><b>10:00</b> встреча</p><p>отчёт</p>");
        store.SaveJSON();
    }
    auto desktop = MakeDesktop();
    desktop->ShowWallpaper((Folder() / "Wpp" / "own.bmp").string());
    const pid_t pid = Start();
    const fs::path drawn = Folder() / "Weekleaf-Modifed.bmp";
    ASSERT_TRUE(WaitUntil(
        [&] { return fs::exists(drawn) && desktop->CurrentWallpaperFile() == drawn.string(); }, 30s))
        << "shown: " << desktop->CurrentWallpaperFile();
    fs::create_directories(WL_APP_SHOT_DIR);
    const std::string shot =
        std::string("import -window root -resize 640x400 ") + WL_APP_SHOT_DIR + "/desktop.png";
    if (::system("command -v import >/dev/null") == 0) {
        EXPECT_EQ(::system(shot.c_str()), 0);
    }

    ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitExit(pid, 20s), 0);
    EXPECT_EQ(fs::path(desktop->CurrentWallpaperFile()).filename(), "WppOld.bmp");
}

}  // namespace
}  // namespace wl
