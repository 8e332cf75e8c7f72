// The real program on a private X server (Xvfb): a second instance replaces the first, the week
// blocks reach the root window, SIGTERM (how a session's end reaches the program) runs the exit
// path, which puts WppOld.bmp back, and every way out ends the program with or without a tray
// (trayer). Skipped when Xvfb is not installed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ProcessSupport.h"
#include "data/DataFiles.h"
#include "data/TSettings.h"
#include "data/TWeekleaf.h"
#include "desktop/XvfbServer.h"
#include "platform/SingleInstance.h"
#include "wallpaper/ImageCodecs.h"
#include "wallpaper/TWallPaper.h"

// Last: Xlib's macros (None, Bool, Status) clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "TestSessionManager.h"

namespace wl {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Alive;
using test::Spawn;
using test::StopGroup;
using test::WaitExit;
using test::WaitUntil;

// ---- what a person would see on the display ----------------------------------------------------

struct XDisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
using XDisplayPtr = std::unique_ptr<Display, XDisplayCloser>;

XDisplayPtr OpenX() {
    const char* name = std::getenv("DISPLAY");
    return XDisplayPtr(name ? XOpenDisplay(name) : nullptr);
}

int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

bool Viewable(Display* d, Window w) {
    XWindowAttributes a{};
    return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
}

bool HasClass(Display* d, Window w, const std::string& resClass) {
    XClassHint hint{};
    if (!XGetClassHint(d, w, &hint)) return false;
    const bool match = hint.res_class && resClass == hint.res_class;
    XFree(hint.res_name);
    XFree(hint.res_class);
    return match;
}

struct ShownWindow {
    Window window;
    bool topLevel;  // a child of the root window (a menu, a dialog), not embedded somewhere
};

void CollectShown(Display* d, Window parent, bool parentIsRoot, const std::string& resClass, int depth,
                  std::vector<ShownWindow>& out) {
    Window root = 0, up = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, parent, &root, &up, &children, &count)) return;
    for (unsigned int i = 0; i < count; ++i) {
        if (HasClass(d, children[i], resClass) && Viewable(d, children[i]))
            out.push_back({children[i], parentIsRoot});
        if (depth > 1) CollectShown(d, children[i], false, resClass, depth - 1, out);
    }
    if (children) XFree(children);
}

// The mapped windows of one X11 class, window managers' frames and tray hosts included.
std::vector<ShownWindow> ShownWindows(const std::string& resClass) {
    std::vector<ShownWindow> out;
    XDisplayPtr d = OpenX();
    if (!d) return out;
    auto* previous = XSetErrorHandler(IgnoreXError);
    CollectShown(d.get(), DefaultRootWindow(d.get()), true, resClass, 4, out);
    XSync(d.get(), False);
    XSetErrorHandler(previous);
    return out;
}

bool MainWindowShown() {
    const unsigned long w = FindInstanceWindow();
    XDisplayPtr d = OpenX();
    return w && d && Viewable(d.get(), w);
}

// Our tray icon: a mapped window of the program's class held by the tray host.
unsigned long TrayIconWindow() {
    for (const ShownWindow& w : ShownWindows("Weekleaf"))
        if (!w.topLevel) return w.window;
    return 0;
}

bool PopupShown() {
    for (const ShownWindow& w : ShownWindows("Weekleaf"))
        if (w.topLevel) return true;
    return false;
}

bool TrayOwned() {
    XDisplayPtr d = OpenX();
    return d && XGetSelectionOwner(d.get(), XInternAtom(d.get(), "_NET_SYSTEM_TRAY_S0", False)) != 0;
}

// A system tray on the test's display (trayer, as a panel in the bottom right corner).
class TrayHost {
  public:
    explicit TrayHost(const fs::path& log) {
        if (::access("/usr/bin/trayer", X_OK) != 0) return;
        FPid = Spawn({"/usr/bin/trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel",
                      "--width", "100", "--heighttype", "pixel", "--height", "24"},
                     log);
        FReady = WaitUntil(TrayOwned, 10s);
    }
    ~TrayHost() {
        StopGroup(FPid);
        WaitUntil([] { return !TrayOwned(); }, 5s);
    }
    bool Ready() const { return FReady; }

  private:
    pid_t FPid = 0;
    bool FReady = false;
};

bool Shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// ---- the suite ------------------------------------------------------------------------------------

class ProcessTest : public ::testing::Test {
  protected:
    // One server for the whole suite; it reads its display number up to the line end, so the
    // server never finds its pipe closed half-way.
    static void SetUpTestSuite() { gXvfb = std::make_unique<test::XvfbServer>("1280x800x24"); }
    static void TearDownTestSuite() { gXvfb.reset(); }

