#include "wallpaper/WppLibrary.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/DataFiles.h"
#include "data/TSettings.h"

namespace wl {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

void WriteFile(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class TempDir : public testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("wl_wpp_" + std::to_string(::getpid()) + "_" +
                                            testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "src");
        wpp = root / "data" / "Wpp";
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root, wpp;
};

// ---- listing ---------------------------------------------------------------------------------

TEST_F(TempDir, ListsPicturesDirectlyInTheFolderByName) {
    fs::create_directories(wpp / "sub.jpg");
    for (const char* name :
         {"b.jpg", "A.jpeg", "c.bmp", "D.JPG", "TranscodedWallpaper", "e.png", "f.jpg.txt", ".jpg", "g.Bmp"})
        WriteFile(wpp / name, "x");
    WriteFile(wpp / "sub.jpg" / "inner.jpg", "x");
    EXPECT_EQ(ListWppFolder(wpp), (Names{"A.jpeg", "b.jpg", "c.bmp", "D.JPG", "e.png", "g.Bmp"}));
}

TEST_F(TempDir, MissingFolderListsNothing) {
    EXPECT_TRUE(ListWppFolder(root / "nowhere").empty());
}

TEST_F(TempDir, ListUpdateReplacesTheList) {
    TWppLibrary lib(wpp);
    fs::create_directories(wpp);
    WriteFile(wpp / "a.jpg", "x");
    lib.ListUpdate();
    EXPECT_EQ(lib.Names(), Names{"a.jpg"});
    fs::remove(wpp / "a.jpg");
    WriteFile(wpp / "b.bmp", "x");
    EXPECT_EQ(lib.Names(), Names{"a.jpg"}) << "the list shows the folder as of the last update";
    EXPECT_EQ(lib.PathOf(0), wpp / "a.jpg");
    lib.ListUpdate();
    EXPECT_EQ(lib.Names(), Names{"b.bmp"});
    EXPECT_EQ(lib.PathOf(1), fs::path());
    EXPECT_EQ(lib.PathOf(-1), fs::path());
}

// ---- adding and deleting -----------------------------------------------------------------------

TEST_F(TempDir, AddCreatesTheFolderCopiesAndLists) {
    WriteFile(root / "src" / "sea.jpg", "JPEGDATA");
    WriteFile(root / "src" / "CAPS.JPG", "JPEG2");
    TWppLibrary lib(wpp);
    WppAddResult r = lib.Add(root / "src" / "sea.jpg");
    EXPECT_TRUE(r.ok) << r.message;
    EXPECT_EQ(ReadFile(wpp / "sea.jpg"), "JPEGDATA");
    EXPECT_TRUE(lib.Add(root / "src" / "CAPS.JPG").ok);
    EXPECT_EQ(lib.Names(), (Names{"CAPS.JPG", "sea.jpg"}));
    EXPECT_TRUE(fs::exists(root / "src" / "sea.jpg")) << "the source stays where it was";
}

TEST_F(TempDir, AddReplacesAPictureOfTheSameName) {
    TWppLibrary lib(wpp);
    fs::create_directories(wpp);
    WriteFile(wpp / "sea.jpg", "OLD");
    WriteFile(root / "src" / "sea.jpg", "NEW");
    EXPECT_TRUE(lib.Add(root / "src" / "sea.jpg").ok);
    EXPECT_EQ(ReadFile(wpp / "sea.jpg"), "NEW");
    EXPECT_EQ(lib.Names(), Names{"sea.jpg"});
}

TEST_F(TempDir, AddingALibraryFileToItselfKeepsIt) {
    TWppLibrary lib(wpp);
    fs::create_directories(wpp);
    WriteFile(wpp / "sea.jpg", "KEEP");
    EXPECT_TRUE(lib.Add(wpp / "sea.jpg").ok);
    EXPECT_EQ(ReadFile(wpp / "sea.jpg"), "KEEP");
    EXPECT_EQ(lib.Names(), Names{"sea.jpg"});
}

TEST_F(TempDir, AddFailuresGiveTheMessageAndLeaveTheList) {
    fs::create_directories(wpp);
    WriteFile(wpp / "a.jpg", "x");
    TWppLibrary lib(wpp);
    lib.ListUpdate();
    WriteFile(wpp / "b.jpg", "x");  // not yet listed; a failed add must not refresh

    WppAddResult missing = lib.Add(root / "src" / "missing.jpg");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.message.rfind("Невозможно скопировать файл обоев:\n", 0), 0u) << missing.message;
    EXPECT_GT(missing.message.size(), std::string("Невозможно скопировать файл обоев:\n").size());
    EXPECT_EQ(lib.Names(), Names{"a.jpg"});

    WriteFile(root / "blocker", "a file where the folder should be");
    TWppLibrary blocked(root / "blocker" / "Wpp");
    WriteFile(root / "src" / "sea.jpg", "x");
    WppAddResult noFolder = blocked.Add(root / "src" / "sea.jpg");
    EXPECT_FALSE(noFolder.ok);
    EXPECT_EQ(noFolder.message.rfind("Невозможно создать папку для хранения обоев:\n", 0), 0u)
        << noFolder.message;
}

