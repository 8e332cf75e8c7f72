// The drawing thread: the request rule, the termination handler on the owning thread, the
// restore gate and the skip of unchanged runs. Runs here are stand-ins for the real drawing that
// write the same files and apply through SetWallpaper.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
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

class TDrawTHTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("wl-drawth-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "Weekleaf" / "Wpp");
        setenv("AppData", root.c_str(), 1);
        WriteFileAtomic(DataDir() / "Weekleaf-Wallpaper.bmp", "background");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // A run that draws `inputs` into the picture and applies it like the real drawing does.
    DrawJob Job(const std::string& inputs, test::Latch* latch = nullptr) {
        return {[this, inputs, latch](IDesktop& d) {
                    if (latch) latch->Wait();
                    ++draws;
                    WriteFileAtomic(DataDir() / "Weekleaf-Modifed.bmp", inputs + std::to_string(draws));
                    SetWallpaper(d);
                },
                inputs,
                {}};
    }
    // One tick: request a run and, when one started, let its termination handler run.
    bool Tick(DrawScheduler& scheduler, const std::string& inputs) {
        if (!scheduler.RequestJob([&] { return Job(inputs); })) return false;
        EXPECT_TRUE(queue.PumpOnce());
        EXPECT_TRUE(scheduler.DrawIdle());
        return true;
    }
    std::string Log() {
        std::ifstream in(DataDir() / "ErrLog.txt", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::string Modified() { return (DataDir() / "Weekleaf-Modifed.bmp").string(); }

    fs::path root;
    MemoryDesktop desktop;
    test::MainQueue queue;
    std::atomic<int> draws{0};
};

TEST_F(TDrawTHTest, RequestsDuringALongRunAreDroppedUntilTheTerminationHandlerRan) {
    DrawScheduler scheduler(desktop, queue.executor());
    test::Latch latch;
    int built = 0;
    ASSERT_TRUE(scheduler.RequestJob([&] {
        ++built;
        return Job("week", &latch);
    }));
    EXPECT_FALSE(scheduler.DrawIdle());
    latch.WaitEntered();
    for (int tick = 0; tick < 5; ++tick)
        EXPECT_FALSE(scheduler.RequestJob([&] {
            ++built;
            return Job("other");
        }));
    EXPECT_EQ(built, 1) << "a dropped request takes no snapshot";

    latch.Open();
    ASSERT_TRUE(queue.PumpOnce());
    EXPECT_TRUE(scheduler.DrawIdle());
    EXPECT_EQ(draws, 1);
    EXPECT_TRUE(Tick(scheduler, "changed"));
    EXPECT_EQ(draws, 2);
}

TEST_F(TDrawTHTest, TerminationHandlerRunsOnTheOwningThread) {
    DrawScheduler scheduler(desktop, queue.executor());
    const auto owner = std::this_thread::get_id();
    std::thread::id seen;
    scheduler.SetOnIdle([&] { seen = std::this_thread::get_id(); });
    ASSERT_TRUE(Tick(scheduler, "week"));
    EXPECT_EQ(seen, owner);
}

TEST_F(TDrawTHTest, AFailingRunIsLoggedAndLeavesDrawIdleTrue) {
    DrawScheduler scheduler(desktop, queue.executor());
    ASSERT_TRUE(scheduler.RequestJob([] {
        return DrawJob{
            [](IDesktop&) { throw std::runtime_error("cannot open the wallpaper file"); }, "x", {}};
    }));
    ASSERT_TRUE(queue.PumpOnce());
    EXPECT_TRUE(scheduler.DrawIdle());
    EXPECT_NE(Log().find("TDrawTH.Execute: cannot open the wallpaper file"), std::string::npos) << Log();
    EXPECT_TRUE(Tick(scheduler, "x")) << "the next tick starts a run again";
}

TEST_F(TDrawTHTest, AFailingSnapshotLeavesTheSchedulerIdle) {
    DrawScheduler scheduler(desktop, queue.executor());
    EXPECT_THROW(scheduler.RequestJob([]() -> DrawJob { throw std::runtime_error("store"); }),
                 std::runtime_error);
    EXPECT_TRUE(scheduler.DrawIdle());
}

TEST_F(TDrawTHTest, ExitWaitsForTheRunningDrawingThenRestores) {
    const std::string old = (DataDir() / "WppOld.bmp").string();
    WriteFileAtomic(old, "user's own");
    DrawScheduler scheduler(desktop, queue.executor());
    test::Latch latch;
    ASSERT_TRUE(scheduler.RequestJob([&] { return Job("week", &latch); }));
    latch.WaitEntered();
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        latch.Open();
    });
    scheduler.WaitIdle([&] { queue.PumpOnce(); });
    releaser.join();
    EXPECT_EQ(desktop.CurrentWallpaperFile(), Modified()) << "the run finished and applied first";
    EXPECT_TRUE(RestoreOnExit(desktop, scheduler.Gate()));
    EXPECT_EQ(desktop.CurrentWallpaperFile(), old);
}

