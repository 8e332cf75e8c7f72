// Editing the week on the desktop as a person does it: the real program on a private 1920 x 1080
// X server, with the openbox window manager (and once without one), the real sync service on a
// free loopback port and a second device of the same account. Keys and clicks go through
// xdotool; what the person sees is read back from the screen. Skipped when Xvfb, xdotool or
// openbox is missing, or the service is not built.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "ProcessSupport.h"
#include "data/DataFiles.h"
#include "data/TSettings.h"
#include "data/TWeekleaf.h"
#include "desktop/XvfbServer.h"
#include "sync/TSyncLog.h"
#include "sync/TWLSocket.h"
#include "wallpaper/Blender.h"
#include "wallpaper/ImageCodecs.h"
#include "wallpaper/TWallPaper.h"

// Xlib last: its macros (None, Bool, Status) would clash with the test framework's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace wl {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::WaitUntil;

constexpr const char* kKey = "desk-test-key";
constexpr int kScreenW = 1920, kScreenH = 1080;
constexpr uint32_t kGreenRgb = 0x19AE84, kWeekendRgb = 0xFFCC99, kEditorRgb = 0xF0F0F0;

bool Installed(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

void Xdotool(const std::string& args) {
    const std::string cmd = "xdotool " + args;
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// Another device of the same account; its store is touched only under the lock.
struct Device {
    Device(const fs::path& folder, uint16_t port) : store((Write(folder), folder / "Data.json")) {
        socket = std::make_unique<TWLSocket>(
            store, [] { return std::string(kKey); },
            [this](std::function<void()> fn) {
                std::lock_guard lock(mutex);
                fn();
            },
            log, nullptr, "127.0.0.1", port);
        socket->UpgradeToWebsocket();
        socket->GetCurrentWeek();
    }
    static void Write(const fs::path& folder) {
        fs::create_directories(folder);
        std::ofstream(folder / "Data.json") << "{}";
    }
    std::string Get(const std::string& key) {
        std::lock_guard lock(mutex);
        return store.Get(key);
    }
    int Count(const std::string& part) const {
        int n = 0;
        for (const auto& l : log.Lines()) n += l.find(part) != std::string::npos;
        return n;
    }
    std::mutex mutex;
    TWeekleaf store;
    TSyncLogMemo log;
    std::unique_ptr<TWLSocket> socket;
};

struct QRectLike {
    int x = 0, y = 0, w = 0, h = 0;
    friend bool operator==(const QRectLike&, const QRectLike&) = default;
};
std::ostream& operator<<(std::ostream& os, const QRectLike& r) {
    return os << r.x << "," << r.y << " " << r.w << "x" << r.h;
}

// The display as the test sees it: windows by title, their place, their state, the screen's pixels.
struct Screen {
    Screen() : d(XOpenDisplay(nullptr)) {}
    ~Screen() {
        if (d) XCloseDisplay(d);
    }
    Window Root() const { return DefaultRootWindow(d); }

    static int Ignore(Display*, XErrorEvent*) { return 0; }

    std::string Title(Window w) {
        char* name = nullptr;
        std::string t;
        if (XFetchName(d, w, &name) && name) {
            t = name;
            XFree(name);
        }
        return t;
    }
    bool Viewable(Window w) {
        XWindowAttributes a{};
        return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
    }
    Window Find(Window parent, const std::string& title, int depth) {
        Window r = 0, up = 0, *children = nullptr;
        unsigned n = 0;
        Window found = 0;
        if (!XQueryTree(d, parent, &r, &up, &children, &n)) return 0;
        for (unsigned i = 0; i < n && !found; ++i) {
            if (Title(children[i]) == title && Viewable(children[i])) found = children[i];
        }
        for (unsigned i = 0; i < n && !found && depth > 1; ++i) found = Find(children[i], title, depth - 1);
        if (children) XFree(children);
        return found;
    }
    // The shown window with this title, 0 when none.
    Window Shown(const std::string& title) {
        auto* previous = XSetErrorHandler(Ignore);
        const Window w = Find(Root(), title, 3);
        XSync(d, False);
        XSetErrorHandler(previous);
        return w;
    }
    // Where the window's client area lies on the screen.
    QRectLike Place(Window w);
    uint32_t Pixel(int x, int y) {
        XImage* img = XGetImage(d, Root(), x, y, 1, 1, AllPlanes, ZPixmap);
        if (!img) return 0;
        const uint32_t p = uint32_t(XGetPixel(img, 0, 0)) & 0xffffff;
        XDestroyImage(img);
        return p;
    }
    // Pixels of a rectangle darker than a light background: text, roughly.
    int DarkPixels(int x, int y, int w, int h) {
        XImage* img = XGetImage(d, Root(), x, y, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
        if (!img) return 0;
        int n = 0;
        for (int j = 0; j < h; ++j) {
            for (int i = 0; i < w; ++i) {
                const uint32_t p = uint32_t(XGetPixel(img, i, j));
                const int lum = int((p >> 16) & 0xff) + int((p >> 8) & 0xff) + int(p & 0xff);
                n += lum < 300;
            }
        }
        XDestroyImage(img);
        return n;
    }
    // The screen's pixels of a rectangle, row by row.
    std::vector<uint32_t> Pixels(int x, int y, int w, int h) {
        std::vector<uint32_t> out;
        XImage* img = XGetImage(d, Root(), x, y, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
        if (!img) return out;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) out.push_back(uint32_t(XGetPixel(img, i, j)) & 0xffffff);
        XDestroyImage(img);
        return out;
    }
    // A titled top-level window of another program.
    Window OpenForeign(const std::string& title) {
        const Window w = XCreateSimpleWindow(d, Root(), 100, 100, 300, 200, 0, 0, 0xffffff);
        XStoreName(d, w, title.c_str());
        XMapWindow(d, w);
        XSync(d, False);
        return w;
    }
    // A top-level window whose only title is a legacy WM_NAME of this type and these bytes.
    Window OpenLegacyTitled(const char* type, const std::string& bytes) {
        const Window w = XCreateSimpleWindow(d, Root(), 150, 150, 300, 200, 0, 0, 0xffffff);
        XChangeProperty(d, w, XA_WM_NAME, XInternAtom(d, type, False), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(bytes.data()), int(bytes.size()));
        XMapWindow(d, w);
        XSync(d, False);
        return w;
    }
    bool Iconic(Window w) {
        const Atom wmState = XInternAtom(d, "WM_STATE", False);
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        bool iconic = false;
        if (XGetWindowProperty(d, w, wmState, 0, 2, False, wmState, &type, &format, &count, &after, &data) ==
                Success &&
            data && count > 0) {
            iconic = reinterpret_cast<long*>(data)[0] == IconicState;
        }
        if (data) XFree(data);
        return iconic;
    }
    // Grabs Ctrl + the key on the root window as another program would; false when refused.
    bool Grab(KeySym sym) {
        static bool refused;
        refused = false;
        auto* previous = XSetErrorHandler([](Display*, XErrorEvent*) {
            refused = true;
            return 0;
        });
        XGrabKey(d, XKeysymToKeycode(d, sym), ControlMask, Root(), False, GrabModeAsync, GrabModeAsync);
        XSync(d, False);
        XSetErrorHandler(previous);
        return !refused;
    }
    Display* d;
};

QRectLike Screen::Place(Window w) {
    XWindowAttributes a{};
    if (!XGetWindowAttributes(d, w, &a)) return {};
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(d, w, Root(), 0, 0, &x, &y, &child);
    return {x, y, a.width, a.height};
}

// The ink of the text lines in a w x h picture of light background: one box per run of rows that
// hold dark pixels, from the first to the last dark column of those rows.
// A run only a few rows high (the dots of "ё" above a line) belongs to the line below it. Dark
// pixels are those whose channels add up to less than `dark` (black text on white or green).
std::vector<QRectLike> InkLines(const std::vector<uint32_t>& pixels, int w, int h, int dark = 384) {
    auto ink = [&](int x, int y) {
        const uint32_t p = pixels[size_t(y) * w + x];
        return int((p >> 16) & 0xff) + int((p >> 8) & 0xff) + int(p & 0xff) < dark;
    };
    std::vector<QRectLike> lines;
    bool open = false;
    for (int y = 0; y < h; ++y) {
        int left = w, right = -1;
        for (int x = 0; x < w; ++x) {
            if (!ink(x, y)) continue;
            left = std::min(left, x);
            right = x;
        }
        if (right < 0) {
            open = false;
            continue;
        }
        if (!open && (lines.empty() || lines.back().h > 3)) lines.push_back({left, y, right - left + 1, 0});
        open = true;
        QRectLike& line = lines.back();
        const int r = std::max(line.x + line.w, right + 1);
        line.x = std::min(line.x, left);
        line.w = r - line.x;
        line.h = y - line.y + 1;
    }
    return lines;
}

class DesktopEditingTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!test::XvfbServer::Installed()) return;
        server = std::make_unique<test::XvfbServer>("1920x1080x24");
    }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        if (!server || server->Display().empty()) GTEST_SKIP() << "Xvfb is not available";
        if (!Installed("xdotool") || !Installed("openbox")) GTEST_SKIP() << "xdotool or openbox missing";
        if (std::string(WL_SYNC_SERVER).empty()) GTEST_SKIP() << "weekleaf-sync is not built";
        ::setenv("DISPLAY", server->Display().c_str(), 1);
        ::unsetenv("XDG_CURRENT_DESKTOP");
        ::unsetenv("WAYLAND_DISPLAY");
        root = fs::temp_directory_path() / ("wl-desk-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        test::MakeDataFolder(root);
        TSettings settings(Folder() / "Config.ini");
        settings.SetHideOnStart(true);
        settings.SetUseHotKey(true);
        settings.SetShowBloks(true);
        settings.SetKey(kKey);
        settings.SetSyncPort(1);  // offline unless a test starts the service
        screen = std::make_unique<Screen>();
        ASSERT_NE(screen->d, nullptr);
    }
    void TearDown() override {
        for (pid_t p : pids) test::StopGroup(p);
        device.reset();
        screen.reset();
        if (!root.empty() && !HasFailure()) fs::remove_all(root);
    }
    fs::path Folder() const { return root / "Weekleaf"; }

    pid_t Start(const std::vector<std::string>& args, const std::string& log) {
        const pid_t pid = test::Spawn(args, root / log);
        pids.push_back(pid);
        return pid;
    }
    void StartWindowManager() {
        Start({"openbox", "--sm-disable"}, "openbox.log");
        const Atom check = XInternAtom(screen->d, "_NET_SUPPORTING_WM_CHECK", False);
        ASSERT_TRUE(WaitUntil(
            [&] {
                Atom type = 0;
                int format = 0;
                unsigned long count = 0, after = 0;
                unsigned char* data = nullptr;
                const bool ok = XGetWindowProperty(screen->d, screen->Root(), check, 0, 1, False, XA_WINDOW,
                                                   &type, &format, &count, &after, &data) == Success &&
                                count == 1;
                if (data) XFree(data);
                return ok;
            },
            10s));
    }
    void StartService() {
        port = test::FreePort();
        TSettings(Folder() / "Config.ini").SetSyncPort(port);
        Start({WL_SYNC_SERVER, "--listen", "127.0.0.1:" + std::to_string(port), "--db",
               (root / "sync.db").string()},
              "server.log");
        ASSERT_TRUE(WaitUntil([&] { return test::PortOpen(port); }, 10s));
        device = std::make_unique<Device>(root / "other", port);
    }
    // The program, hidden in the tray, once it has drawn the week onto the root window.
    void StartProgram() {
        SaveBmp24(Image(kScreenW, kScreenH, 0x2a6fb0), Folder() / "Wpp" / "own.bmp");
        {
            TWeekleaf store(Folder() / "Data.json");
            store.Set("note", "<p><b>ЗАМЕТКА ДЛЯ ПРОВЕРКИ</b></p>");
            store.SaveJSON();
        }
        desktop = MakeDesktop();
        desktop->ShowWallpaper((Folder() / "Wpp" / "own.bmp").string());
        Start({WL_WEEKLEAF, "--hidden"}, "weekleaf.log");
        ASSERT_TRUE(WaitUntil([&] { return desktop->CurrentWallpaperFile() == Drawn().string(); }, 40s))
            << "shown: " << desktop->CurrentWallpaperFile();
    }
    fs::path Drawn() const { return Folder() / "Weekleaf-Modifed.bmp"; }
    std::string Stored(const std::string& key) const { return TWeekleaf(Folder() / "Data.json").Get(key); }
    std::string ErrLogText() const {
        std::ifstream in(Folder() / "ErrLog.txt");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The overlay and the bar are shown and every block has its text.
    void OpenEditor() {
        Xdotool("key ctrl+6");
        ASSERT_TRUE(WaitUntil(
            [&] { return screen->Shown("Weekleaf Editor") && screen->Shown("Weekleaf Bar"); }, 10s));
        // The surfaces paint their light background once their documents are up.
        const BlockRects r = CalcBlockRects(kScreenH - 250, kScreenW - 360);
        ASSERT_TRUE(
            WaitUntil([&] { return screen->Pixel(r[7].Right - 3, r[7].Bottom - 3) == kEditorRgb; }, 10s));
    }
    // Clicks into a block's text and types.
    void TypeInto(int block, const std::string& text) {
        const BlockRect r = CalcBlockRects(kScreenH - 250, kScreenW - 360)[block];
        Xdotool("mousemove " + std::to_string(r.Left + 60) + " " + std::to_string(r.Top + 80) + " click 1");
        std::this_thread::sleep_for(300ms);
        Xdotool("type --delay 0 '" + text + "'");
    }
    // A copy of the drawn picture's rows of a rectangle.
    std::vector<uint32_t> DrawnRegion(int x, int y, int w, int h) {
        const Image img = LoadBmpFile(Drawn());
        std::vector<uint32_t> out;
        for (int j = y; j < y + h && j < img.height; ++j)
            for (int i = x; i < x + w && i < img.width; ++i) out.push_back(img.at(i, j));
        return out;
    }
    void ClickBar(int panelLeft) {
        const QRectLike bar = screen->Place(screen->Shown("Weekleaf Bar"));
        Xdotool("mousemove " + std::to_string(bar.x + panelLeft + 44) + " " + std::to_string(bar.y + 44) +
                " click 1");
    }

    static inline std::unique_ptr<test::XvfbServer> server;
    fs::path root;
    uint16_t port = 0;
    std::vector<pid_t> pids;
    std::unique_ptr<Screen> screen;
    std::unique_ptr<Device> device;
    std::unique_ptr<IDesktop> desktop;
};

TEST_F(DesktopEditingTest, CtrlSixBringsTheBarAndEditorsExactlyOverTheDrawnBlocksAndPutsOthersAway) {
    StartWindowManager();
    {
        TWeekleaf store(Folder() / "Data.json");
        const Date today = Today();
        store.Set(BlockDate(1, today, 0), "<p><b>9:00</b> планёрка</p><p>отчёт за неделю</p>");
        store.Set(BlockDate(3, today, 0), "<p>купить <font color=\"#ff0000\">билеты</font></p>");
        store.Set(BlockDate(6, today, 0), "<ul><li>дача</li><li>баня</li></ul>");
        store.SaveJSON();
    }
    StartProgram();
    const Window foreign = screen->OpenForeign("Другая программа");
    ASSERT_TRUE(WaitUntil([&] { return screen->Viewable(foreign); }, 5s));
    OpenEditor();

    EXPECT_EQ(screen->Place(screen->Shown("Weekleaf Bar")), (QRectLike{702, 940, 516, 90}));
    EXPECT_EQ(screen->Place(screen->Shown("Weekleaf Editor")), (QRectLike{240, 100, 1560, 830}));
    EXPECT_TRUE(WaitUntil([&] { return screen->Iconic(foreign); }, 5s)) << "the other program's window stays";
    EXPECT_TRUE(screen->Shown("Weekleaf Editor")) << "our own windows are not put away";

    // Each editor's header starts exactly where the drawn block starts; around it the drawn
    // wallpaper shows through.
    const Image drawn = LoadBmpFile(Drawn());
    const BlockRects r = CalcBlockRects(kScreenH - 250, kScreenW - 360);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const uint32_t head = i >= 6 ? kWeekendRgb : kGreenRgb;
        EXPECT_EQ(screen->Pixel(r[i].Left, r[i].Top + 20), head);
        EXPECT_EQ(screen->Pixel(r[i].Right - 1, r[i].Top + 20), head);
        EXPECT_EQ(screen->Pixel(r[i].Right - 1, r[i].Bottom - 1), kEditorRgb);
        EXPECT_EQ(screen->Pixel(r[i].Left - 1, r[i].Top + 20), drawn.at(r[i].Left - 1, r[i].Top + 20));
        EXPECT_EQ(screen->Pixel(r[i].Right, r[i].Top + 20), drawn.at(r[i].Right, r[i].Top + 20));
        EXPECT_EQ(screen->Pixel(r[i].Left + 5, r[i].Bottom), drawn.at(r[i].Left + 5, r[i].Bottom));
        EXPECT_EQ(screen->Pixel(r[i].Left + 5, r[i].Top - 1), drawn.at(r[i].Left + 5, r[i].Top - 1));
        // The drawing's own block begins at the same column: its header differs from the picture.
        EXPECT_NE(drawn.at(r[i].Left, r[i].Top + 20), drawn.at(r[i].Left - 1, r[i].Top + 20));
    }
    // The blocks with entries paint them (the texts are in before the overlay shows; the painting
    // follows).
    for (int i : {1, 3, 6}) {
        EXPECT_TRUE(
            WaitUntil([&] { return screen->DarkPixels(r[i].Left + 10, r[i].Top + 45, 150, 30) > 30; }, 5s))
            << "block " << i << " shows no text";
    }
    if (Installed("import")) {
        fs::create_directories(WL_APP_SHOT_DIR);
        const std::string shot =
            std::string("import -window root -depth 8 -resize 960x540 ") + WL_APP_SHOT_DIR + "/overlay.png";
        EXPECT_EQ(std::system(shot.c_str()), 0);
    }
}

