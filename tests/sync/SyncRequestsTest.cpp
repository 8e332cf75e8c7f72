// The exact texts of the requests to the sync service.
#include <gtest/gtest.h>

#include "data/Json.h"
#include "sync/TWLSocket.h"

namespace wl {
namespace {

const Date kJan5 = MakeDate(2021, 1, 5);

struct ReadCase {
    const char* name;
    std::string action, key, search;
    std::optional<Date> date;
    std::string expected;
};

class ReadRequest : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadRequest, IsJoinedFromTheFixedPieces) {
    const auto& c = GetParam();
    EXPECT_EQ(TWLSocket::ActionText(c.action, c.key, c.search, c.date), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadRequest,
    testing::Values(ReadCase{"currentWeek", "GET_CURRENT_WEEK", "k1", "", std::nullopt,
                             R"({"ACTION": "GET_CURRENT_WEEK","KEY"   : "k1"})"},
                    ReadCase{"note", "GET_NOTE", "k1", "", std::nullopt,
                             R"({"ACTION": "GET_NOTE","KEY"   : "k1"})"},
                    ReadCase{"day", "GET_DAY", "k1", "", kJan5,
                             R"({"ACTION": "GET_DAY","KEY"   : "k1","DAY"   : "05.01.2021"})"},
                    ReadCase{"search", "GET_SEARCH", "k1", "план", std::nullopt,
                             R"({"ACTION": "GET_SEARCH","KEY"   : "k1","search"   : "план"})"},
                    // Empty search text: the plain form, no "search" member.
                    ReadCase{"emptySearch", "GET_SEARCH", "k1", "", std::nullopt,
                             R"({"ACTION": "GET_SEARCH","KEY"   : "k1"})"},
                    ReadCase{"quotedSearch", "GET_SEARCH", "k\"1", "a \"b\" \\ c\n", std::nullopt,
                             R"({"ACTION": "GET_SEARCH","KEY"   : "k\"1","search"   : "a \"b\" \\ c\n"})"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadRequest, EscapedTextsStayValidJson) {
    std::string text =
        TWLSocket::ActionText("GET_SEARCH", "key", std::string("\"\\\x01\t/Ж", 7), std::nullopt);
    JsonValue v = ParseJson(text);
    EXPECT_EQ(v.GetString("search"), std::string("\"\\\x01\t/Ж", 7));
    EXPECT_NE(text.find("Ж"), std::string::npos);  // travels as UTF-8, not escaped
}

TEST(ReadRequest, DaysRangeHasItsOwnSpacing) {
    EXPECT_EQ(TWLSocket::DaysRangeText("k1", MakeDate(2021, 1, 4), MakeDate(2021, 1, 10)),
              R"({"ACTION": "GET_DAYS_RANGE","KEY"  : "k1","Start": "04.01.2021","End"  : "10.01.2021"})");
}

TEST(WriteRequest, SetDayIsCompactWithATextTimestamp) {
    EXPECT_EQ(TWLSocket::SetDayText("k1", kJan5, "<b>Hi</b>", 1609804800),
              R"({"ACTION":"SET_DAY","KEY":"k1","05.01.2021":"<b>Hi</b>","timestamp":"1609804800"})");
    // Clearing a day sends the empty text.
    EXPECT_EQ(TWLSocket::SetDayText("k1", kJan5, "", 7),
              R"({"ACTION":"SET_DAY","KEY":"k1","05.01.2021":"","timestamp":"7"})");
}

TEST(WriteRequest, PagesAreAsciiWithLowerCaseEscapes) {
    EXPECT_EQ(
        TWLSocket::SetPageText("SET_NOTE", "note", "k1", "\"Заметки\"\r\n"),
        R"({"ACTION":"SET_NOTE","KEY":"k1","note":"\"\u0417\u0430\u043c\u0435\u0442\u043a\u0438\"\r\n"})");
    EXPECT_EQ(TWLSocket::SetPageText("SET_TEMPLATE", "template", "k1", std::string(1, '\0')),
              R"({"ACTION":"SET_TEMPLATE","KEY":"k1","template":"\u0000"})");
}

}  // namespace
}  // namespace wl
