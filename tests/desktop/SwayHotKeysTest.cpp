// Hot keys in a sway session: the user's own bindings are recognised in any spelling, and against
// a real headless sway a pressed key runs its command, a key the user binds is left to the user,
// and unregistering takes exactly our bindings away.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "SwaySession.h"
#include "platform/SwayHotKeys.h"
#include "platform/SwayIpc.h"

namespace wl {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(SwayHotKeysConfig, TheUsersOwnBindingIsFoundInAnySpelling) {
    const struct {
        const char* config;
        bool binds;
    } cases[] = {
        {"bindsym Ctrl+6 exec foot\n", true},
        {"  bindsym --no-repeat --to-code control+6 exec foot\n", true},
        {"bindsym 6+Ctrl exec foot\n", true},
        {"set $mod Ctrl\nbindsym $mod+6 workspace 6\n", true},
        {"set $mod Mod4\nbindsym $mod+6 workspace 6\n", false},
        {"bindsym Ctrl+Shift+6 exec foot\n", false},
        {"bindsym Ctrl+7 exec foot\n# bindsym Ctrl+6 exec foot\n", false},
        {"bindcode Ctrl+15 exec foot\n", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(SwayHotKeys::ConfigBinds(c.config, "Ctrl+6"), c.binds) << c.config;
}

TEST(SwayHotKeysConfig, OnlyLatinLettersAndDigitsAreBound) {
    EXPECT_EQ(SwayHotKeys::Combo(U'6'), "Ctrl+6");
    EXPECT_EQ(SwayHotKeys::Combo(U'W'), "Ctrl+w");
    EXPECT_EQ(SwayHotKeys::Combo(U'w'), "Ctrl+w");
    EXPECT_EQ(SwayHotKeys::Combo(U'ж'), "");
    EXPECT_EQ(SwayHotKeys::Combo(U';'), "");
}

TEST(SwayHotKeysConfig, TheConfigurationTextIsUnescaped) {
    EXPECT_EQ(
        SwayConfigText(
            R"({"config": "set $mod Mod4\nbindsym $mod+Return exec \"foot\" \/x \u0436 \ud83d\ude00"})"),
        "set $mod Mod4\nbindsym $mod+Return exec \"foot\" /x ж 😀");
    EXPECT_EQ(SwayConfigText(R"({"other": 1})"), "");
    EXPECT_EQ(SwayConfigText(R"({"config": "cut \u00)"), "cut ");
}

class SwayHotKeysSession : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::SwaySession::Installed() || std::system("command -v wtype >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "sway, swaybg, grim or wtype is not installed";
        static int run = 0;
        root = fs::temp_directory_path() /
               ("wl-swaykeys-" + std::to_string(::getpid()) + "-" + std::to_string(++run));
        fs::remove_all(root);
        fs::create_directories(root / "fired");
        fs::permissions(root, fs::perms::all);
        fs::permissions(root / "fired", fs::perms::all);
    }
    void TearDown() override {
        session.reset();
        std::error_code error;
        fs::remove_all(root, error);
    }
    void Start(const std::string& userConfig = {}) {
        session = std::make_unique<test::SwaySession>(root / "sway", 640, 400, "", userConfig);
        ASSERT_TRUE(session->Running()) << "sway did not start; see " << session->Log();
    }
    // Each key touches a file named after its identifier.
    std::function<std::string(int)> Command() {
        return [this](int id) { return "touch " + (root / "fired" / std::to_string(id)).string(); };
    }
    void Press(char key) {
        const std::string command = "WAYLAND_DISPLAY=" + session->WaylandDisplay() +
                                    " XDG_RUNTIME_DIR=" + session->RuntimeDir().string() +
                                    " wtype -s 100 -M ctrl -k " + std::string(1, key) + " -m ctrl";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    bool Fired(const std::string& name, std::chrono::milliseconds limit = 3s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!fs::exists(root / "fired" / name)) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(50ms);
        }
        return true;
    }
    std::string UsersBinding() {
        return "bindsym Control+9 exec touch " + (root / "fired" / "user").string() + "\n";
    }

    fs::path root;
    std::unique_ptr<test::SwaySession> session;
};

TEST_F(SwayHotKeysSession, APressedKeyRunsItsCommandAndTheUsersOwnKeyIsLeftAlone) {
    Start(UsersBinding());
    SwayHotKeys keys(session->Socket(), Command());
    std::vector<std::string> log;
    keys.Log = [&](const std::string& line) { log.push_back(line); };

    EXPECT_EQ(keys.Register({U'0', U'9', U'ж', 0, U'6'}), (std::vector<int>{0, 4}));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[0].find("Ctrl+9 is bound in sway's configuration already"), std::string::npos) << log[0];

    Press('6');
    EXPECT_TRUE(Fired("4"));
    Press('9');
    EXPECT_TRUE(Fired("user"));
    EXPECT_FALSE(fs::exists(root / "fired" / "1"));
}

TEST_F(SwayHotKeysSession, UnregisteringTakesExactlyOurBindingsAway) {
    Start(UsersBinding());
    {
        SwayHotKeys keys(session->Socket(), Command());
        EXPECT_EQ(keys.Register({U'0', 0, 0, 0, U'6'}), (std::vector<int>{0, 4}));
        keys.Unregister();
        Press('6');
        EXPECT_FALSE(Fired("4", 1s));
        EXPECT_EQ(keys.Register({0, 0, 0, 0, U'6'}), (std::vector<int>{4}));
    }  // the program ends: its bindings go with it
    Press('6');
    EXPECT_FALSE(Fired("4", 1s));
    Press('9');
    EXPECT_TRUE(Fired("user")) << "the user's own binding was lost";
}

}  // namespace
}  // namespace wl
