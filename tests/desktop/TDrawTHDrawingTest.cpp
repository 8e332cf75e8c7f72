// The drawing thread with the real week drawing. Kept apart from the "threads" tests: the text
// engine's font set-up runs on a helper thread of its own and synchronises inside libraries the
// thread checker cannot see into, which it would report as races.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "MainQueue.h"
#include "data/TWeekleaf.h"
#include "platform/AtomicFile.h"
#include "platform/DataDir.h"
#include "platform/MemoryDesktop.h"
#include "wallpaper/ImageCodecs.h"
#include "wallpaper/TDrawTH.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

class TDrawTHDrawingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("wl-drawth-drawing-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "Weekleaf" / "Wpp");
        setenv("AppData", root.c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    std::string Log() {
        std::ifstream in(DataDir() / "ErrLog.txt", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path root;
    MemoryDesktop desktop;
    test::MainQueue queue;
};

// The real drawing through the scheduler: a tick draws and applies, an unchanged tick leaves the
// picture file and the desktop alone, an edit draws again.
TEST_F(TDrawTHDrawingTest, RealDrawingRunsOnlyWhenSomethingChanged) {
    const fs::path user = root / "user.bmp";
    SaveBmp24(Image(800, 600, Rgb(30, 90, 160)), user);
    desktop.SetScreen({800, 600});
    desktop.ShowWallpaper(user.string());
    WriteFileAtomic(DataDir() / "Data.json", "{}");
    TWeekleaf store(DataDir() / "Data.json");
    const Date today = MakeDate(2026, 12, 10);
    store.Set(DateToStr(today), "<p>купить хлеб</p>");

    DrawScheduler scheduler(desktop, queue.executor());
    const auto tick = [&] {
        ASSERT_TRUE(scheduler.RequestDrawing([&] {
            DrawRequest request;
            request.week = MakeWeekSnapshot(store, today, 0);
            return request;
        }));
        ASSERT_TRUE(queue.PumpOnce());
    };
    tick();
    const fs::path picture = DataDir() / "Weekleaf-Modifed.bmp";
    ASSERT_EQ(desktop.CurrentWallpaperFile(), picture.string()) << Log();
    EXPECT_EQ(LoadBmpFile(picture).width, 800);
    const FileIdentity drawn = IdentityOf(picture);
    const int shows = desktop.ShowCount();

    tick();
    EXPECT_EQ(IdentityOf(picture), drawn);
    EXPECT_EQ(desktop.ShowCount(), shows);

    store.Set(DateToStr(today), "<p>купить хлеб и молоко</p>");
    tick();
    EXPECT_NE(IdentityOf(picture), drawn);
    EXPECT_EQ(desktop.ShowCount(), shows + 1);
}

}  // namespace
}  // namespace wl