    void SetUp() override {
        if (!gXvfb || gXvfb->Display().empty()) GTEST_SKIP() << "Xvfb is not available";
        // What the program needs, whatever the caller's environment holds: our server, the X11
        // platform plugin (an inherited "offscreen" would open no window at all), no Wayland.
        ::setenv("DISPLAY", gXvfb->Display().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::unsetenv("XDG_CURRENT_DESKTOP");
        ::unsetenv("WAYLAND_DISPLAY");
        ::unsetenv("SESSION_MANAGER");  // the caller's session is none of the program's business
        root = fs::temp_directory_path() / ("wl-proc-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        test::MakeDataFolder(root);
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

    static inline std::unique_ptr<test::XvfbServer> gXvfb;
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

// Another start reaches the running program over the instance channel: a show option is done by
// the running one (which stays), a start by hand replaces it and shows the window even when it was
// in the tray, and a socket file left by a killed instance neither holds a start up nor swallows
// an option: the option then starts the program.
TEST_F(ProcessTest, ShowOptionsReachTheRunningInstanceAndAStartByHandShowsTheWindow) {
    if (::access("/usr/bin/trayer", X_OK) != 0) GTEST_SKIP() << "trayer is not installed";
    TrayHost tray(root / "trayer.log");
    ASSERT_TRUE(tray.Ready()) << "trayer did not take the tray";
    const pid_t first = Start("--hidden");
    ASSERT_TRUE(WaitUntil([] { return TrayIconWindow() != 0; }, 30s)) << "no icon in the tray";
    EXPECT_FALSE(MainWindowShown());
    const auto option = [&](const std::string& name) {
        return WaitExit(Spawn({WL_WEEKLEAF, name}, root / "option.log"), 10s);
    };
    const bool blocks = TSettings(Folder() / "Config.ini").ShowBloks();
    EXPECT_EQ(option("--toggle-blocks"), 0);
    EXPECT_TRUE(WaitUntil([&] { return TSettings(Folder() / "Config.ini").ShowBloks() != blocks; }, 5s));
    EXPECT_EQ(option("--show-window"), 0);
    EXPECT_TRUE(WaitUntil(MainWindowShown, 10s));
    EXPECT_EQ(option("--week-editor"), 0);  // the desktop editing takes the main window's place
    EXPECT_TRUE(WaitUntil([] { return !MainWindowShown(); }, 10s));
    EXPECT_EQ(option("--week-editor"), 0);
    EXPECT_TRUE(Alive(first)) << "an option replaced the running instance";

    // By hand, while the window is in the tray.
    const pid_t second = Start();
    EXPECT_EQ(WaitExit(first, 20s), 0) << "the older instance did not end";
    EXPECT_TRUE(WaitUntil(MainWindowShown, 30s)) << "a start by hand ended with no window";

    // Killed: its socket file stays behind.
    StopGroup(second);
    ASSERT_TRUE(WaitUntil([] { return FindInstanceWindow() == 0; }, 10s));
    const pid_t third = Spawn({WL_WEEKLEAF, "--show-notes"}, root / "weekleaf.log");
    pids.push_back(third);
    ASSERT_TRUE(WaitUntil(MainWindowShown, 30s)) << "the option did not start the program";
    EXPECT_EQ(option("--show-window"), 0);
    EXPECT_TRUE(Alive(third));
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
    {
        TWeekleaf store(Folder() / "Data.json");
        store.Set("note", "<p>Позвонить маме</p><ul><li>купить подарок</li></ul>");
        store.Set(DateToStr(Today()), "<p><b>10:00</b> встреча</p><p>отчёт</p>");
        store.SaveJSON();
    }
    auto desktop = MakeDesktop();
    desktop->ShowWallpaper((Folder() / "Wpp" / "own.bmp").string());
    const pid_t pid = Start("--hidden");  // the desktop alone, for the picture
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

enum class WayOut { Sigterm, LogOff, NewerInstance, ExitItem };

// Every way out ends the program, with the window shown or in the tray, with a tray or without.
// Without a tray a hidden start (--hidden) shows the window (nothing could bring it back otherwise); the
// exit item is reached as a person would, through the tray icon's menu (without a tray, the same
// menu from the header); the log-off comes from a session manager asking the program to save
// itself for a shut-down.
TEST_F(ProcessTest, EveryWayOutEndsTheProgramWhetherTheWindowIsShownOrInTheTray) {
    if (::access("/usr/bin/trayer", X_OK) != 0 || !Shell("command -v xdotool >/dev/null"))
        GTEST_SKIP() << "trayer or xdotool is not installed";
    struct Case {
        const char* name;
        bool tray;
        bool hideOnStart;
        WayOut way;
    };
    const Case cases[] = {
        {"shown, tray, SIGTERM", true, false, WayOut::Sigterm},
        {"shown, tray, newer instance", true, false, WayOut::NewerInstance},
        {"shown, tray, log-off", true, false, WayOut::LogOff},
        {"in the tray, SIGTERM", true, true, WayOut::Sigterm},
        {"in the tray, log-off", true, true, WayOut::LogOff},
        {"in the tray, newer instance", true, true, WayOut::NewerInstance},
        {"in the tray, exit item", true, true, WayOut::ExitItem},
        {"shown, no tray, SIGTERM", false, false, WayOut::Sigterm},
        {"shown, no tray, newer instance", false, false, WayOut::NewerInstance},
        {"shown, no tray, log-off", false, false, WayOut::LogOff},
        {"shown, no tray, exit item", false, false, WayOut::ExitItem},
        {"hidden start, no tray, SIGTERM", false, true, WayOut::Sigterm},
        {"hidden start, no tray, newer instance", false, true, WayOut::NewerInstance},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<TrayHost> tray;
        if (c.tray) {
            tray = std::make_unique<TrayHost>(root / "trayer.log");
            ASSERT_TRUE(tray->Ready()) << "trayer did not take the tray";
        }
        std::unique_ptr<test::TestSessionManager> session;
        if (c.way == WayOut::LogOff) {
            session = std::make_unique<test::TestSessionManager>((root / "ICEauthority").string());
            ASSERT_TRUE(session->Ready()) << "no session manager";
        }
        const pid_t pid = Start(c.hideOnStart ? "--hidden" : "");
        ASSERT_TRUE(WaitUntil([] { return FindInstanceWindow() != 0; }, 30s)) << "no window of class TfmMain";
        const bool inTray = c.tray && c.hideOnStart;
        if (inTray) {
            ASSERT_TRUE(WaitUntil([] { return TrayIconWindow() != 0; }, 10s)) << "no icon in the tray";
            EXPECT_FALSE(MainWindowShown());
        } else {
            EXPECT_TRUE(WaitUntil(MainWindowShown, 10s)) << "the window did not show";
        }

        pid_t newer = 0;
        switch (c.way) {
            case WayOut::Sigterm:
                ::kill(pid, SIGTERM);
                break;
            case WayOut::LogOff:
                ASSERT_TRUE(WaitUntil([&] { return session->Clients() > 0; }, 10s))
                    << "never joined the session";
                session->LogOff();
                break;
            case WayOut::NewerInstance:
                newer = Start();
                break;
            case WayOut::ExitItem: {
                // The tray icon's menu; without a tray the same menu opens from the header.
                const std::string target = inTray ? std::to_string(TrayIconWindow()) + " 8 8"
                                                  : std::to_string(FindInstanceWindow()) + " 300 12";
                ASSERT_TRUE(Shell("xdotool mousemove --window " + target + " click 3"));
                ASSERT_TRUE(WaitUntil(PopupShown, 5s)) << "the tray menu did not open";
                ASSERT_TRUE(Shell("xdotool key Up Return"));  // the last item: "Выход"
                break;
            }
        }
        EXPECT_EQ(WaitExit(pid, 20s), 0) << "the program is still running";
        StopGroup(pid);
        if (newer) {
            EXPECT_TRUE(WaitUntil([] { return FindInstanceWindow() != 0; }, 30s)) << "the newer one stopped";
            EXPECT_TRUE(Alive(newer));
            StopGroup(newer);
        }
        ASSERT_TRUE(WaitUntil([] { return FindInstanceWindow() == 0; }, 10s));
    }
}

// Processes of this user running `exe` (compared by the executable's path).
std::vector<pid_t> Running(const fs::path& exe, pid_t except = 0) {
    std::vector<pid_t> found;
    const fs::path wanted = fs::canonical(exe);
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code ec;
        const fs::path target = fs::read_symlink(e.path() / "exe", ec);
        const pid_t pid = static_cast<pid_t>(std::stoi(name));
        if (!ec && target == wanted && pid != except) found.push_back(pid);
    }
    return found;
}

void StopAll(const fs::path& exe) {
    for (pid_t pid : Running(exe)) {
        const pid_t group = ::getpgid(pid);
        if (group > 1) ::kill(-group, SIGKILL);
        ::kill(pid, SIGKILL);
    }
}

// The processes of the program under test, its browser helpers included wherever they were
// re-parented: the program's and the browser engine's executables whose environment holds this
// test's data folder.
std::vector<pid_t> ProgramProcesses(const fs::path& dataRoot) {
    const std::string marker = "AppData=" + dataRoot.string();
    std::vector<pid_t> found;
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code ec;
        const std::string exe = fs::read_symlink(e.path() / "exe", ec).filename().string();
        if (ec || (exe != "weekleaf" && exe != "QtWebEngineProcess")) continue;
        std::ifstream in(e.path() / "environ", std::ios::binary);
        std::string variable;
        while (std::getline(in, variable, '\0')) {
            if (variable != marker) continue;
            found.push_back(static_cast<pid_t>(std::stoi(name)));
            break;
        }
    }
    return found;
}

// The fields of /proc/<pid>/stat after the command name ("S 1234 ..."), empty once it is gone.
std::string StatFields(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), {});
    const size_t close = stat.rfind(')');
    return close == std::string::npos ? std::string() : stat.substr(close + 2);
}

// The process is gone, or a zombie nobody has reaped yet.
bool Ended(pid_t pid) {
    const std::string fields = StatFields(pid);
    return fields.empty() || fields[0] == 'Z';
}

pid_t ParentOf(pid_t pid) {
    std::istringstream fields(StatFields(pid));
    char state = 0;
    pid_t parent = 0;
    fields >> state >> parent;
    return parent;
}

// "pid exe parent" of each process, for failure messages.
std::string Describe(const std::vector<pid_t>& pids) {
    std::string out;
    for (pid_t pid : pids) {
        std::error_code ec;
        const fs::path exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
        out +=
            std::to_string(pid) + " " + exe.filename().string() + " " + std::to_string(ParentOf(pid)) + "; ";
    }
    return out;
}

// The browser helpers no running instance of the program started: what an ended one left.
std::vector<pid_t> LeftBehind(const fs::path& dataRoot) {
    const auto exeName = [](pid_t pid) {
        std::error_code ec;
        return fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec).filename().string();
    };
    std::vector<pid_t> left;
    for (pid_t pid : ProgramProcesses(dataRoot)) {
        pid_t up = pid;
        while (up > 1 && exeName(up) != "weekleaf") up = ParentOf(up);
        if (up <= 1) left.push_back(pid);
    }
    return left;
}

