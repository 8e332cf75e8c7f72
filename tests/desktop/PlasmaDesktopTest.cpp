// The Plasma backend against a stand-in shell on a private session bus: the stand-in owns
// org.kde.plasmashell and answers evaluateScript the way the shell's scripting does for the two
// scripts the backend sends (write the image of every desktop; print the first one's image).
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "platform/PlasmaDesktop.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

// Index of the quote closing the JSON string literal that opens at `at`.
size_t LiteralEnd(const std::string& text, size_t at) {
    size_t i = at + 1;
    for (; i < text.size() && text[i] != '"'; ++i)
        if (text[i] == '\\') ++i;
    return i;
}

// The JSON string literal that opens at `at`, unescaped (enough for paths).
std::string JsonLiteral(const std::string& text, size_t at) {
    std::string out;
    for (size_t i = at + 1; i < LiteralEnd(text, at); ++i) {
        if (text[i] == '\\') ++i;
        out += text[i];
    }
    return out;
}

class FakePlasmaShell {
  public:
    explicit FakePlasmaShell(const std::string& address) : FAddress(address) {
        FThread = std::thread([this] { Serve(); });
        std::unique_lock lock(FLock);
        FReadyCv.wait(lock, [&] { return FReady; });
    }
    ~FakePlasmaShell() {
        g_main_loop_quit(FLoop);
        FThread.join();
    }
    std::string Image() {
        std::lock_guard lock(FLock);
        return FImage;
    }
    std::string LastScript() {
        std::lock_guard lock(FLock);
        return FScript;
    }

  private:
    static void OnCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                       GVariant* params, GDBusMethodInvocation* invocation, gpointer self) {
        auto* shell = static_cast<FakePlasmaShell*>(self);
        const gchar* script = nullptr;
        g_variant_get(params, "(&s)", &script);
        std::string reply;
        {
            std::lock_guard lock(shell->FLock);
            const std::string text = script;
            shell->FScript = text;
            const std::string write = "writeConfig(\"Image\", ";
            if (const size_t at = text.find(write); at != std::string::npos)
                shell->FImage = JsonLiteral(text, at + write.size());
            if (text.find("print(") != std::string::npos) reply = shell->FImage + "\n";
        }
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(s)", reply.c_str()));
    }

    void Serve() {
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        FLoop = g_main_loop_new(context, FALSE);
        GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
            FAddress.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(
            "<node><interface name='org.kde.PlasmaShell'><method name='evaluateScript'>"
            "<arg type='s' name='script' direction='in'/><arg type='s' direction='out'/>"
            "</method></interface></node>",
            nullptr);
        static const GDBusInterfaceVTable vtable = {OnCall, nullptr, nullptr, {}};
        g_dbus_connection_register_object(bus, "/PlasmaShell", node->interfaces[0], &vtable, this, nullptr,
                                          nullptr);
        GVariant* owned = g_dbus_connection_call_sync(
            bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
            g_variant_new("(su)", "org.kde.plasmashell", 4u), nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr,
            nullptr);
        if (owned) g_variant_unref(owned);
        {
            std::lock_guard lock(FLock);
            FReady = true;
        }
        FReadyCv.notify_all();
        g_main_loop_run(FLoop);
        g_dbus_connection_close_sync(bus, nullptr, nullptr);
        g_object_unref(bus);
        g_dbus_node_info_unref(node);
        g_main_loop_unref(FLoop);
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }

    std::string FAddress;
    std::thread FThread;
    GMainLoop* FLoop = nullptr;
    std::mutex FLock;
    std::condition_variable FReadyCv;
    bool FReady = false;
    std::string FImage, FScript;
};

class PlasmaDesktopTest : public ::testing::Test {
  protected:
    // One private bus per test process (GLib keeps its session bus for the whole process).
    static void SetUpTestSuite() {
        if (std::system("command -v dbus-daemon >/dev/null 2>&1") != 0) return;
        int fds[2];
        if (pipe(fds) != 0) return;
        const std::string fd = std::to_string(fds[1]);
        std::vector<std::string> args = {"dbus-daemon", "--session", "--nofork", "--print-address=" + fd};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        if (posix_spawnp(&busPid, "dbus-daemon", &actions, nullptr, argv.data(), environ) != 0) busPid = 0;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n') address += c;
        close(fds[0]);
        setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        unsetenv("DISPLAY");
    }
    static void TearDownTestSuite() {
        if (busPid > 0) {
            kill(busPid, SIGTERM);
            waitpid(busPid, nullptr, 0);
        }
    }
    void SetUp() override {
        if (address.empty()) GTEST_SKIP() << "dbus-daemon is not available";
        dir = fs::temp_directory_path() / ("wl-plasma-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path Write(const std::string& name, const std::string& content = "x") {
        std::ofstream(dir / name, std::ios::binary) << content;
        return dir / name;
    }

    static inline pid_t busPid = 0;
    static inline std::string address;
    fs::path dir;
};

TEST_F(PlasmaDesktopTest, WithoutAShellOnTheBusTheBackendIsRefused) {
    EXPECT_THROW(PlasmaDesktop{}, std::runtime_error);
}

TEST_F(PlasmaDesktopTest, ShowSetsEveryDesktopStretchedAndReadsItBack) {
    FakePlasmaShell shell(address);
    PlasmaDesktop desktop;
    const fs::path picture = Write("mine.jpg");
    desktop.ShowWallpaper(picture.string());
    EXPECT_EQ(shell.Image(), "file://" + picture.string());
    EXPECT_NE(shell.LastScript().find("d.writeConfig(\"FillMode\", 0);"), std::string::npos);
    EXPECT_EQ(desktop.CurrentWallpaperFile(), picture.string());
    EXPECT_EQ(desktop.Name(), "plasma");
}

TEST_F(PlasmaDesktopTest, ReShowingTheSameFileNamesAFreshLink) {
    FakePlasmaShell shell(address);
    PlasmaDesktop desktop;
    const fs::path picture = Write("Weekleaf-Modifed.bmp");
    desktop.ShowWallpaper(picture.string());
    desktop.ShowWallpaper(picture.string());
    EXPECT_NE(shell.Image(), "file://" + picture.string());
    EXPECT_EQ(desktop.CurrentWallpaperFile(), picture.string());
    EXPECT_EQ(desktop.SystemWallpaperCopyName(), "Weekleaf-Modifed.bmp");
}

TEST_F(PlasmaDesktopTest, FileNamesCannotBreakOutOfTheScriptString) {
    const std::string script = PlasmaDesktop::ShowScript("/home/u/a\"); evil(\"\\x.jpg");
    const size_t at = script.find("writeConfig(\"Image\", ");
    ASSERT_NE(at, std::string::npos);
    const size_t open = at + std::string("writeConfig(\"Image\", ").size();
    ASSERT_EQ(script[open], '"');
    // The literal runs to the end of the call: nothing of the name is left outside it.
    EXPECT_EQ(script.substr(LiteralEnd(script, open) + 1, 3), ");\n") << script;
}

}  // namespace
}  // namespace wl
