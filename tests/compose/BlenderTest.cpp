#include "wallpaper/Blender.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "data/TWeekleaf.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return lines;
        start = end + 2;
    }
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
    return n;
}

// ---- layout ------------------------------------------------------------------------------

struct RectCase {
    int pictureWidth, pictureHeight;
    BlockRect first, last;  // blocks 0 and 7
    int secondRowLeft1;     // Left of block 5
};

TEST(CalcBlockRects, WorkedExamples) {
    const RectCase cases[] = {
        {1920, 1080, {240, 607, 100, 500}, {1431, 1798, 530, 930}, 637},
        {1366, 768, {240, 469, 100, 344}, {1017, 1246, 374, 618}, 499},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.pictureWidth) + "x" + std::to_string(c.pictureHeight));
        BlockRects r = CalcBlockRects(c.pictureHeight - 250, c.pictureWidth - 360);
        EXPECT_EQ(r[0], c.first);
        EXPECT_EQ(r[7], c.last);
        EXPECT_EQ(r[5].Left, c.secondRowLeft1);
        for (int i = 1; i < 8; ++i) {
            const BlockRect& a = r[static_cast<std::size_t>(i)];
            EXPECT_EQ(a.Right - a.Left, r[0].Right - r[0].Left);
            EXPECT_EQ(a.Bottom - a.Top, r[0].Bottom - r[0].Top);
            if (i % 4 != 0) {
                EXPECT_EQ(a.Left, r[static_cast<std::size_t>(i - 1)].Right + 30);
            }
        }
        EXPECT_EQ(r[4].Top, r[0].Bottom + 30);
    }
}

TEST(CalcBlockRects, FullHdMatchesTheWorkedExampleEverywhere) {
    BlockRects r = CalcBlockRects(830, 1560);
    const int lefts[] = {240, 637, 1034, 1431};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(r[static_cast<std::size_t>(i)].Left, lefts[i % 4]);
        EXPECT_EQ(r[static_cast<std::size_t>(i)].Top, i < 4 ? 100 : 530);
    }
    EXPECT_EQ(1920 - r[3].Right, 122);
    EXPECT_EQ(1080 - r[7].Bottom, 150);
}

TEST(CalcBlockRects, AreaSmallerThanTheGapsGivesEmptyBlocksNotInvertedOnes) {
    for (auto [h, w] :
         {std::pair{0, 0}, std::pair{-500, -800}, std::pair{10, 50}, std::pair{INT32_MIN, INT32_MIN}}) {
        for (const BlockRect& b : CalcBlockRects(h, w)) {
            EXPECT_EQ(b.Right, b.Left);
            EXPECT_EQ(b.Bottom, b.Top);
        }
    }
    BlockRects huge = CalcBlockRects(INT32_MAX, INT32_MAX);  // no overflow
    EXPECT_GT(huge[7].Right, huge[7].Left);
}

// ---- titles and dates ----------------------------------------------------------------------

TEST(BlockTitle, EightTitlesAndNothingOutside) {
    const char* titles[] = {"ЗАМЕТКИ", "ПОНЕДЕЛЬНИК", "ВТОРНИК", "СРЕДА",
                            "ЧЕТВЕРГ", "ПЯТНИЦА",     "СУББОТА", "ВОСКРЕСЕНЬЕ"};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(BlockTitle(i), titles[i]);
    EXPECT_EQ(BlockTitle(-1), "");
    EXPECT_EQ(BlockTitle(8), "");
}

struct DateCase {
    const char* name;
    Date today;
    int32_t offset;
    const char* dates[8];
};