// The instance that replaced `old` (started by the restarter), 0 when none came.
pid_t Successor(pid_t old) {
    pid_t fresh = 0;
    WaitUntil(
        [&] {
            const auto found = Running(WL_WEEKLEAF, old);
            fresh = found.empty() ? 0 : found.front();
            return fresh != 0;
        },
        30s);
    return fresh;
}

void FocusTheRootWindow() {
    XDisplayPtr d = OpenX();
    if (!d) return;
    XSetInputFocus(d.get(), DefaultRootWindow(d.get()), RevertToPointerRoot, CurrentTime);
    XSync(d.get(), False);
}

// The periodic restart with a short period (the quiet spell it waits for is then as short): it
// waits while the user types in the active window, then the restarter replaces the process with a
// new one that runs its normal start-up (window, data, the week drawn again) and shows the window
// when the old one had it shown, keeps it in the tray when it was hidden; nothing of an ended
// instance, its browser helpers included, outlives it.
TEST_F(ProcessTest, ThePeriodicRestartWaitsForTheUserKeepsTheWindowAsItWasAndLeavesNothingBehind) {
    if (::access("/usr/bin/trayer", X_OK) != 0 || !Shell("command -v xdotool >/dev/null"))
        GTEST_SKIP() << "trayer or xdotool is not installed";
    TrayHost tray(root / "trayer.log");
    ASSERT_TRUE(tray.Ready()) << "trayer did not take the tray";
    const std::string today = DateToStr(Today());
    {
        TWeekleaf store(Folder() / "Data.json");
        store.Set(today, "<p>перезапуск</p>");
        store.SaveJSON();
    }
    ::setenv("WEEKLEAF_RESTART_MS", "6000", 1);
    const pid_t old = Start();
    ::unsetenv("WEEKLEAF_RESTART_MS");
    struct Cleanup {
        ~Cleanup() {
            StopAll(WL_WEEKLEAF);
            StopAll(fs::path(WL_WEEKLEAF).parent_path() / "weekleaf-restarter");
        }
    } cleanup;
    const fs::path drawn = Folder() / "Weekleaf-Modifed.bmp";
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(drawn); }, 30s));
    ASSERT_TRUE(WaitUntil(MainWindowShown, 10s));
    // Typing in the window (centred; the editor is its right part) for longer than the period.
    ASSERT_TRUE(Shell("xdotool mousemove 800 400 click 1"));
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(Shell("xdotool type --delay 40 ' t'"));
        std::this_thread::sleep_for(1200ms);
    }
    EXPECT_TRUE(Alive(old)) << "restarted while the user typed";
    const size_t before = ProgramProcesses(root).size();
    EXPECT_GE(before, 2u) << "the editors' browser helpers were not found";

    // The user turns to something else: after the quiet spell the restart goes.
    FocusTheRootWindow();
    EXPECT_EQ(WaitExit(old, 40s), 0) << "the program did not end for the restart";
    EXPECT_NE(TWeekleaf(Folder() / "Data.json").Get(today).find(" t t"), std::string::npos)
        << TWeekleaf(Folder() / "Data.json").Get(today);
    fs::remove(drawn);
    const pid_t fresh = Successor(old);
    ASSERT_NE(fresh, 0) << "no new instance";
    EXPECT_TRUE(WaitUntil(MainWindowShown, 30s)) << "the window the user had shown went away";
    // At once, before its own restart is due: the window goes to the tray.
    ASSERT_TRUE(
        Shell("xdotool mousemove --window " + std::to_string(FindInstanceWindow()) + " 815 12 click 1"));
    ASSERT_TRUE(WaitUntil([] { return !MainWindowShown(); }, 10s)) << "the close button did not hide";
    FocusTheRootWindow();
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(drawn); }, 30s)) << "the new instance draws no week";
    EXPECT_TRUE(WaitUntil([&] { return LeftBehind(root).empty(); }, 10s))
        << "still running: " << Describe(LeftBehind(root));
    std::printf(
        "[ figures  ] before the first restart: %zu processes; after it: %zu, %zu of them left behind\n",
        before, ProgramProcesses(root).size(), LeftBehind(root).size());

    // Second round: the window is in the tray, and stays there through the restart.
    const size_t beforeSecond = ProgramProcesses(root).size();
    ASSERT_TRUE(WaitUntil([&] { return Ended(fresh); }, 40s)) << "the second restart did not come";
    const pid_t third = Successor(fresh);
    ASSERT_NE(third, 0) << "no new instance";
    EXPECT_TRUE(WaitUntil([] { return TrayIconWindow() != 0; }, 30s)) << "no icon in the tray";
    EXPECT_FALSE(MainWindowShown()) << "the window the user had put away came up";
    EXPECT_TRUE(WaitUntil([&] { return LeftBehind(root).empty(); }, 10s))
        << "still running: " << Describe(LeftBehind(root));
    std::printf(
        "[ figures  ] before the second restart: %zu processes; after it: %zu, %zu of them left behind\n",
        beforeSecond, ProgramProcesses(root).size(), LeftBehind(root).size());
}

