#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TempDataDir.h"
#include "platform/AtomicFile.h"
#include "platform/DataDir.h"
#include "platform/DateText.h"
#include "platform/QtPlatformChoice.h"
#include "platform/TextLines.h"

namespace wl {
namespace {

using test::TempDataDir;
namespace fs = std::filesystem;

TEST(QtPlatformChoiceTest, AnXDisplayWinsOverWaylandExceptInSwayAndTheUsersOwnChoiceStays) {
    const struct {
        const char *chosen, *display, *wayland, *platform, *sway = nullptr;
    } cases[] = {
        {nullptr, ":0", nullptr, "xcb"},             // X11
        {nullptr, ":1", "wayland-0", "xcb"},         // a Wayland desktop with Xwayland
        {"", ":1", "wayland-0", "xcb"},              // an empty choice is no choice
        {nullptr, nullptr, "wayland-1", "wayland"},  // Wayland without Xwayland
        {nullptr, "", "wayland-1", "wayland"},
        {"offscreen", ":0", "wayland-0", ""},  // the user's (or a test's) own choice
        {nullptr, nullptr, nullptr, ""},       // no display at all: Qt says so itself
        // sway places no window anywhere: natively, Xwayland only when Qt cannot run natively
        {nullptr, ":1", "wayland-1", "wayland;xcb", "/run/sway-ipc.sock"},
        {nullptr, nullptr, "wayland-1", "wayland", "/run/sway-ipc.sock"},
        {nullptr, ":1", nullptr, "xcb", "/run/sway-ipc.sock"},  // a leftover SWAYSOCK in an X session
        {"xcb", ":1", "wayland-1", "", "/run/sway-ipc.sock"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ChooseQtPlatform(c.chosen, c.display, c.wayland, c.sway), c.platform)
            << (c.display ? c.display : "-") << " " << (c.wayland ? c.wayland : "-") << " "
            << (c.sway ? "sway" : "-");
    }
}

TEST(QtPlatformChoiceTest, OnlyXOutsideSwayPlacesWindowsExactly) {
    const struct {
        const char *platform, *sway;
        bool exact;
    } cases[] = {
        {"xcb", nullptr, true},  // X11, or Xwayland beside GNOME or KWin
        {"offscreen", nullptr, true},
        {"wayland", nullptr, false},  // xdg-shell has no positions
        {"wayland-egl", nullptr, false},
        {"xcb", "/run/sway-ipc.sock", false},  // sway tiles X11 windows too
        {"wayland", "/run/sway-ipc.sock", false},
        {"xcb", "", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlacesWindowsExactly(c.platform, c.sway), c.exact)
            << c.platform << " " << (c.sway ? "sway" : "-");
}

TEST(DataDirTest, FollowsAppDataThenXdgThenHome) {
    ::setenv("AppData", "/a", 1);
    ::setenv("XDG_DATA_HOME", "/x", 1);
    ::setenv("HOME", "/h", 1);
    EXPECT_EQ(DataDir(), fs::path("/a/Weekleaf"));
    ::setenv("AppData", "", 1);  // empty counts as unset
    EXPECT_EQ(DataDir(), fs::path("/x/Weekleaf"));
    ::unsetenv("AppData");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(DataDir(), fs::path("/h/.local/share/Weekleaf"));
}

TEST(TextLinesTest, SplitsEveryLineEndAndWritesCrLf) {
    struct Case {
        std::string in;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\r\n\r\nb\r\n", {"a", "", "b"}},
        {"\n", {""}},
        {"a\r", {"a"}},
    };
    for (const auto& c : cases) {
        TextLines t;
        t.SetText(c.in);
        EXPECT_EQ(t.lines, c.lines) << c.in;
    }
    TextLines t;
    t.lines = {"x", "", "Привет"};
    EXPECT_EQ(t.Text(), "x\r\n\r\nПривет\r\n");
}

using TextFileTest = TempDataDir;

TEST_F(TextFileTest, BomIsKeptOnRoundTrip) {
    const fs::path f = root / "bom.txt";
    Write(f, "\xEF\xBB\xBFk=v\nx=y");
    TextLines t;
    t.LoadFromFile(f);
    EXPECT_TRUE(t.bom);
    EXPECT_EQ(t.lines, (std::vector<std::string>{"k=v", "x=y"}));
    t.SaveToFile(f);
    EXPECT_EQ(Read(f), "\xEF\xBB\xBFk=v\r\nx=y\r\n");

    Write(f, "plain");
    t.LoadFromFile(f);
    EXPECT_FALSE(t.bom);
    t.SaveToFile(f);
    EXPECT_EQ(Read(f), "plain\r\n");
}

TEST_F(TextFileTest, AtomicWriteReplacesWholeAndLeavesNoTemporaryFile) {
    const fs::path f = root / "x.json";
    WriteFileAtomic(f, "first");
    WriteFileAtomic(f, "second, longer");
    WriteFileAtomic(f, "3");
    EXPECT_EQ(Read(f), "3");
    int entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(root)) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(TextFileTest, AtomicWriteKeepsModeAndFollowsSymlink) {
    const fs::path real = root / "real.txt", link = root / "link.txt";
    Write(real, "old");
    ::chmod(real.c_str(), 0640);
    fs::create_symlink(real, link);
    WriteFileAtomic(link, "new");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Read(real), "new");
    struct stat st {};
    ::stat(real.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(TextFileTest, FailedWriteThrowsNamingFileAndKeepsOldContent) {
    const fs::path ro = root / "ro.txt";
    Write(ro, "keep");
    ::chmod(ro.c_str(), 0444);
    try {
        WriteFileAtomic(ro, "lost");
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("ro.txt"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Read(ro), "keep");
    EXPECT_THROW(WriteFileAtomic(root / "no" / "such" / "dir.txt", "x"), std::runtime_error);
}

TEST_F(TextFileTest, ReadWholeFileErrors) {
    EXPECT_THROW(ReadWholeFile(root / "missing"), std::runtime_error);
    EXPECT_THROW(ReadWholeFile(root), std::runtime_error);  // a folder
    Write(root / "big", std::string(100, 'x'));
    EXPECT_THROW(ReadWholeFile(root / "big", 99), std::runtime_error);
    EXPECT_EQ(ReadWholeFile(root / "big", 100).size(), 100u);
}

TEST(DateTextTest, CivilRoundTripAndWeekday) {
    EXPECT_EQ(MakeDate(1970, 1, 1).days, 0);
    EXPECT_EQ(IsoWeekday(MakeDate(1970, 1, 1)), 4);
    EXPECT_EQ(IsoWeekday(MakeDate(2021, 1, 4)), 1);   // Monday
    EXPECT_EQ(IsoWeekday(MakeDate(2021, 1, 10)), 7);  // Sunday
    EXPECT_EQ(IsoWeekday(MakeDate(1969, 12, 29)), 1);
    for (int days = -719000; days < 2932000; days += 997) {
        const Civil c = ToCivil(Date{days});
        EXPECT_EQ(MakeDate(c.year, c.month, c.day).days, days);
    }
    EXPECT_THROW(MakeDate(2021, 2, 29), std::invalid_argument);
    EXPECT_NO_THROW(MakeDate(2024, 2, 29));
    EXPECT_THROW(MakeDate(2021, 13, 1), std::invalid_argument);
}

TEST(DateTextTest, TextForms) {
    EXPECT_EQ(DateToStr(MakeDate(2021, 1, 5)), "05.01.2021");
    EXPECT_EQ(TimeToStr(9 * 3600 + 5 * 60 + 7), "9:05:07");
    EXPECT_EQ(TimeToStr(23 * 3600 + 59 * 60 + 59), "23:59:59");
    EXPECT_EQ(DateTimeToStr(MakeDateTime(2021, 1, 5, 9, 5, 7)), "05.01.2021 9:05:07");
    EXPECT_EQ(DateTimeToStr(MakeDateTime(2021, 1, 5)), "05.01.2021");
    EXPECT_EQ(DateTimeToStr(MakeDateTime(2021, 1, 5, 0, 0, 1)), "05.01.2021 0:00:01");
}

TEST(DateTextTest, ParsesOnlyValidText) {
    struct Case {
        const char* text;
        bool ok;
        DateTime want;
    } cases[] = {
        {"05.01.2021", true, MakeDateTime(2021, 1, 5)},
        {" 5.1.2021 ", true, MakeDateTime(2021, 1, 5)},
        {"05.01.2021 9:05:07", true, MakeDateTime(2021, 1, 5, 9, 5, 7)},
        {"05.01.2021 09:05", true, MakeDateTime(2021, 1, 5, 9, 5, 0)},
        {"31.12.9999 23:59:59", true, MakeDateTime(9999, 12, 31, 23, 59, 59)},
        {"", false, {}},
        {"yes", false, {}},
        {"29.02.2021", false, {}},
        {"05.01.21", false, {}},
        {"05-01-2021", false, {}},
        {"05.01.2021 24:00:00", false, {}},
        {"05.01.2021 9:5:07", false, {}},
        {"05.01.2021 9:05:07x", false, {}},
        {"05.01.2021x", false, {}},
        {"005.01.2021", false, {}},
    };
    for (const auto& c : cases) {
        auto got = StrToDateTime(c.text);
        EXPECT_EQ(got.has_value(), c.ok) << c.text;
        if (got && c.ok) {
            EXPECT_EQ(*got, c.want) << c.text;
        }
    }
    EXPECT_TRUE(StrToDate("05.01.2021"));
    EXPECT_FALSE(StrToDate("05.01.2021 1:00:00"));
}

TEST(DateTextTest, DateTimeTextRoundTripsToTheSecond) {
    for (int s : {0, 1, 59, 3600, 43210, 86399}) {
        DateTime t{MakeDate(2040, 7, 31), s};
        EXPECT_EQ(StrToDateTime(DateTimeToStr(t)), t);
    }
}

}  // namespace
}  // namespace wl