// Hiding the blocks (or the options page's OK) while a run is drawing: the run finishes but its
// picture does not go up, so the user's own picture stays.
TEST_F(TDrawTHTest, ARestoreIsNotUndoneByARunAlreadyGoing) {
    const std::string old = (DataDir() / "WppOld.bmp").string();
    WriteFileAtomic(old, "user's own");
    DrawScheduler scheduler(desktop, queue.executor());
    test::Latch latch;
    ASSERT_TRUE(scheduler.RequestJob([&] { return Job("week", &latch); }));
    latch.WaitEntered();
    RestoreUserWallpaper(desktop, scheduler.Gate());
    latch.Open();
    ASSERT_TRUE(queue.PumpOnce());

    EXPECT_EQ(draws, 1);
    EXPECT_EQ(desktop.CurrentWallpaperFile(), old);
    // Blocks shown again: the next run puts its picture up.
    EXPECT_TRUE(Tick(scheduler, "week"));
    EXPECT_EQ(desktop.CurrentWallpaperFile(), Modified());
}

// A library picture chosen on the options page while a run draws: the run must not cover it with
// blocks drawn on the previous picture; the next run draws onto the chosen one.
TEST_F(TDrawTHTest, APictureChosenDuringARunIsNotCoveredByIt) {
    DrawScheduler scheduler(desktop, queue.executor());
    test::Latch latch;
    ASSERT_TRUE(scheduler.RequestJob([&] { return Job("week", &latch); }));
    latch.WaitEntered();
    SetWallpaperPath(desktop, scheduler.Gate(), "/library/sea.jpg");
    latch.Open();
    ASSERT_TRUE(queue.PumpOnce());
    EXPECT_EQ(desktop.CurrentWallpaperFile(), "/library/sea.jpg");
}

TEST_F(TDrawTHTest, AnUnchangedTickDoesNotDrawOrApply) {
    DrawScheduler scheduler(desktop, queue.executor());
    ASSERT_TRUE(Tick(scheduler, "week"));
    const int shows = desktop.ShowCount();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Tick(scheduler, "week"));
    EXPECT_EQ(draws, 1);
    EXPECT_EQ(desktop.ShowCount(), shows);
}