// Opening the overlay turns the drawn blocks into editable fields without moving their text: every
// line's ink lies where the wallpaper drew it, to a pixel or two (same face, size, line height and
// insets), for plain, bold, larger and listed text and a paragraph that wraps. The headers use one
// face too, also when the chosen font is not installed (an empty "Font" is what an older options
// page wrote for a missing one).
TEST_F(DesktopEditingTest, OpeningTheOverlayLeavesEveryLineOfTextWhereTheWallpaperDrewIt) {
    StartWindowManager();
    {
        TSettings settings(Folder() / "Config.ini");
        settings.SetALPHABLEND_VALUE(255);
        settings.SetFont("");
    }
    const std::vector<std::pair<int, std::string>> entries = {
        {1,
         "<p>Планёрка в 9:00</p><p>отчёт за неделю</p><p>позвонить Ивану Петровичу насчёт дачи и "
         "забрать документы из налоговой до обеда</p>"},
        {2, "<p><b>Жирная строка</b></p><p>обычная строка</p><p><font size=\"5\">Крупно</font></p>"},
        {3, "<ul><li>хлеб</li><li>молоко</li></ul><p>после списка</p>"},
    };
    {
        TWeekleaf store(Folder() / "Data.json");
        for (const auto& [block, html] : entries) store.Set(BlockDate(block, Today(), 0), html);
        store.SaveJSON();
    }
    {
        // An entry longer than its block: the wallpaper ends its last whole line with "…".
        std::string lines;
        for (int n = 1; n <= 40; ++n) lines += "<p>строка " + std::to_string(n) + "</p>";
        TWeekleaf store(Folder() / "Data.json");
        store.Set(BlockDate(5, Today(), 0), lines);
        store.SaveJSON();
    }
    StartProgram();
    const Image drawn = LoadBmpFile(Drawn());
    {
        const BlockRect b = CalcBlockRects(kScreenH - 250, kScreenW - 360)[5];
        const int x = b.Left + 2, y = b.Top + 38, w = b.Right - b.Left - 4, h = b.Bottom - b.Top - 38;
        std::vector<uint32_t> pixels;
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i) pixels.push_back(drawn.at(i, j));
        const std::vector<QRectLike> lines = InkLines(pixels, w, h);
        ASSERT_GT(lines.size(), 10u);
        // The last column of the last line's ink holds only low ink: a dot, not a digit's stroke.
        const QRectLike last = lines.back();
        const int column = last.x + last.w - 1;
        int highest = last.y + last.h;
        for (int j = last.y; j < last.y + last.h; ++j) {
            const uint32_t p = pixels[size_t(j) * w + column];
            if (int((p >> 16) & 0xff) + int((p >> 8) & 0xff) + int(p & 0xff) < 384)
                highest = std::min(highest, j);
        }
        EXPECT_GE(highest, last.y + last.h - last.h / 3) << "the last shown line does not end in …";
    }
    OpenEditor();
    std::this_thread::sleep_for(1500ms);  // the surfaces paint their texts after the background

    // The ink of one rectangle, drawn and shown; each line may move by at most 2 px.
    int largest = 0;
    auto compare = [&](int x, int y, int w, int h, int dark) {
        std::vector<uint32_t> before;
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i) before.push_back(drawn.at(i, j));
        const std::vector<QRectLike> drawnLines = InkLines(before, w, h, dark);
        const std::vector<QRectLike> shownLines = InkLines(screen->Pixels(x, y, w, h), w, h, dark);
        ASSERT_FALSE(drawnLines.empty());
        EXPECT_EQ(shownLines.size(), drawnLines.size()) << "the text wraps differently";
        for (size_t n = 0; n < std::min(drawnLines.size(), shownLines.size()); ++n) {
            const QRectLike a = drawnLines[n], b = shownLines[n];
            const int shift = std::max({std::abs(a.x - b.x), std::abs(a.y - b.y),
                                        std::abs(a.y + a.h - b.y - b.h), std::abs(a.x + a.w - b.x - b.w)});
            largest = std::max(largest, shift);
            EXPECT_LE(shift, 2) << "line " << n << ": drawn " << a << ", shown " << b;
        }
    };
    const BlockRects r = CalcBlockRects(kScreenH - 250, kScreenW - 360);
    for (const auto& [block, html] : entries) {
        SCOPED_TRACE(block);
        const int x = r[block].Left + 2, w = r[block].Right - r[block].Left - 4;
        compare(x, r[block].Top + 38, w, 200, 384);
        // The title and the date in the header (black on green), each on its own so that a wider or
        // narrower face shows.
        compare(x, r[block].Top + 1, w / 2, 33, 120);
        compare(x + w / 2, r[block].Top + 1, w - w / 2, 33, 120);
    }
    if (getenv("WL_SHOT")) std::system("import -window root /tmp/look-overlay.png");
    RecordProperty("largest_text_shift_px", largest);
    std::cout << "largest text shift when the overlay opens: " << largest << " px\n";
}