TEST(BlockDate, WeekOfTodayPlusOffset) {
    const DateCase cases[] = {
        {"sunday shows the monday six days earlier",
         MakeDate(2021, 1, 10),
         0,
         {"10.01.2021", "04.01.2021", "05.01.2021", "06.01.2021", "07.01.2021", "08.01.2021", "09.01.2021",
          "10.01.2021"}},
        {"monday shows today first",
         MakeDate(2021, 1, 11),
         0,
         {"11.01.2021", "11.01.2021", "12.01.2021", "13.01.2021", "14.01.2021", "15.01.2021", "16.01.2021",
          "17.01.2021"}},
        {"offset 7 moves every date a week ahead",
         MakeDate(2021, 1, 6),
         7,
         {"13.01.2021", "11.01.2021", "12.01.2021", "13.01.2021", "14.01.2021", "15.01.2021", "16.01.2021",
          "17.01.2021"}},
        {"previous week across the year end",
         MakeDate(2021, 1, 1),
         -7,
         {"25.12.2020", "21.12.2020", "22.12.2020", "23.12.2020", "24.12.2020", "25.12.2020", "26.12.2020",
          "27.12.2020"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(BlockDate(i, c.today, c.offset), c.dates[i]) << "block " << i;
        EXPECT_EQ(BlockDate(8, c.today, c.offset), "");
        EXPECT_EQ(BlockDate(-1, c.today, c.offset), "");
    }
}

TEST(BlockDate, CurrentFormUsesTodayAndWeekOffsetDays) {
    WeekOffsetDays = 7;
    std::string shifted = BlockDate(3);
    WeekOffsetDays = 0;
    EXPECT_EQ(shifted, BlockDate(3, Today(), 7));
    EXPECT_EQ(BlockDate(3), BlockDate(3, Today(), 0));
}

TEST(ShortWeekDate, DayAndMonthOfTheWeekHoldingTheDate) {
    Date friday = MakeDate(2021, 1, 1);
    EXPECT_EQ(ShortWeekDate(0, friday), "01.01");
    EXPECT_EQ(ShortWeekDate(1, friday), "28.12");
    EXPECT_EQ(ShortWeekDate(5, friday), "01.01");
    EXPECT_EQ(ShortWeekDate(7, friday), "03.01");
    EXPECT_EQ(ShortWeekDate(8, friday), "");
}

// ---- store and document --------------------------------------------------------------------

class WeekStore : public testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("wl_compose_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        std::ofstream(dir / "Data.json", std::ios::binary) << "{\"ver\":\"HTML\"}\r\n";
        store = std::make_unique<TWeekleaf>(dir / "Data.json");
    }
    void TearDown() override {
        store.reset();
        fs::remove_all(dir);
    }
    fs::path dir;
    std::unique_ptr<TWeekleaf> store;
    const Date wednesday = MakeDate(2021, 1, 6);
};

TEST_F(WeekStore, ContentReadsNoteAndDaysAndMissingDaysAreEmpty) {
    store->Set("note", "<p>notes</p>");
    store->Set("04.01.2021", "<p>monday</p>");
    store->Set("10.01.2021", "<p>sunday</p>");
    store->Set("11.01.2021", "<p>next monday</p>");
    EXPECT_EQ(BlockContent(*store, 0, wednesday, 0), "<p>notes</p>");
    EXPECT_EQ(BlockContent(*store, 1, wednesday, 0), "<p>monday</p>");
    EXPECT_EQ(BlockContent(*store, 2, wednesday, 0), "");
    EXPECT_EQ(BlockContent(*store, 7, wednesday, 0), "<p>sunday</p>");
    EXPECT_EQ(BlockContent(*store, 1, wednesday, 7), "<p>next monday</p>");
    EXPECT_EQ(BlockContent(*store, 8, wednesday, 0), "");
    EXPECT_FALSE(store->JO.Has("05.01.2021")) << "reading must not create members";
}

TEST_F(WeekStore, SnapshotHoldsDatesAndEntries) {
    store->Set("note", "N");
    store->Set("06.01.2021", "W");
    WeekSnapshot week = MakeWeekSnapshot(*store, wednesday, 0);
    EXPECT_EQ(week.today, wednesday);
    EXPECT_EQ(week.entries[0], "N");
    EXPECT_EQ(week.entries[3], "W");
    EXPECT_EQ(week.entries[4], "");
    EXPECT_EQ(week.dates[1], "04.01.2021");
    EXPECT_EQ(week.dates[3], "06.01.2021");
}

TEST_F(WeekStore, StoreFormUsesTodayAndWeekOffsetDays) {
    store->Set("note", "N");
    WeekOffsetDays = 7;
    std::string html = ComposeWeekHtml(*store, "/bg.bmp", 1920, 1080);
    WeekOffsetDays = 0;
    EXPECT_EQ(html, ComposeWeekHtml(MakeWeekSnapshot(*store, Today(), 7), "/bg.bmp", 1920, 1080));
}

TEST(WeekTemplate, SixtyLinesJoinedWithCrLf) {
    std::string text = WeekTemplate();
    std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 60u);
    EXPECT_EQ(lines[0], "<html>");
    EXPECT_EQ(lines[6], "height: h_px;");
    EXPECT_EQ(lines[7], "width: w_px;");
    EXPECT_EQ(lines[19], ".conteiner{");
    EXPECT_EQ(lines[22], "margin-right: calc(120px - 30px);");
    EXPECT_EQ(lines[30], "</style>");
    EXPECT_EQ(lines[31], "<body background=\"BG_Image\">");
    EXPECT_EQ(lines[32], "<div class=\"conteiner\">");
    for (int n = 1; n <= 8; ++n) {
        std::size_t at = 33 + 3 * static_cast<std::size_t>(n - 1);
        EXPECT_EQ(lines[at], "<div class=\"block\">");
        EXPECT_EQ(lines[at + 1], "#_" + std::to_string(n));
        EXPECT_EQ(lines[at + 2], "</div>");
    }
    EXPECT_EQ(lines[57], "</div>");
    EXPECT_EQ(lines[59], "</html>");
    EXPECT_EQ(Count(text, "\n"), Count(text, "\r\n"));
}

TEST(ComposeWeekHtml, BlockSizeInTheDocument) {
    struct {
        int w, h;
        const char *width, *height;
    } cases[] = {
        {1920, 1080, "width: 367px;", "height: 390px;"},
        {1366, 768, "width: 229px;", "height: 234px;"},
        {300, 200, "width: 0px;", "height: 0px;"},  // smaller than the margins
    };
    for (const auto& c : cases) {
        std::string html = ComposeWeekHtml(WeekSnapshot{}, "/bg.bmp", c.w, c.h);
        EXPECT_NE(html.find(c.width), std::string::npos) << c.w;
        EXPECT_NE(html.find(c.height), std::string::npos) << c.h;
    }
}

TEST(ComposeWeekHtml, EmptyDaysStillGiveEightBlocks) {
    std::string html = ComposeWeekHtml(WeekSnapshot{}, "/data/HTML_TempBitmap.bmp", 1920, 1080);
    EXPECT_EQ(Count(html, "<div class=\"block\">\r\n\r\n</div>"), 8u);
    EXPECT_NE(html.find("<body background=\"/data/HTML_TempBitmap.bmp\">"), std::string::npos);
    EXPECT_EQ(html.find("#_"), std::string::npos);
    EXPECT_EQ(html.find("_px"), std::string::npos);
}

TEST(ComposeWeekHtml, ReplacementIsSequentialOverTheWholeText) {
    WeekSnapshot week;
    week.entries[0] = "note #_3 w_px BG_Image h_PX";
    week.entries[1] = "monday #_1";
    week.entries[2] = "TUESDAY #_8";
    week.entries[7] = "sunday";
    std::string html = ComposeWeekHtml(week, "/bg.bmp", 1920, 1080);
    // "#_3" in the note is replaced later by Tuesday's entry, whose "#_8" then becomes Sunday's.
    EXPECT_NE(html.find("note TUESDAY sunday w_px BG_Image h_PX"), std::string::npos) << html;
    // "#_1" is replaced before Monday's entry is inserted.
    EXPECT_NE(html.find("monday #_1"), std::string::npos);
    EXPECT_EQ(Count(html, "sunday"), 3u);  // note, Tuesday, Sunday
}

TEST(ComposeWeekHtml, EntriesAreInsertedUnchanged) {
    WeekSnapshot week;
    week.entries[4] = "<p style=\"color:red\">Четверг &amp; <b>x</b>\r\n  </p>";
    std::string html = ComposeWeekHtml(week, "/bg.bmp", 1920, 1080);
    EXPECT_NE(html.find("<div class=\"block\">\r\n" + week.entries[4] + "\r\n</div>"), std::string::npos);
}

TEST(ComposeWeekHtml, BackgroundPathStaysOnePathInsideTheAttribute) {
    std::string html = ComposeWeekHtml(WeekSnapshot{}, "/home/a&b/\"q\"/bg.bmp", 1920, 1080);
    EXPECT_NE(html.find("background=\"/home/a&amp;b/&quot;q&quot;/bg.bmp\""), std::string::npos);
}

}  // namespace
}  // namespace wl
