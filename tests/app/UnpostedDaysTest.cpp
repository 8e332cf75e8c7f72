// Offline edits are kept and posted again, in day order, once the connection is back.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/UnpostedDays.h"

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
    EXPECT_EQ(days.Flush([&](const std::string& k) { return store[k]; }, line.Send()), 2);
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
    EXPECT_EQ(days.Flush([](const std::string&) { return std::string(); }, flaky), 1);
    EXPECT_FALSE(days.Holds(MakeDate(2026, 1, 1)));
    EXPECT_TRUE(days.Holds(MakeDate(2026, 1, 2)));
}

}  // namespace
}  // namespace wl
