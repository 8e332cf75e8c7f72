// The X11 hot keys against a private Xvfb: keys are pressed with xdotool as a person would, and
// another X client takes keys first or after. Skipped when Xvfb or xdotool is missing.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "XvfbServer.h"
#include "platform/HotKeys.h"
#include "platform/MemoryHotKeys.h"
#include "platform/X11HotKeys.h"

// Xlib last: its macros (None, Bool, Status) would clash with the test framework's names.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace wl {
namespace {

const HotKeyChars kFirstRun{U'0', U'9', U'8', U'7', U'6'};

bool Installed(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Another X client of the same display.
struct OtherClient {
    OtherClient() : d(XOpenDisplay(nullptr)) {}
    ~OtherClient() {
        if (d) XCloseDisplay(d);
    }
    // Grabs Ctrl + the key on the root window; false when the server refused (someone holds it).
    bool Grab(KeySym sym) {
        static bool refused;
        refused = false;
        auto* previous = XSetErrorHandler([](Display*, XErrorEvent*) {
            refused = true;
            return 0;
        });
        XGrabKey(d, XKeysymToKeycode(d, sym), ControlMask, DefaultRootWindow(d), False, GrabModeAsync,
                 GrabModeAsync);
        XSync(d, False);
        XSetErrorHandler(previous);
        return !refused;
    }
    Display* d;
};

class HotKeysTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server = std::make_unique<test::XvfbServer>("640x480x24"); }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        if (!test::XvfbServer::Installed() || !Installed("xdotool"))
            GTEST_SKIP() << "Xvfb or xdotool missing";
        ASSERT_FALSE(server->Display().empty()) << "Xvfb did not start";
        ::setenv("DISPLAY", server->Display().c_str(), 1);
        keys = std::make_unique<X11HotKeys>();
        keys->Log = [this](const std::string& line) { log.push_back(line); };
        keys->OnHotKey = [this](int id) { pressed.push_back(id); };
    }
    void TearDown() override { keys.reset(); }

    // Presses keys with xdotool and waits for what the backend reports.
    std::vector<int> Press(const std::string& combo) {
        pressed.clear();
        const std::string cmd = "xdotool key --clearmodifiers " + combo;
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 400) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return pressed;
    }

    static inline std::unique_ptr<test::XvfbServer> server;
    std::unique_ptr<X11HotKeys> keys;
    std::vector<std::string> log;
    std::vector<int> pressed;
};

TEST_F(HotKeysTest, EachKeyReachesItsIdentifierInEveryLockState) {
    EXPECT_EQ(keys->Register(kFirstRun), (std::vector<int>{0, 1, 2, 3, 4}));
    struct Case {
        const char* locks;  // toggled before and again after the presses
        const char* combo;
        std::vector<int> ids;
    };
    const Case cases[] = {
        {"", "ctrl+0", {0}},
        {"", "ctrl+9", {1}},
        {"", "ctrl+8", {2}},
        {"", "ctrl+7", {3}},
        {"", "ctrl+6", {4}},
        {"Caps_Lock", "ctrl+6", {4}},
        {"Num_Lock", "ctrl+7", {3}},
        {"Caps_Lock Num_Lock", "ctrl+0", {0}},
        {"", "6", {}},
        {"", "ctrl+shift+6", {}},
        {"", "ctrl+5", {}},
        {"", "alt+6", {}},
    };
    for (const Case& c : cases) {
        const std::string locks = c.locks;
        if (!locks.empty()) Press(locks);
        EXPECT_EQ(Press(c.combo), c.ids) << c.combo << " with " << locks;
        if (!locks.empty()) Press(locks);
    }
    EXPECT_TRUE(log.empty());
}