// "Свернуть все окна" puts away every other program's window whatever form its title takes, and
// when the editing ends exactly those windows come back; one the user had minimised stays so.
TEST_F(DesktopEditingTest, EditingPutsAwayEveryTitledWindowAndBringsBackExactlyThose) {
    StartWindowManager();
    StartProgram();
    struct Case {
        const char* name;
        Window window;
    };
    const Case cases[] = {
        {"UTF-8 title", screen->OpenForeign("Другая программа")},
        // An old terminal titled "Терминал": COMPOUND_TEXT switching to ISO 8859-5.
        {"compound text",
         screen->OpenLegacyTitled("COMPOUND_TEXT", "\x1b\x2d\x4c\xc2\xd5\xe0\xdc\xd8\xdd\xd0\xdb")},
        {"Latin-1 string", screen->OpenLegacyTitled("STRING", "Caf\xe9")},
    };
    const Window minimised = screen->OpenForeign("Свёрнутое окно");
    for (const Case& c : cases)
        ASSERT_TRUE(WaitUntil([&] { return screen->Viewable(c.window); }, 5s)) << c.name;
    ASSERT_TRUE(WaitUntil([&] { return screen->Viewable(minimised); }, 5s));
    XIconifyWindow(screen->d, minimised, DefaultScreen(screen->d));
    XSync(screen->d, False);
    ASSERT_TRUE(WaitUntil([&] { return screen->Iconic(minimised); }, 5s));

    OpenEditor();
    for (const Case& c : cases)
        EXPECT_TRUE(WaitUntil([&] { return screen->Iconic(c.window); }, 5s))
            << c.name << " stays on the desktop";

    Xdotool("key ctrl+6");  // the editing ends
    ASSERT_TRUE(
        WaitUntil([&] { return !screen->Shown("Weekleaf Editor") && !screen->Shown("Weekleaf Bar"); }, 10s));
    for (const Case& c : cases) {
        EXPECT_TRUE(WaitUntil([&] { return !screen->Iconic(c.window) && screen->Viewable(c.window); }, 5s))
            << c.name << " does not come back";
    }
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(screen->Iconic(minimised)) << "a window the user had minimised came back";
}

