// Offline edits are kept and posted again, in day order, once the connection is back.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/UnpostedDays.h"
#include "platform/AtomicFile.h"

namespace wl {
namespace {

struct Line {
    bool up = true;
    std::vector<std::string> sent;
    UnpostedDays::Send Send() {
        return [this](Date d, const std::string& html) {
            if (!up) throw std::runtime_error("not connected");
            sent.push_back(DateToStr(d) + " " + html);
        };
    }
    UnpostedDays::SendPage SendPage() {
        return [this](const std::string& page, const std::string& html) {
            if (!up) throw std::runtime_error("not connected");
            sent.push_back(page + " " + html);
        };
    }
};

TEST(UnpostedDaysTest, FailedPostsAreKeptAndFlushedWithTheStoredTextInDayOrder) {
    Line line;
    UnpostedDays days;
    line.up = false;
    EXPECT_FALSE(days.Post(MakeDate(2026, 12, 9), "old", line.Send()));
    EXPECT_FALSE(days.Post(MakeDate(2026, 12, 8), "x", line.Send()));
    EXPECT_EQ(days.Size(), 2u);

    // The store holds the newest text of each day by the time the connection is back.
    std::map<std::string, std::string> store{{"08.12.2026", "monday"}, {"09.12.2026", "tuesday"}};
    line.up = true;
    EXPECT_EQ(days.Flush([&](const std::string& k) { return store[k]; }, line.Send(), line.SendPage()), 2);
    EXPECT_EQ(line.sent, (std::vector<std::string>{"08.12.2026 monday", "09.12.2026 tuesday"}));
    EXPECT_TRUE(days.Empty());
}

TEST(UnpostedDaysTest, ASuccessfulPostOfTheSameDayClearsIt) {
    Line line;
    UnpostedDays days;
    line.up = false;
    days.Post(MakeDate(2026, 12, 9), "a", line.Send());
    line.up = true;
    EXPECT_TRUE(days.Post(MakeDate(2026, 12, 9), "ab", line.Send()));
    EXPECT_FALSE(days.Holds(MakeDate(2026, 12, 9)));
}

TEST(UnpostedDaysTest, AFlushThatFailsMidwayKeepsTheRest) {
    UnpostedDays days;
    auto down = [](Date, const std::string&) { throw std::runtime_error("down"); };
    days.Post(MakeDate(2026, 1, 1), "a", down);
    days.Post(MakeDate(2026, 1, 2), "b", down);
    int calls = 0;
    auto flaky = [&](Date, const std::string&) {
        if (++calls == 2) throw std::runtime_error("dropped again");
    };
    EXPECT_EQ(days.Flush([](const std::string&) { return std::string(); }, flaky, {}), 1);
    EXPECT_FALSE(days.Holds(MakeDate(2026, 1, 1)));
    EXPECT_TRUE(days.Holds(MakeDate(2026, 1, 2)));
}

// The notes page and the template are kept like days: posted with the stored text after the
// days, struck off once sent; a name that is no page is never kept.
TEST(UnpostedDaysTest, PagesAreKeptLikeDaysAndFlushedAfterThem) {
    Line line;
    UnpostedDays unposted;
    line.up = false;
    unposted.Post(MakeDate(2026, 12, 9), "day", line.Send());
    for (const char* page : {"template", "note"})
        EXPECT_FALSE(unposted.PostPage(page, "old", line.SendPage()));
    unposted.KeepPage("09.12.2026");
    unposted.KeepPage("ver");
    EXPECT_EQ(unposted.Days(), 1u);
    EXPECT_EQ(unposted.Pages(), 2u);

    std::map<std::string, std::string> store{{"09.12.2026", "tuesday"}, {"note", "n"}, {"template", "t"}};
    line.up = true;
    EXPECT_EQ(unposted.Flush([&](const std::string& k) { return store[k]; }, line.Send(), line.SendPage()),
              3);
    EXPECT_EQ(line.sent, (std::vector<std::string>{"09.12.2026 tuesday", "note n", "template t"}));
    EXPECT_TRUE(unposted.Empty());

    // A page sent at once never stays; one whose send fails stays until a later send goes out.
    EXPECT_TRUE(unposted.PostPage("note", "x", line.SendPage()));
    EXPECT_FALSE(unposted.HoldsPage("note"));
    line.up = false;
    unposted.KeepPage("template");
    EXPECT_FALSE(unposted.PostPage("template", "y", line.SendPage()));
    line.up = true;
    EXPECT_TRUE(unposted.PostPage("template", "y", line.SendPage()));
    EXPECT_TRUE(unposted.Empty());
}

// A flush that fails on a day leaves the pages for the next reconnect, too.
TEST(UnpostedDaysTest, PagesWaitWhileADayCannotBeSent) {
    UnpostedDays unposted;
    unposted.Keep(MakeDate(2026, 1, 1));
    unposted.KeepPage("note");
    int pageSends = 0;
    auto down = [](Date, const std::string&) { throw std::runtime_error("down"); };
    EXPECT_EQ(unposted.Flush([](const std::string&) { return std::string(); }, down,
                             [&](const std::string&, const std::string&) { ++pageSends; }),
              0);
    EXPECT_EQ(pageSends, 0);
    EXPECT_TRUE(unposted.HoldsPage("note"));
}

class UnpostedFileTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "wl-unposted-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        file = dir / "Unposted.json";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir, file;
};

// What one run could not send, the next run finds, and a day leaves the file only once sent.
TEST_F(UnpostedFileTest, TheSetOutlivesTheProcessAndADayLeavesItOnlyOnceSent) {
    Line line;
    line.up = false;
    {
        UnpostedDays days;
        days.Open(file);
        days.Keep(MakeDate(2026, 12, 10));  // stored, then the program was killed before sending
        days.Post(MakeDate(2026, 12, 9), "x", line.Send());
    }
    EXPECT_EQ(ReadWholeFile(file), "{\"days\":[\"09.12.2026\",\"10.12.2026\"]}\r\n");

    UnpostedDays again;
    again.Open(file);
    EXPECT_TRUE(again.Holds(MakeDate(2026, 12, 9)));
    EXPECT_TRUE(again.Holds(MakeDate(2026, 12, 10)));
    int calls = 0;
    line.up = true;
    auto dropsAfterOne = [&](Date d, const std::string& h) {
        if (++calls == 2) throw std::runtime_error("dropped again");
        line.Send()(d, h);
    };
    EXPECT_EQ(
        again.Flush([](const std::string&) { return std::string("t"); }, dropsAfterOne, line.SendPage()), 1);
    EXPECT_EQ(ReadWholeFile(file), "{\"days\":[\"10.12.2026\"]}\r\n");
    EXPECT_TRUE(again.Post(MakeDate(2026, 12, 10), "t", line.Send()));
    EXPECT_EQ(ReadWholeFile(file), "{\"days\":[]}\r\n");
}

// Pages share the file with the days; a file without pages (as written when none wait) reads as
// before.
TEST_F(UnpostedFileTest, PagesOutliveTheProcessInTheSameFile) {
    {
        UnpostedDays unposted;
        unposted.Open(file);
        unposted.Keep(MakeDate(2026, 12, 9));
        unposted.KeepPage("template");
        unposted.KeepPage("note");
    }
    EXPECT_EQ(ReadWholeFile(file), "{\"days\":[\"09.12.2026\"],\"pages\":[\"note\",\"template\"]}\r\n");

    UnpostedDays again;
    again.Open(file);
    EXPECT_TRUE(again.Holds(MakeDate(2026, 12, 9)));
    EXPECT_TRUE(again.HoldsPage("note"));
    EXPECT_TRUE(again.HoldsPage("template"));
    Line line;
    EXPECT_TRUE(again.PostPage("note", "n", line.SendPage()));
    EXPECT_EQ(ReadWholeFile(file), "{\"days\":[\"09.12.2026\"],\"pages\":[\"template\"]}\r\n");
    EXPECT_EQ(again.Flush([](const std::string&) { return std::string("t"); }, line.Send(), line.SendPage()),
              2);
    EXPECT_EQ(ReadWholeFile(file), "{\"days\":[]}\r\n");
}

// A file damaged outside the program is logged and never stops the start.
TEST_F(UnpostedFileTest, ADamagedFileGivesAnEmptySetAndIsReplacedAtTheNextChange) {
    for (const char* text :
         {"", "not json", "[\"09.12.2026\"]", "{\"days\":\"09.12.2026\"}", "{\"days\":[\"31.02.2026\"]}",
          "{\"days\":[7]}", "{\"days\":[\"09.12.2026\"", "{\"days\":[],\"pages\":\"note\"}",
          "{\"days\":[],\"pages\":[\"diary\"]}", "{\"days\":[],\"pages\":[1]}"}) {
        SCOPED_TRACE(text);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
        UnpostedDays days;
        days.Open(file);
        EXPECT_TRUE(days.Empty());
        days.Keep(MakeDate(2026, 12, 9));
        EXPECT_EQ(ReadWholeFile(file), "{\"days\":[\"09.12.2026\"]}\r\n");
    }
}

}  // namespace
}  // namespace wl
