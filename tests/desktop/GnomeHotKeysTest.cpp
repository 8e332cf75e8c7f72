// Hot keys as GNOME custom shortcuts, in a keyfile of this process's own: our entries carry the
// remote command, the user's own shortcuts are never touched and keep their keys, and
// unregistering removes exactly our entries.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/GnomeHotKeys.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

const std::string kList = "org.gnome.settings-daemon.plugins.media-keys";
const std::string kEntry = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding:";
const std::string kUsers = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/";

// A key's value as gsettings prints it, read in this process (GLib reads its backend's
// settings once per process, and another suite of this process may have chosen the keyfile).
std::string Get(const std::string& schema, const std::string& key) {
    const std::size_t colon = schema.find(':');
    GSettings* settings =
        colon == std::string::npos
            ? g_settings_new(schema.c_str())
            : g_settings_new_with_path(schema.substr(0, colon).c_str(), schema.substr(colon + 1).c_str());
    GVariant* value = g_settings_get_value(settings, key.c_str());
    gchar* text = g_variant_print(value, FALSE);
    std::string printed = text;
    g_free(text);
    g_variant_unref(value);
    g_object_unref(settings);
    return printed;
}

void SetUsersShortcut() {
    GSettings* list = g_settings_new(kList.c_str());
    const gchar* entries[] = {kUsers.c_str(), nullptr};
    g_settings_set_strv(list, "custom-keybindings", entries);
    g_object_unref(list);
    GSettings* entry = g_settings_new_with_path(kEntry.substr(0, kEntry.size() - 1).c_str(), kUsers.c_str());
    g_settings_set_string(entry, "name", "Terminal");
    g_settings_set_string(entry, "command", "gnome-terminal");
    g_settings_set_string(entry, "binding", "<Primary>9");
    g_object_unref(entry);
    g_settings_sync();
}

TEST(GnomeHotKeysNames, AcceleratorsAreComparedAsGnomeReadsThem) {
    EXPECT_EQ(GnomeHotKeys::Accelerator(U'6'), "<Control>6");
    EXPECT_EQ(GnomeHotKeys::Accelerator(U'W'), "<Control>w");
    EXPECT_EQ(GnomeHotKeys::Accelerator(U'ж'), "");
    const struct {
        const char* user;
        bool same;
    } cases[] = {{"<Control>6", true}, {"<Primary>6", true}, {"<Ctrl>6", true}, {"<Control><Shift>6", false},
                 {"<Super>6", false},  {"6", false},         {"", false}};
    for (const auto& c : cases)
        EXPECT_EQ(GnomeHotKeys::SameAccelerator(c.user, "<Control>6"), c.same) << c.user;
    EXPECT_TRUE(GnomeHotKeys::SameAccelerator("<Shift><Control>W", "<control><shift>w"));
}

class GnomeHotKeysTest : public ::testing::Test {
  protected:
    // GLib reads these once per process, before its first settings call; the keys go to a
    // keyfile, never to the real settings.
    static void SetUpTestSuite() {
        setenv("GSETTINGS_BACKEND", "keyfile", 1);
        setenv("XDG_CONFIG_HOME", Home().c_str(), 1);
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(Home(), ec);
    }
    static fs::path Home() {
        return fs::temp_directory_path() / ("wl-gnome-keys-" + std::to_string(::getpid()));
    }

    void SetUp() override {
        if (!GnomeHotKeys::Available()) GTEST_SKIP() << "GNOME's keyboard shortcut schemas are not installed";
        SetUsersShortcut();  // on Ctrl+9
    }
    static std::string Command(int id) { return "\"/usr/bin/weekleaf\" --hot-key " + std::to_string(id); }
};

TEST_F(GnomeHotKeysTest, EachKeyBecomesAShortcutThatRunsTheRemoteCommandBesideTheUsersOwn) {
    GnomeHotKeys keys(Command);
    std::vector<std::string> log;
    keys.Log = [&](const std::string& line) { log.push_back(line); };

    EXPECT_EQ(keys.Register({U'0', U'9', U'ж', 0, U'6'}), (std::vector<int>{0, 4}));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[0].find("<Control>9 is one of the user's own shortcuts"), std::string::npos) << log[0];

    const std::string editor = GnomeHotKeys::EntryPath(4);
    EXPECT_EQ(Get(kList, "custom-keybindings"),
              "['" + kUsers + "', '" + GnomeHotKeys::EntryPath(0) + "', '" + editor + "']");
    EXPECT_EQ(Get(kEntry + editor, "binding"), "'<Control>6'");
    EXPECT_EQ(Get(kEntry + editor, "command"), "'\"/usr/bin/weekleaf\" --hot-key 4'");
    EXPECT_EQ(Get(kEntry + kUsers, "binding"), "'<Primary>9'");

    // Registering again (new keys from the options) replaces our entries, not adds to them.
    EXPECT_EQ(keys.ReRegister({0, 0, 0, 0, U'7'}), (std::vector<int>{4}));
    EXPECT_EQ(Get(kList, "custom-keybindings"), "['" + kUsers + "', '" + editor + "']");
    EXPECT_EQ(Get(kEntry + editor, "binding"), "'<Control>7'");
}

TEST_F(GnomeHotKeysTest, UnregisteringOrEndingRemovesExactlyOurShortcuts) {
    {
        GnomeHotKeys keys(Command);
        keys.Register({U'0', 0, 0, 0, U'6'});
        keys.Unregister();
        EXPECT_EQ(Get(kList, "custom-keybindings"), "['" + kUsers + "']");
        EXPECT_EQ(Get(kEntry + GnomeHotKeys::EntryPath(4), "binding"), "''");
        keys.Register({0, 0, 0, 0, U'6'});
    }  // the program ends
    EXPECT_EQ(Get(kList, "custom-keybindings"), "['" + kUsers + "']");
    EXPECT_EQ(Get(kEntry + kUsers, "command"), "'gnome-terminal'");
    EXPECT_EQ(Get(kEntry + kUsers, "binding"), "'<Primary>9'");
}

}  // namespace
}  // namespace wl
