// The XFCE backend against a stand-in xfconf-query that keeps each property in a file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/XfceDesktop.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

class XfceDesktopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("wl-xfce-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "bin");
        fs::create_directories(root / "store");
        fs::copy_file(WL_FAKE_XFCONF, root / "bin" / "xfconf-query");
        setenv("PATH", (root.string() + "/bin:/usr/bin:/bin").c_str(), 1);
        setenv("FAKE_XFCONF", (root / "store").c_str(), 1);
        unsetenv("DISPLAY");
        desktop = std::make_unique<XfceDesktop>();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    fs::path Write(const fs::path& file, const std::string& content) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }
    std::string Property(const std::string& name) {
        std::ifstream in(root / "store" / name.substr(1));
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path root;
    std::unique_ptr<XfceDesktop> desktop;
};

TEST_F(XfceDesktopTest, FreshChannelGetsTheFirstMonitorStretched) {
    const fs::path picture = Write(root / "pics" / "mine.jpg", "x");
    desktop->ShowWallpaper(picture.string());
    EXPECT_EQ(Property("/backdrop/screen0/monitor0/workspace0/last-image"), picture.string());
    EXPECT_EQ(Property("/backdrop/screen0/monitor0/workspace0/image-style"), "3");
    EXPECT_EQ(desktop->CurrentWallpaperFile(), picture.string());
    EXPECT_EQ(desktop->Screen(), kDefaultScreen);
}

TEST_F(XfceDesktopTest, EveryMonitorAndWorkspaceGetsThePicture) {
    for (const char* p : {"/backdrop/screen0/monitorHDMI-1/workspace0/last-image",
                          "/backdrop/screen0/monitoreDP-1/workspace1/last-image"})
        Write(root / "store" / (p + 1), "/old.jpg");
    const fs::path picture = Write(root / "pics" / "mine.png", "x");
    desktop->ShowWallpaper(picture.string());
    EXPECT_EQ(Property("/backdrop/screen0/monitorHDMI-1/workspace0/last-image"), picture.string());
    EXPECT_EQ(Property("/backdrop/screen0/monitoreDP-1/workspace1/last-image"), picture.string());
    EXPECT_EQ(Property("/backdrop/screen0/monitoreDP-1/workspace1/image-style"), "3");
}

TEST_F(XfceDesktopTest, ReShowingTheSameFileNamesAFreshLinkOfIt) {
    const fs::path picture = Write(root / "data" / "Weekleaf-Modifed.bmp", "one");
    desktop->ShowWallpaper(picture.string());
    desktop->ShowWallpaper(picture.string());
    const std::string named = Property("/backdrop/screen0/monitor0/workspace0/last-image");
    EXPECT_NE(named, picture.string());
    EXPECT_TRUE(fs::equivalent(named, picture));
    EXPECT_EQ(desktop->CurrentWallpaperFile(), picture.string());
}

TEST_F(XfceDesktopTest, SystemCopyIsTheShownPicture) {
    const fs::path picture = Write(root / "pics" / "sea.jpg", "waves");
    desktop->ShowWallpaper(picture.string());
    EXPECT_EQ(desktop->SystemWallpaperCopyName(), "sea.jpg");
    const fs::path copy = desktop->SaveSystemWallpaperCopy(root / "Wpp");
    EXPECT_EQ(copy, root / "Wpp" / "sea.jpg");
    EXPECT_TRUE(fs::exists(copy));

    desktop->ShowWallpaper((root / "pics" / "gone.jpg").string());
    EXPECT_THROW(desktop->SaveSystemWallpaperCopy(root / "Wpp"), std::runtime_error);
}

}  // namespace
}  // namespace wl