TEST_F(DesktopEditingTest, TypingSendsOneSetDayPushedTextsShowAndWeeksMove) {
    StartWindowManager();
    StartService();
    const Date today = Today();
    const std::string tuesday = BlockDate(2, today, 0), wednesday = BlockDate(3, today, 0);
    const std::string nextMonday = BlockDate(1, today, 7), nextSunday = BlockDate(7, today, 7);
    device->socket->SetDay(*StrToDate(nextMonday), "<p>next monday</p>");
    device->socket->SetDay(*StrToDate(nextSunday), "<p>next sunday</p>");
    StartProgram();
    OpenEditor();
    const BlockRects r = CalcBlockRects(kScreenH - 250, kScreenW - 360);
    const auto tuesdayBefore = DrawnRegion(r[2].Left, r[2].Top + 45, r[2].Right - r[2].Left, 100);

    // A keystroke into Tuesday: one SET_DAY for Tuesday, none for the untouched blocks. (One key, so
    // that a tick cannot fall in the middle of the typing on a busy machine.)
    const int updatesBefore = device->Count("TWLSocket.UpdateDay | ");
    TypeInto(2, "V");
    EXPECT_TRUE(WaitUntil([&] { return device->Get(tuesday) == "V"; }, 10s)) << device->Get(tuesday);
    std::this_thread::sleep_for(2500ms);
    EXPECT_EQ(device->Count("TWLSocket.UpdateDay | ") - updatesBefore, 1);
    EXPECT_EQ(Stored(tuesday), "V");
    EXPECT_TRUE(WaitUntil(
        [&] { return DrawnRegion(r[2].Left, r[2].Top + 45, r[2].Right - r[2].Left, 100) != tuesdayBefore; },
        10s))
        << "the wallpaper does not show the new text";

    // Another device's change appears in the idle Wednesday block.
    const int dark = screen->DarkPixels(r[3].Left + 10, r[3].Top + 45, 200, 60);
    device->socket->SetDay(*StrToDate(wednesday), "<p><b><font size=\"6\">SREDA SREDA</font></b></p>");
    EXPECT_TRUE(WaitUntil(
        [&] { return screen->DarkPixels(r[3].Left + 10, r[3].Top + 45, 200, 60) > dark + 50; }, 10s));

    // Next week: the program asks for Monday to Sunday of next week and the overlay goes.
    const auto header = DrawnRegion(r[1].Left, r[1].Top, r[1].Right - r[1].Left, 35);
    ClickBar(208);
    EXPECT_TRUE(WaitUntil([&] { return Stored(nextMonday) == "<p>next monday</p>"; }, 10s));
    EXPECT_EQ(Stored(nextSunday), "<p>next sunday</p>");
    EXPECT_TRUE(WaitUntil([&] { return !screen->Shown("Weekleaf Editor"); }, 10s));
    EXPECT_TRUE(WaitUntil(
        [&] { return DrawnRegion(r[1].Left, r[1].Top, r[1].Right - r[1].Left, 35) != header; }, 10s))
        << "the drawn dates stay on this week";

    // Editing next week, then Esc right after typing: the last edit goes out, bar and overlay
    // close, the current week is drawn again.
    ClickBar(312);
    ASSERT_TRUE(WaitUntil([&] { return screen->Shown("Weekleaf Editor"); }, 10s));
    std::this_thread::sleep_for(1500ms);
    TypeInto(4, "chetverg");
    Xdotool("key Escape");
    const std::string nextThursday = BlockDate(4, today, 7);
    EXPECT_TRUE(
        WaitUntil([&] { return device->Get(nextThursday).find("chetverg") != std::string::npos; }, 10s));
    EXPECT_TRUE(
        WaitUntil([&] { return !screen->Shown("Weekleaf Editor") && !screen->Shown("Weekleaf Bar"); }, 10s));
    EXPECT_TRUE(WaitUntil(
        [&] { return DrawnRegion(r[1].Left, r[1].Top, r[1].Right - r[1].Left, 35) == header; }, 10s))
        << "the current week is not drawn again";
}