TEST_F(TDrawTHTest, AnyChangedInputMakesTheNextTickDraw) {
    struct Case {
        const char* what;
        std::function<void(MemoryDesktop&, std::string& inputs)> change;
    };
    const Case cases[] = {
        {"entries, dates, offset, font or alpha",
         [](MemoryDesktop&, std::string& inputs) { inputs += "+edit"; }},
        {"the cached background was rebuilt",
         [](MemoryDesktop&, std::string&) {
             WriteFileAtomic(DataDir() / "Weekleaf-Wallpaper.bmp", "rebuilt");
         }},
        {"the screen size",
         [](MemoryDesktop& d, std::string&) {
             d.SetScreen({1280, 1024});
         }},
        {"the desktop shows another picture",
         [](MemoryDesktop& d, std::string&) { d.ShowWallpaper("/somewhere/else.jpg"); }},
        {"the picture file was rewritten by someone else",
         [](MemoryDesktop&, std::string&) { WriteFileAtomic(DataDir() / "Weekleaf-Modifed.bmp", "other"); }},
        {"the picture file was deleted",
         [](MemoryDesktop&, std::string&) { fs::remove(DataDir() / "Weekleaf-Modifed.bmp"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DrawScheduler scheduler(desktop, queue.executor());
        std::string inputs = "week";
        ASSERT_TRUE(Tick(scheduler, inputs));
        ASSERT_TRUE(Tick(scheduler, inputs));
        const int before = draws;
        c.change(desktop, inputs);
        ASSERT_TRUE(Tick(scheduler, inputs));
        EXPECT_EQ(draws, before + 1);
        EXPECT_EQ(desktop.CurrentWallpaperFile(), Modified());
    }
}

TEST_F(TDrawTHTest, ARunThatAppliedAnOldPictureDoesNotVouchForTheDesktop) {
    DrawScheduler scheduler(desktop, queue.executor());
    ASSERT_TRUE(Tick(scheduler, "week"));
    // The drawing failed after the background stage and applied the previous picture.
    int attempts = 0;
    auto stale = [&] {
        return DrawJob{[&](IDesktop& d) {
                           ++attempts;
                           SetWallpaper(d);
                       },
                       "week+edit",
                       {}};
    };
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(scheduler.RequestJob(stale));
        ASSERT_TRUE(queue.PumpOnce());
    }
    EXPECT_EQ(attempts, 2);
}

TEST_F(TDrawTHTest, DestroyingTheSchedulerWithAQueuedHandlerIsHarmless) {
    auto scheduler = std::make_unique<DrawScheduler>(desktop, queue.executor());
    ASSERT_TRUE(scheduler->RequestJob([&] { return Job("week"); }));
    scheduler.reset();
    EXPECT_TRUE(queue.PumpOnce());
}

TEST(DrawInputs, EveryInputTellsRunsApart) {
    WeekSnapshot week;
    week.entries[3] = "<p>купить хлеб</p>";
    week.dates[1] = "07.12.2026";
    week.today = Date{20000};
    const std::string base = DrawInputs(week, "Tahoma", 8, 125);
    EXPECT_EQ(DrawInputs(week, "Tahoma", 8, 125), base);

    struct Case {
        const char* what;
        std::function<std::string(WeekSnapshot)> key;
    };
    const Case cases[] = {
        {"entry",
         [](WeekSnapshot w) {
             w.entries[3] += "!";
             return DrawInputs(w, "Tahoma", 8, 125);
         }},
        {"entry moved to the next block",
         [](WeekSnapshot w) {
             w.entries[4] = w.entries[3];
             w.entries[3].clear();
             return DrawInputs(w, "Tahoma", 8, 125);
         }},
        {"date",
         [](WeekSnapshot w) {
             w.dates[1] = "14.12.2026";
             return DrawInputs(w, "Tahoma", 8, 125);
         }},
        {"today",
         [](WeekSnapshot w) {
             w.today = Date{20001};
             return DrawInputs(w, "Tahoma", 8, 125);
         }},
        {"offset",
         [](WeekSnapshot w) {
             w.weekOffsetDays = 7;
             return DrawInputs(w, "Tahoma", 8, 125);
         }},
        {"font", [](WeekSnapshot w) { return DrawInputs(w, "Arial", 8, 125); }},
        {"font size", [](WeekSnapshot w) { return DrawInputs(w, "Tahoma", 9, 125); }},
        {"alpha", [](WeekSnapshot w) { return DrawInputs(w, "Tahoma", 8, 255); }},
    };
    for (const Case& c : cases) EXPECT_NE(c.key(week), base) << c.what;
}

}  // namespace
}  // namespace wl
