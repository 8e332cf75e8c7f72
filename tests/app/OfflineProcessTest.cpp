// The real program on a private X server while its sync service does not answer (the connect
// hangs, as when packets are dropped): the window comes up with the day's text, a person types
// and the text is stored; the program is then killed (kill -9), and the next start, with the
// service reachable again, uploads what was typed before the service hands out its older copy.
// Keys and clicks go through xdotool. Skipped when Xvfb or xdotool is missing or the service is
// not built.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "ProcessSupport.h"
#include "data/DataFiles.h"
#include "data/TSettings.h"
#include "data/TWeekleaf.h"
#include "desktop/XvfbServer.h"
#include "platform/SingleInstance.h"
#include "sync/HangingListener.h"
#include "sync/SyncTestUtil.h"
#include "sync/TSyncLog.h"
#include "sync/TWLSocket.h"

namespace wl {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::WaitUntil;

constexpr const char* kKey = "offline-test-key";

bool Installed(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Another device of the account, talking to the service directly.
struct Device {
    Device(const fs::path& folder, uint16_t port) : store((Write(folder), folder / "Data.json")) {
        socket = std::make_unique<TWLSocket>(
            store, [] { return std::string(kKey); }, [this](std::function<void()> fn) { owner.Post(fn); },
            log, nullptr, "127.0.0.1", port);
        socket->UpgradeToWebsocket();
    }
    static void Write(const fs::path& folder) {
        fs::create_directories(folder);
        std::ofstream(folder / "Data.json") << "{}";
    }
    std::string Get(const std::string& key) {
        return owner.Call([&] { return store.Get(key); });
    }
    TWeekleaf store;
    TSyncLogMemo log;
    test::OwnerThread owner;
    std::unique_ptr<TWLSocket> socket;  // last: goes first
};

class OfflineProcessTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (test::XvfbServer::Installed()) server = std::make_unique<test::XvfbServer>("1280x800x24");
    }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        if (!server || server->Display().empty()) GTEST_SKIP() << "Xvfb is not available";
        if (!Installed("xdotool")) GTEST_SKIP() << "xdotool is missing";
        if (std::string(WL_SYNC_SERVER).empty()) GTEST_SKIP() << "weekleaf-sync is not built";
        ::setenv("DISPLAY", server->Display().c_str(), 1);
        ::unsetenv("QT_QPA_PLATFORM");
        ::unsetenv("XDG_CURRENT_DESKTOP");
        ::unsetenv("WAYLAND_DISPLAY");
        root = fs::temp_directory_path() / ("wl-offline-" + std::to_string(::getpid()));
        test::MakeDataFolder(root);
        TSettings settings(Folder() / "Config.ini");
        settings.SetHideOnStart(false);
        settings.SetUseHotKey(false);
        settings.SetShowBloks(false);
        settings.SetKey(kKey);
    }
    void TearDown() override {
        device.reset();
        for (pid_t p : pids) test::StopGroup(p);
        if (!root.empty() && !HasFailure()) fs::remove_all(root);
    }
    fs::path Folder() const { return root / "Weekleaf"; }
    std::string Stored(const std::string& key) const { return TWeekleaf(Folder() / "Data.json").Get(key); }
    std::string Read(const fs::path& p) const {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    pid_t Start(const std::vector<std::string>& args, const std::string& log) {
        const pid_t pid = test::Spawn(args, root / log);
        pids.push_back(pid);
        return pid;
    }

    static inline std::unique_ptr<test::XvfbServer> server;
    fs::path root;
    std::vector<pid_t> pids;
    std::unique_ptr<Device> device;
};

TEST_F(OfflineProcessTest, TypingWorksWhileTheServiceHangsAndSurvivesAKillUntilTheServiceIsBack) {
    const std::string today = DateToStr(Today());
    {
        TWeekleaf store(Folder() / "Data.json");
        store.Set(today, "stored before");
        store.SaveJSON();
    }
    test::HangingListener hanging(test::HangingListener::Hang::Connect);
    if (!hanging.Hangs) GTEST_SKIP() << "the kernel completes connects to a full accept queue";
    TSettings(Folder() / "Config.ini").SetSyncPort(hanging.Port);

    const auto started = std::chrono::steady_clock::now();
    const pid_t first = Start({WL_WEEKLEAF}, "weekleaf.log");
    ASSERT_TRUE(WaitUntil([] { return FindInstanceWindow() != 0; }, 30s)) << "no window";
    const auto shownMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
            .count();
    std::cout << "[ figures ] window of the real program up " << shownMs << " ms after the start\n";
    std::this_thread::sleep_for(1500ms);  // the day page loads its text

    // A click at the end of the day's text, then typing, as a person does.
    const std::string click = "xdotool search --name '^Weekleaf$' mousemove --window %1 580 300 click 1";
    ASSERT_EQ(std::system(click.c_str()), 0);
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(std::system("xdotool key ctrl+End && xdotool type --delay 20 ' typed offline'"), 0);
    EXPECT_TRUE(WaitUntil([&] { return Stored(today).find("typed offline") != std::string::npos; }, 8s))
        << "Data.json holds: " << Stored(today);
    const std::string typed = Stored(today);
    EXPECT_EQ(typed.rfind("stored before", 0), 0u) << typed;
    EXPECT_NE(Read(Folder() / "Unposted.json").find(today), std::string::npos);

    test::StopGroup(first);  // kill -9, while the service still hangs
    pids.clear();

    // The service is back, holding an older text of the day from another device.
    const uint16_t port = test::FreePort();
    Start({WL_SYNC_SERVER, "--listen", "127.0.0.1:" + std::to_string(port), "--db",
           (root / "sync.db").string()},
          "server.log");
    ASSERT_TRUE(WaitUntil([&] { return test::PortOpen(port); }, 10s));
    device = std::make_unique<Device>(root / "other", port);
    device->socket->SetDay(Today(), "old text on the service");
    std::this_thread::sleep_for(500ms);
    TSettings(Folder() / "Config.ini").SetSyncPort(port);

    Start({WL_WEEKLEAF}, "weekleaf.log");
    ASSERT_TRUE(
        WaitUntil([&] { return Read(Folder() / "Unposted.json").find(today) == std::string::npos; }, 20s));
    std::this_thread::sleep_for(3000ms);  // the service's copy of the week has come and been applied
    EXPECT_EQ(Stored(today), typed);
    device->socket->GetCurrentWeek();
    EXPECT_TRUE(WaitUntil([&] { return device->Get(today) == typed; }, 5s)) << device->Get(today);
}

}  // namespace
}  // namespace wl
