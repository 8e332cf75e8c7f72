// Which backend MakeDesktop picks for a session, from XDG_CURRENT_DESKTOP and DISPLAY.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "XvfbServer.h"
#include "platform/Desktop.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

class MakeDesktopTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Whatever GNOME case runs writes nothing to the real settings.
        setenv("GSETTINGS_BACKEND", "keyfile", 1);
        setenv("XDG_CONFIG_HOME", (Root() / "config").c_str(), 1);
        // No session bus: a Plasma shell is never found.
        setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/weekleaf-test-bus", 1);
        fs::create_directories(Root() / "bin");
        fs::copy_file(WL_FAKE_XFCONF, Root() / "bin" / "xfconf-query", fs::copy_options::overwrite_existing);
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(Root(), ec);
    }
    static fs::path Root() {
        return fs::temp_directory_path() / ("wl-make-desktop-" + std::to_string(::getpid()));
    }

    std::string Pick(const char* session, const std::string& display, bool xfconf = false) {
        if (session)
            setenv("XDG_CURRENT_DESKTOP", session, 1);
        else
            unsetenv("XDG_CURRENT_DESKTOP");
        if (display.empty())
            unsetenv("DISPLAY");
        else
            setenv("DISPLAY", display.c_str(), 1);
        setenv("PATH", xfconf ? (Root().string() + "/bin:/usr/bin:/bin").c_str() : "/usr/bin:/bin", 1);
        setenv("FAKE_XFCONF", Root().c_str(), 1);
        return MakeDesktop(PictureFiles{})->Name();
    }
};

TEST_F(MakeDesktopTest, SessionsWithoutADisplayOrAKnownDesktopGetTheMemoryBackend) {
    EXPECT_EQ(Pick(nullptr, ""), "memory");
    EXPECT_EQ(Pick("", ""), "memory");
    EXPECT_EQ(Pick("Hyprland", ""), "memory");
    EXPECT_EQ(Pick("KDE", ""), "memory") << "no Plasma shell on the bus";
    EXPECT_EQ(Pick("XFCE", ""), "memory") << "no xfconf-query";
    EXPECT_EQ(Pick(nullptr, ":987654"), "memory") << "an unreachable display";
    EXPECT_EQ(MakeDesktop(PictureFiles{})->Screen(), kDefaultScreen);
}

TEST_F(MakeDesktopTest, KnownDesktopsGetTheirBackend) {
    EXPECT_EQ(Pick("XFCE", "", true), "xfce");
    EXPECT_EQ(Pick("ubuntu:GNOME", ""), "gnome");
    EXPECT_EQ(Pick("Budgie:GNOME", ""), "gnome");
}

TEST_F(MakeDesktopTest, AnyOtherX11SessionGetsTheRootWindow) {
    if (!test::XvfbServer::Installed()) GTEST_SKIP() << "Xvfb is not installed";
    test::XvfbServer server;
    ASSERT_FALSE(server.Display().empty());
    EXPECT_EQ(Pick(nullptr, server.Display()), "x11-root");
    EXPECT_EQ(Pick("i3", server.Display()), "x11-root");
    EXPECT_EQ(Pick("KDE", server.Display()), "x11-root") << "KDE without its shell";
}

}  // namespace
}  // namespace wl