TEST_F(TempDir, DeleteRemovesTheSelectedPictureOnly) {
    fs::create_directories(wpp);
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) WriteFile(wpp / name, "x");
    TWppLibrary lib(wpp);
    lib.ListUpdate();
    EXPECT_FALSE(lib.CanDelete(-1));
    EXPECT_FALSE(lib.CanDelete(3));
    lib.Delete(3);
    lib.Delete(-1);
    EXPECT_EQ(lib.Count(), 3u);
    ASSERT_TRUE(lib.CanDelete(1));
    lib.Delete(1);
    EXPECT_EQ(lib.Names(), (Names{"a.jpg", "c.jpg"}));
    EXPECT_FALSE(fs::exists(wpp / "b.jpg"));
}

TEST_F(TempDir, DeletingAFileAlreadyGoneRefreshesTheList) {
    fs::create_directories(wpp);
    for (const char* name : {"a.jpg", "b.jpg"}) WriteFile(wpp / name, "x");
    TWppLibrary lib(wpp);
    lib.ListUpdate();
    fs::remove(wpp / "a.jpg");
    lib.Delete(0);
    EXPECT_EQ(lib.Names(), Names{"b.jpg"});
}

TEST(WppLibrary, EmptyListHasNothingToDelete) {
    TWppLibrary lib("/nonexistent/Wpp");
    lib.ListUpdate();
    EXPECT_FALSE(lib.CanDelete(0));
}

// ---- rotation ----------------------------------------------------------------------------------

WppRandomIndex Fixed(std::size_t value) {
    return [value](std::size_t) { return value; };
}

const DateTime kNow = MakeDateTime(2021, 1, 6, 23, 30, 0);