TEST_F(DesktopEditingTest, CtrlSevenTwiceSwitchesTheBlocksOffAndOn) {
    StartWindowManager();
    StartProgram();
    Xdotool("key ctrl+7");
    EXPECT_TRUE(
        WaitUntil([&] { return fs::path(desktop->CurrentWallpaperFile()).filename() == "WppOld.bmp"; }, 5s))
        << desktop->CurrentWallpaperFile();
    Xdotool("key ctrl+7");
    EXPECT_TRUE(WaitUntil([&] { return desktop->CurrentWallpaperFile() == Drawn().string(); }, 8s))
        << desktop->CurrentWallpaperFile();
}

TEST_F(DesktopEditingTest, WithoutHotKeysAnotherProgramGetsCtrlZero) {
    TSettings(Folder() / "Config.ini").SetUseHotKey(false);
    StartProgram();
    EXPECT_TRUE(screen->Grab(XK_0));
}

TEST_F(DesktopEditingTest, AKeyAnotherProgramHoldsLeavesTheOtherFourWorking) {
    ASSERT_TRUE(screen->Grab(XK_7));
    StartProgram();
    EXPECT_FALSE(screen->Grab(XK_6)) << "the program holds its keys";
    // Without a window manager: the windows still come up where they belong.
    OpenEditor();
    EXPECT_EQ(screen->Place(screen->Shown("Weekleaf Bar")), (QRectLike{702, 940, 516, 90}));
    EXPECT_EQ(screen->Place(screen->Shown("Weekleaf Editor")), (QRectLike{240, 100, 1560, 830}));
    const std::string log = ErrLogText();
    EXPECT_NE(log.find("HotKey.Register: Ctrl+7 (3)"), std::string::npos) << log;
    Xdotool("key ctrl+6");  // closes again
    EXPECT_TRUE(
        WaitUntil([&] { return !screen->Shown("Weekleaf Editor") && !screen->Shown("Weekleaf Bar"); }, 5s));
}

