// Applying, backing up and restoring the wallpaper, against a desktop that only remembers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/DataDir.h"
#include "platform/MemoryDesktop.h"
#include "wallpaper/TWallPaper.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

// A desktop whose system copy can be made to fail, and which counts its shows.
class FakeDesktop : public MemoryDesktop {
  public:
    bool copyFails = false;
    std::string copyName = "TranscodedWallpaper.jpg";
    fs::path systemPicture;  // what the "system" keeps as its copy

    std::string SystemWallpaperCopyName() override { return copyName; }
    fs::path SaveSystemWallpaperCopy(const fs::path& folder) override {
        if (copyFails) throw std::runtime_error("The system cannot find the file specified.");
        fs::create_directories(folder);
        fs::copy_file(systemPicture, folder / copyName, fs::copy_options::overwrite_existing);
        return folder / copyName;
    }
};

class TWallPaperTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("wl-twallpaper-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "Weekleaf" / "Wpp");
        setenv("AppData", root.c_str(), 1);
        desktop.systemPicture = Write(root / "system.jpg", "system");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    static fs::path Write(const fs::path& file, const std::string& content) {
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }
    static std::string Read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::string Log() { return Read(DataDir() / "ErrLog.txt"); }

    fs::path root;
    FakeDesktop desktop;
};

TEST_F(TWallPaperTest, CurrentWallpaperPathIsTheShownFileWhenItExists) {
    const fs::path mine = Write(root / "mine.png", "x");
    desktop.ShowWallpaper(mine.string());
    EXPECT_EQ(CurrentWallpaperPath(desktop), mine.string());
    EXPECT_FALSE(fs::exists(DataDir() / "Wpp" / "TranscodedWallpaper.jpg"));
}

TEST_F(TWallPaperTest, CurrentWallpaperPathFallsBackToTheBackupWhenTheFileIsGoneOrUnknown) {
    for (const std::string& shown : {(root / "deleted.png").string(), std::string()}) {
        SCOPED_TRACE(shown);
        desktop.ShowWallpaper(shown);
        const fs::path expected = DataDir() / "Wpp" / "TranscodedWallpaper.jpg";
        EXPECT_EQ(CurrentWallpaperPath(desktop), expected.string());
        EXPECT_EQ(Read(expected), "system");
    }
}

TEST_F(TWallPaperTest, FailedBackupLogsAndStillReturnsTheDestination) {
    desktop.copyFails = true;
    desktop.copyName = "TranscodedWallpaper";
    EXPECT_EQ(BackUpWpp(desktop), (DataDir() / "Wpp" / "TranscodedWallpaper").string());
    EXPECT_NE(Log().find("BackUpWpp: The system cannot find the file specified."), std::string::npos)
        << Log();
}

TEST_F(TWallPaperTest, SetWallpaperShowsTheModifiedPicture) {
    const fs::path modified = Write(DataDir() / "Weekleaf-Modifed.bmp", "drawn");
    SetWallpaper(desktop);
    EXPECT_EQ(desktop.CurrentWallpaperFile(), modified.string());
    EXPECT_FALSE(fs::exists(DataDir() / "ErrLog.txt"));
}

TEST_F(TWallPaperTest, SetWallpaperWithoutTheModifiedPictureShowsTheBackupAndLogsIt) {
    SetWallpaper(desktop);
    const std::string backup = (DataDir() / "Wpp" / "TranscodedWallpaper.jpg").string();
    EXPECT_EQ(desktop.CurrentWallpaperFile(), backup);
    EXPECT_NE(Log().find("SetWallpaper: BackUpWpp/DefoultWpp=" + backup), std::string::npos) << Log();
}

TEST_F(TWallPaperTest, SetWallpaperPathAndTWallPaperShowTheGivenPathUnchecked) {
    SetWallpaperPath(desktop, "/nowhere/a.jpg");
    EXPECT_EQ(desktop.CurrentWallpaperFile(), "/nowhere/a.jpg");
    TWallPaper paper(desktop);
    paper.SetWallpaper("/nowhere/b.bmp");
    EXPECT_EQ(paper.Wallpaper(), "/nowhere/b.bmp");
}

// Without "WppOld.bmp" the desktop had no picture before ours: both restores take ours down.
TEST_F(TWallPaperTest, ExitAndHidingTheBlocksRestoreWppOldOrClearTheDesktopWithoutIt) {
    struct Case {
        const char* name;
        void (*restore)(IDesktop&, WallpaperGate&);
    };
    const Case cases[] = {
        {"exit", [](IDesktop& d, WallpaperGate& g) { RestoreOnExit(d, g); }},
        {"hiding the blocks", [](IDesktop& d, WallpaperGate& g) { RestoreUserWallpaper(d, g); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WallpaperGate gate;
        fs::remove(DataDir() / "WppOld.bmp");
        desktop.ShowWallpaper("drawn.bmp");
        const uint64_t generation = gate.Generation();
        c.restore(desktop, gate);
        EXPECT_EQ(desktop.CurrentWallpaperFile(), "");
        EXPECT_NE(gate.Generation(), generation) << "a run requested before must not put its picture up";

        const fs::path old = Write(DataDir() / "WppOld.bmp", "old");
        desktop.ShowWallpaper("drawn.bmp");
        c.restore(desktop, gate);
        EXPECT_EQ(desktop.CurrentWallpaperFile(), old.string());
    }
    WallpaperGate gate;
    EXPECT_TRUE(RestoreOnExit(desktop, gate));
    fs::remove(DataDir() / "WppOld.bmp");
    EXPECT_FALSE(RestoreOnExit(desktop, gate));
}

TEST_F(TWallPaperTest, ARunRequestedBeforeARestoreDoesNotApplyItsPicture) {
    const fs::path old = Write(DataDir() / "WppOld.bmp", "old");
    WallpaperGate gate;
    GuardedDesktop before(desktop, gate, gate.Generation());
    RestoreUserWallpaper(desktop, gate);
    GuardedDesktop after(desktop, gate, gate.Generation());

    SetWallpaperPath(before, "drawn-before.bmp");
    EXPECT_TRUE(before.Dropped());
    EXPECT_EQ(before.Applied(), "");
    EXPECT_EQ(desktop.CurrentWallpaperFile(), old.string());

    SetWallpaperPath(after, "drawn-after.bmp");
    EXPECT_FALSE(after.Dropped());
    EXPECT_EQ(after.Applied(), "drawn-after.bmp");
    EXPECT_EQ(desktop.CurrentWallpaperFile(), "drawn-after.bmp");
}

}  // namespace
}  // namespace wl