TEST_F(HotKeysTest, AKeyAnotherClientHoldsIsSkippedOnceAndTheOthersWork) {
    OtherClient other;
    ASSERT_TRUE(other.Grab(XK_7));
    EXPECT_EQ(keys->Register(kFirstRun), (std::vector<int>{0, 1, 2, 4}));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("HotKey.Register: Ctrl+7 (3)"), std::string::npos) << log[0];
    EXPECT_EQ(Press("ctrl+6"), std::vector<int>{4});
    EXPECT_EQ(Press("ctrl+7"), std::vector<int>{});  // goes to the other client
}

TEST_F(HotKeysTest, UnusableCharactersAreSkippedWithOneLineEach) {
    // No character, a character the keyboard has no key for, and a key given twice.
    const HotKeyChars chars{U'0', 0, U'\u4e2d', U'a', U'A'};
    EXPECT_EQ(keys->Register(chars), (std::vector<int>{0, 3}));
    ASSERT_EQ(log.size(), 3u);
    EXPECT_NE(log[0].find("no key set for 1"), std::string::npos) << log[0];
    EXPECT_NE(log[1].find("no key on this keyboard"), std::string::npos) << log[1];
    EXPECT_NE(log[2].find("already used"), std::string::npos) << log[2];
    EXPECT_EQ(Press("ctrl+a"), std::vector<int>{3});  // letters fold to capitals
}

TEST_F(HotKeysTest, UnregisterFreesTheKeysForOthersAndReRegisterTakesNewOnes) {
    keys->Register(kFirstRun);
    OtherClient other;
    EXPECT_FALSE(other.Grab(XK_0));
    keys->Unregister();
    EXPECT_EQ(Press("ctrl+6"), std::vector<int>{});
    EXPECT_TRUE(other.Grab(XK_0));
    XUngrabKey(other.d, XKeysymToKeycode(other.d, XK_0), ControlMask, DefaultRootWindow(other.d));
    XSync(other.d, False);

    EXPECT_EQ(keys->ReRegister({U'1', U'2', U'3', U'4', U'5'}).size(), 5u);
    EXPECT_EQ(Press("ctrl+6"), std::vector<int>{});
    EXPECT_EQ(Press("ctrl+5"), std::vector<int>{4});
    keys.reset();  // destruction ungrabs
    EXPECT_TRUE(other.Grab(XK_5));
}

// Grabs see every window on X11, but beside a Wayland compositor only the X11 windows' keys.
TEST_F(HotKeysTest, GrabsSayWhetherTheySeeEveryWindow) {
    const std::pair<const char*, THotKeyWay> cases[] = {{"", THotKeyWay::Grabbed},
                                                        {"wayland-1", THotKeyWay::XwaylandOnly}};
    for (const auto& [wayland, way] : cases) {
        ::setenv("WAYLAND_DISPLAY", wayland, 1);
        EXPECT_EQ(X11HotKeys().Way(), way) << "WAYLAND_DISPLAY=" << wayland;
    }
    ::unsetenv("WAYLAND_DISPLAY");
}

TEST(MakeHotKeysTest, WithoutADisplayNothingIsRegisteredAndThatIsSaidOnce) {
    ::unsetenv("DISPLAY");
    std::vector<std::string> log;
    auto keys = MakeHotKeys([&](const std::string& l) { log.push_back(l); });
    EXPECT_TRUE(keys->Register(kFirstRun).empty());
    EXPECT_TRUE(keys->ReRegister(kFirstRun).empty());
    EXPECT_EQ(log.size(), 1u);
    EXPECT_EQ(keys->Way(), THotKeyWay::Unavailable);
}

TEST(MemoryHotKeysTest, PressRunsTheIdentifierOfTheFoldedKey) {
    MemoryHotKeys keys;
    std::vector<int> ids;
    keys.OnHotKey = [&](int id) { ids.push_back(id); };
    keys.Register({U'0', U'9', 0, U'b', U'6'});
    EXPECT_TRUE(keys.Press(U'B'));
    EXPECT_FALSE(keys.Press(U'8'));
    EXPECT_EQ(ids, std::vector<int>{3});
    keys.Unregister();
    EXPECT_FALSE(keys.Press(U'0'));
}

}  // namespace
}  // namespace wl

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
