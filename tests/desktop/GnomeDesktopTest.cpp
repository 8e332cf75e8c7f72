// The GSettings backend on GLib's keyfile settings backend (set in the test's environment), so
// the keys land in a file under this test's XDG_CONFIG_HOME and other processes can read them.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/GnomeDesktop.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

std::string Shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    std::array<char, 512> buffer{};
    while (fgets(buffer.data(), buffer.size(), pipe)) out += buffer.data();
    pclose(pipe);
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

// The schema's own default picture, the fallback when the shown file is gone.
fs::path DefaultPicture() {
    GSettingsSchema* schema = g_settings_schema_source_lookup(g_settings_schema_source_get_default(),
                                                              "org.gnome.desktop.background", TRUE);
    GSettingsSchemaKey* key = g_settings_schema_get_key(schema, "picture-uri");
    GVariant* value = g_settings_schema_key_get_default_value(key);
    gchar* path = g_filename_from_uri(g_variant_get_string(value, nullptr), nullptr, nullptr);
    fs::path result = path ? path : "";
    g_free(path);
    g_variant_unref(value);
    g_settings_schema_key_unref(key);
    g_settings_schema_unref(schema);
    return result;
}

ino_t Inode(const fs::path& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
}

class GnomeDesktopTest : public ::testing::Test {
  protected:
    // GLib reads these once per process, before its first settings call: the keys go to a
    // keyfile of this process's own (ctest may run several test processes at once).
    static void SetUpTestSuite() {
        const fs::path home = fs::temp_directory_path() / ("wl-gnome-config-" + std::to_string(::getpid()));
        setenv("GSETTINGS_BACKEND", "keyfile", 1);
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        unsetenv("DISPLAY");
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(fs::temp_directory_path() / ("wl-gnome-config-" + std::to_string(::getpid())), ec);
    }

    void SetUp() override {
        if (!GSettingsProfileAvailable(GnomeProfile()))
            GTEST_SKIP() << "the GNOME background schema is not installed";
        dir = fs::temp_directory_path() / ("wl-gnome-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        desktop = std::make_unique<GnomeDesktop>();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path Picture(const std::string& name, const std::string& content = "picture") {
        const fs::path file = dir / name;
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }
    std::string Uri(const fs::path& file) { return "file://" + file.string(); }

    fs::path dir;
    std::unique_ptr<GnomeDesktop> desktop;
};

TEST_F(GnomeDesktopTest, ShowWritesBothUrisAndStretchedForOtherProcesses) {
    const fs::path file = Picture("mine.jpg");
    desktop->ShowWallpaper(file.string());

    EXPECT_EQ(desktop->CurrentWallpaperFile(), file.string());
    EXPECT_EQ(Shell("gsettings get org.gnome.desktop.background picture-uri"), "'" + Uri(file) + "'");
    EXPECT_EQ(Shell("gsettings get org.gnome.desktop.background picture-uri-dark"), "'" + Uri(file) + "'");
    EXPECT_EQ(Shell("gsettings get org.gnome.desktop.background picture-options"), "'stretched'");
    EXPECT_EQ(desktop->Name(), "gnome");
}

TEST_F(GnomeDesktopTest, ReShowingARewrittenFileGivesTheShellANewUriHoldingTheNewContent) {
    const fs::path file = Picture("Weekleaf-Modifed.bmp", "first");
    desktop->ShowWallpaper(file.string());

    // Rewritten the way the drawing writes it: a new file renamed over the old one.
    Picture("Weekleaf-Modifed.tmp", "second");
    fs::rename(dir / "Weekleaf-Modifed.tmp", file);
    desktop->ShowWallpaper(file.string());
    const std::string secondUri = desktop->PictureKeyValue();
    EXPECT_NE(secondUri, Uri(file));
    const fs::path secondLink = secondUri.substr(7);
    EXPECT_EQ(Inode(secondLink), Inode(file));
    EXPECT_EQ(secondLink.filename(), "Weekleaf-Modifed.bmp");
    EXPECT_EQ(desktop->CurrentWallpaperFile(), file.string());

    Picture("Weekleaf-Modifed.tmp", "third");
    fs::rename(dir / "Weekleaf-Modifed.tmp", file);
    desktop->ShowWallpaper(file.string());
    const std::string thirdUri = desktop->PictureKeyValue();
    EXPECT_NE(thirdUri, secondUri);
    EXPECT_EQ(Inode(thirdUri.substr(7)), Inode(file));
    EXPECT_FALSE(fs::exists(secondLink)) << "older links are removed";
    EXPECT_EQ(desktop->CurrentWallpaperFile(), file.string());

    // Another picture: the key names it directly and the links go.
    const fs::path other = Picture("WppOld.bmp");
    desktop->ShowWallpaper(other.string());
    EXPECT_EQ(desktop->PictureKeyValue(), Uri(other));
    EXPECT_FALSE(fs::exists(dir / ".weekleaf-shown"));
}

TEST_F(GnomeDesktopTest, SystemCopyIsTheShownPicture) {
    const fs::path file = Picture("holiday.png", "pixels");
    desktop->ShowWallpaper(file.string());

    EXPECT_EQ(desktop->SystemWallpaperCopyName(), "holiday.png");
    const fs::path copy = desktop->SaveSystemWallpaperCopy(dir / "Wpp");
    EXPECT_EQ(copy, dir / "Wpp" / "holiday.png");
    std::ifstream in(copy, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "pixels");
}

TEST_F(GnomeDesktopTest, SystemCopyOfAMissingPictureFallsBackToTheDefaultOrFails) {
    desktop->ShowWallpaper((dir / "gone.jpg").string());
    const fs::path defaultFile = DefaultPicture();
    if (fs::exists(defaultFile)) {
        EXPECT_EQ(desktop->SaveSystemWallpaperCopy(dir / "Wpp").filename(), defaultFile.filename());
    } else {
        EXPECT_THROW(desktop->SaveSystemWallpaperCopy(dir / "Wpp"), std::runtime_error);
        EXPECT_EQ(desktop->SystemWallpaperCopyName(), "gone.jpg");
    }
}

TEST_F(GnomeDesktopTest, ScreenWithoutADisplayIsTheDefault) {
    EXPECT_EQ(desktop->Screen(), kDefaultScreen);
}

TEST(GSettingsProfiles, MissingSchemaIsUnavailableAndRefused) {
    GSettingsProfile missing = GnomeProfile();
    missing.schema = "org.example.not.installed";
    EXPECT_FALSE(GSettingsProfileAvailable(missing));
    EXPECT_THROW(GnomeDesktop{missing}, std::runtime_error);
}

}  // namespace
}  // namespace wl