TEST_F(ProcessTest, WithoutTheRestarterTheProgramKeepsRunning) {
    const fs::path alone = root / "bin" / "weekleaf";
    fs::create_directories(alone.parent_path());
    fs::copy_file(WL_WEEKLEAF, alone);
    ::setenv("WEEKLEAF_RESTART_MS", "2000", 1);
    const pid_t pid = Spawn({alone.string()}, root / "weekleaf.log");
    pids.push_back(pid);
    ::unsetenv("WEEKLEAF_RESTART_MS");
    ASSERT_TRUE(WaitUntil([] { return FindInstanceWindow() != 0; }, 20s));
    std::this_thread::sleep_for(9s);  // a failed restart, and 5 s more than the program used to live
    EXPECT_TRUE(Alive(pid));
    EXPECT_TRUE(FindInstanceWindow() != 0);
    std::ifstream log(Folder() / "ErrLog.txt");
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_NE(text.str().find("tRestartTimer: "), std::string::npos) << text.str();
}

TEST_F(ProcessTest, TheAutostartEntryRunsThisProgramAndGoesWhenTheOptionIsOff) {
    const fs::path entry = root / "config" / "autostart" / "weekleaf.desktop";
    const pid_t first = Start();
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(entry); }, 20s));
    std::ifstream in(entry);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("\nExec=" + fs::canonical(WL_WEEKLEAF).string() + " /reg\n"), std::string::npos)
        << text.str();
    ::kill(first, SIGTERM);
    ASSERT_EQ(WaitExit(first, 20s), 0);

    TSettings(Folder() / "Config.ini").SetStartWithOS(false);
    Start();
    EXPECT_TRUE(WaitUntil([&] { return !fs::exists(entry); }, 20s)) << "the entry outlived the option";
}

}  // namespace
}  // namespace wl