TEST(WppRotation, NextIndex) {
    struct {
        int32_t cur;
        std::size_t count;
        std::size_t next;
    } cases[] = {{2, 3, 0}, {0, 3, 1}, {1, 3, 2}, {0, 1, 0}, {7, 3, 0}, {-3, 3, 0}, {INT32_MAX, 3, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(NextWppIndex(c.cur, c.count, false, Fixed(99)), c.next) << c.cur << " of " << c.count;
}

TEST(WppRotation, RandomOrderTakesTheRandomSourceAndMayRepeat) {
    EXPECT_EQ(NextWppIndex(1, 3, true, Fixed(1)), 1u);
    EXPECT_EQ(NextWppIndex(1, 3, true, Fixed(0)), 0u);
    std::size_t asked = 0;
    NextWppIndex(0, 5, true, [&](std::size_t count) {
        asked = count;
        return std::size_t{0};
    });
    EXPECT_EQ(asked, 5u);
}

TEST(WppRotation, DefaultRandomStaysInRangeAndReachesEveryIndex) {
    WppRandomIndex random = DefaultWppRandom();
    std::vector<int> seen(4);
    for (int i = 0; i < 400; ++i) {
        std::size_t k = random(4);
        ASSERT_LT(k, 4u);
        ++seen[k];
    }
    for (int n : seen) EXPECT_GT(n, 0);
}

TEST(WppRotation, NextDateAddsThePeriod) {
    struct {
        int32_t period;
        DateTime next;
    } cases[] = {
        {kWppHourly, MakeDateTime(2021, 1, 7, 0, 30, 0)},
        {kWppDaily, MakeDateTime(2021, 1, 7, 23, 30, 0)},
        {kWppWeekly, MakeDateTime(2021, 1, 13, 23, 30, 0)},
        {kWppMonthly, MakeDateTime(2021, 2, 5, 23, 30, 0)},
        {kWppNever, DateTime{AddDays(kNow.date, 10000), kNow.seconds}},
    };
    for (const auto& c : cases) EXPECT_EQ(WppNextDate(kNow, c.period), c.next) << c.period;
}

TEST(WppRotation, Decisions) {
    using A = WppRotationStep::Action;
    const DateTime past = MakeDateTime(2021, 1, 6, 23, 0, 0);
    const DateTime future = MakeDateTime(2021, 1, 6, 23, 31, 0);
    struct {
        const char* name;
        WppRotationState state;
        A action;
        std::size_t index;
    } cases[] = {
        {"never switches the timer off", {kWppNever, past, 0, false, 3, true}, A::StopTimer, 0},
        {"unknown period counts as never", {9, past, 0, false, 3, true}, A::StopTimer, 0},
        {"negative period counts as never", {-1, past, 0, false, 3, true}, A::StopTimer, 0},
        {"not yet due", {kWppHourly, future, 0, false, 3, true}, A::Wait, 0},
        {"empty library", {kWppHourly, past, 0, false, 0, true}, A::Wait, 0},
        {"drawing running", {kWppHourly, past, 0, false, 3, false}, A::Wait, 0},
        {"list order wraps", {kWppDaily, past, 2, false, 3, true}, A::Change, 0},
        {"due exactly now", {kWppDaily, kNow, 0, false, 3, true}, A::Change, 1},
        {"random", {kWppWeekly, past, 0, true, 3, true}, A::Change, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WppRotationStep step = WppRotationDecide(c.state, kNow, Fixed(2));
        EXPECT_EQ(step.action, c.action);
        if (c.action != A::Change) continue;
        EXPECT_EQ(step.newIndex, c.index);
        EXPECT_EQ(step.nextDate, WppNextDate(kNow, c.state.wppToChange));
    }
}

// ---- the tick with the real settings ------------------------------------------------------------

class RotationTick : public TempDir {
  protected:
    void SetUp() override {
        TempDir::SetUp();
        ::setenv("AppData", (root / "appdata").c_str(), 1);
        bool firstStart = false;
        paths = CheckFiles(firstStart, kNow);
        settings = std::make_unique<TSettings>();
        library = std::make_unique<TWppLibrary>(paths.WppPath);
    }
    void AddPictures(std::initializer_list<const char*> names) {
        for (const char* name : names) WriteFile(paths.WppPath / name, "x");
        library->ListUpdate();
    }
    bool Tick(bool drawIdle, std::vector<fs::path>& applied, bool failApply = false) {
        return WppRotationTick(*settings, *library, false, drawIdle, kNow, Fixed(0), [&](const fs::path& p) {
            applied.push_back(p);
            if (failApply) throw std::runtime_error("no desktop");
        });
    }
    DataPaths paths;
    std::unique_ptr<TSettings> settings;
    std::unique_ptr<TWppLibrary> library;
};

TEST_F(RotationTick, DueChangeStoresIndexAndDateThenApplies) {
    AddPictures({"a.jpg", "b.jpg", "c.jpg"});
    settings->SetWppToChange(kWppHourly);
    settings->SetWppDateToChange(MakeDateTime(2021, 1, 1));
    settings->SetWppCurIndex(2);
    std::vector<fs::path> applied;
    EXPECT_TRUE(Tick(true, applied));
    EXPECT_EQ(applied, std::vector<fs::path>{paths.WppPath / "a.jpg"});
    EXPECT_EQ(settings->WppCurIndex(), 0);
    EXPECT_EQ(settings->WppDateToChange(), MakeDateTime(2021, 1, 7, 0, 30, 0));
    TSettings reloaded;  // stored in Config.ini, not only in memory
    EXPECT_EQ(reloaded.WppCurIndex(), 0);
    EXPECT_EQ(reloaded.WppDateToChange(), MakeDateTime(2021, 1, 7, 0, 30, 0));

    applied.clear();
    EXPECT_TRUE(Tick(true, applied));
    EXPECT_TRUE(applied.empty()) << "the next change waits a period";
}

TEST_F(RotationTick, FailedApplyKeepsTheStoredValues) {
    AddPictures({"a.jpg", "b.jpg"});
    settings->SetWppToChange(kWppDaily);
    settings->SetWppDateToChange(MakeDateTime(2021, 1, 1));
    std::vector<fs::path> applied;
    EXPECT_TRUE(Tick(true, applied, true));
    EXPECT_EQ(applied.size(), 1u);
    EXPECT_EQ(settings->WppCurIndex(), 1);
    EXPECT_EQ(settings->WppDateToChange(), MakeDateTime(2021, 1, 7, 23, 30, 0));
}

TEST_F(RotationTick, NothingMovesWhileWaiting) {
    settings->SetWppToChange(kWppHourly);
    const DateTime due = MakeDateTime(2021, 1, 1);
    settings->SetWppDateToChange(due);
    std::vector<fs::path> applied;
    EXPECT_TRUE(Tick(true, applied));  // empty library
    AddPictures({"a.jpg"});
    EXPECT_TRUE(Tick(false, applied));  // drawing running
    EXPECT_TRUE(applied.empty());
    EXPECT_EQ(settings->WppDateToChange(), due);
    EXPECT_EQ(settings->WppCurIndex(), 0);
}

TEST_F(RotationTick, APictureRemovedOutsideTheProgramIsStillPickedUntilTheListIsUpdated) {
    AddPictures({"a.jpg", "b.jpg"});
    fs::remove(paths.WppPath / "b.jpg");
    settings->SetWppToChange(kWppDaily);
    settings->SetWppDateToChange(MakeDateTime(2021, 1, 1));
    std::vector<fs::path> applied;
    EXPECT_TRUE(Tick(true, applied));
    EXPECT_EQ(applied, std::vector<fs::path>{paths.WppPath / "b.jpg"});
}

TEST_F(RotationTick, NeverSwitchesTheTimerOff) {
    AddPictures({"a.jpg"});
    settings->SetWppToChange(kWppNever);
    settings->SetWppDateToChange(MakeDateTime(2021, 1, 1));
    std::vector<fs::path> applied;
    EXPECT_FALSE(Tick(true, applied));
    EXPECT_TRUE(applied.empty());
}

}  // namespace
}  // namespace wl