// The pages of the main window through the real program: the notes key opens the notes page, OK
// sends one SET_NOTE; the options page closed with the blocks unticked puts WppOld.bmp back for good.
TEST_F(DesktopEditingTest, TheNotesPageSendsOneSetNoteAndTheOptionsSwitchTheBlocksOff) {
    StartWindowManager();
    StartService();
    StartProgram();
    Xdotool("key ctrl+9");
    ASSERT_TRUE(WaitUntil([&] { return screen->Shown("Weekleaf") != 0; }, 10s));
    const QRectLike w = screen->Place(screen->Shown("Weekleaf"));
    auto click = [&](int x, int y) {
        Xdotool("mousemove " + std::to_string(w.x + x) + " " + std::to_string(w.y + y) + " click 1");
        std::this_thread::sleep_for(400ms);
    };
    // The notes page holds the stored note; the text typed after it goes out once with OK.
    ASSERT_TRUE(WaitUntil([&] { return screen->Pixel(w.x + 600, w.y + 300) == kEditorRgb; }, 10s));
    std::this_thread::sleep_for(1500ms);
    click(600, 300);
    Xdotool("key ctrl+End");
    Xdotool("type --delay 0 'milk'");
    std::this_thread::sleep_for(300ms);
    const int notesBefore = device->Count("TWLSocket.UpdateNote | ");
    click(785, 525);  // OK
    EXPECT_TRUE(WaitUntil([&] { return device->Get("note").find("milk") != std::string::npos; }, 10s))
        << device->Get("note");
    std::this_thread::sleep_for(2500ms);
    EXPECT_EQ(device->Count("TWLSocket.UpdateNote | ") - notesBefore, 1);
    EXPECT_NE(Stored("note").find("milk"), std::string::npos);

    // Settings, then the options page: untick "Отображать блоки заметок" and press OK.
    click(358, 49);
    click(353, 377);
    click(785, 530);
    EXPECT_TRUE(WaitUntil([&] { return !TSettings(Folder() / "Config.ini").ShowBloks(); }, 5s));
    EXPECT_TRUE(
        WaitUntil([&] { return fs::path(desktop->CurrentWallpaperFile()).filename() == "WppOld.bmp"; }, 5s))
        << desktop->CurrentWallpaperFile();
    const auto drawnAt = fs::last_write_time(Drawn());
    std::this_thread::sleep_for(4s);  // more than one drawing period
    EXPECT_EQ(fs::path(desktop->CurrentWallpaperFile()).filename(), "WppOld.bmp");
    EXPECT_EQ(fs::last_write_time(Drawn()), drawnAt);
}

}  // namespace
}  // namespace wl
