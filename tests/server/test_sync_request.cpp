// Reading requests: the client's exact bytes for every action, and the refusals.
#include <gtest/gtest.h>

#include "TSyncRequest.h"

namespace wl {
namespace {

struct TAccepted {
    const char* name;
    std::string text;
    TSyncAction action;
    std::string key;
    std::string day;  // "" when the action carries none
    std::string textMember;
};

class AcceptedRequest : public testing::TestWithParam<TAccepted> {};

// The read requests as the client joins them (irregular blanks), the writes as its compact writer.
INSTANTIATE_TEST_SUITE_P(
    ClientBytes, AcceptedRequest,
    testing::Values(
        TAccepted{"CurrentWeek", R"({"ACTION": "GET_CURRENT_WEEK","KEY"   : "k1"})",
                  TSyncAction::GetCurrentWeek, "k1", "", ""},
        TAccepted{"Note", R"({"ACTION": "GET_NOTE","KEY"   : "k1"})", TSyncAction::GetNote, "k1", "", ""},
        TAccepted{"Template", R"({"ACTION": "GET_TEMPLATE","KEY"   : "k1"})", TSyncAction::GetTemplate, "k1",
                  "", ""},
        TAccepted{"Day", R"({"ACTION": "GET_DAY","KEY"   : "k1","DAY"   : "05.01.2021"})",
                  TSyncAction::GetDay, "k1", "05.01.2021", ""},
        TAccepted{"SearchQuoteAndCyrillic",
                  "{\"ACTION\": \"GET_SEARCH\",\"KEY\"   : \"k1\",\"search\"   : \"\\\"Заметки\"}",
                  TSyncAction::GetSearch, "k1", "", "\"Заметки"},
        TAccepted{"SearchPlainForm", R"({"ACTION": "GET_SEARCH","KEY"   : "k1"})", TSyncAction::GetSearch,
                  "k1", "", ""},
        TAccepted{
            "SetDay",
            R"({"ACTION":"SET_DAY","KEY":"k\"1","05.01.2021":"<p>\u0437\u0430</p>","timestamp":"1609840000"})",
            TSyncAction::SetDay, "k\"1", "05.01.2021", "<p>за</p>"},
        TAccepted{"SetDayEmpty", R"({"ACTION":"SET_DAY","KEY":"k1","05.01.2021":"","timestamp":"1"})",
                  TSyncAction::SetDay, "k1", "05.01.2021", ""},
        TAccepted{"SetNote", R"({"ACTION":"SET_NOTE","KEY":"k1","note":"\"\u0417\u0430\u043c"})",
                  TSyncAction::SetNote, "k1", "", "\"Зам"},
        TAccepted{"SetTemplate", R"({"ACTION":"SET_TEMPLATE","KEY":"k1","template":""})",
                  TSyncAction::SetTemplate, "k1", "", ""}),
    [](const testing::TestParamInfo<TAccepted>& info) { return info.param.name; });

TEST_P(AcceptedRequest, IsReadAsSent) {
    const TParsedRequest parsed = ParseSyncRequest(GetParam().text);
    ASSERT_EQ(parsed.Status, ER_SUCCESS);
    EXPECT_EQ(parsed.Request.Action, GetParam().action);
    EXPECT_EQ(parsed.Request.Key, GetParam().key);
    EXPECT_EQ(parsed.Request.Text, GetParam().textMember);
    if (!GetParam().day.empty()) {
        EXPECT_EQ(DateToStr(parsed.Request.Day), GetParam().day);
    }
}

TEST(SyncRequest, DaysRangeAsTheClientJoinsIt) {
    const auto parsed = ParseSyncRequest(
        R"({"ACTION": "GET_DAYS_RANGE","KEY"  : "k1","Start": "04.01.2021","End"  : "10.01.2021"})");
    ASSERT_EQ(parsed.Status, ER_SUCCESS);
    EXPECT_EQ(DateToStr(parsed.Request.Start), "04.01.2021");
    EXPECT_EQ(DateToStr(parsed.Request.End), "10.01.2021");
}

TEST(SyncRequest, SetDayTimestampIsUnixSeconds) {
    const auto parsed =
        ParseSyncRequest(R"({"ACTION":"SET_DAY","KEY":"k","05.01.2021":"x","timestamp":"1609840000"})");
    ASSERT_EQ(parsed.Status, ER_SUCCESS);
    EXPECT_EQ(parsed.Request.Timestamp, 1609840000);
}

struct TRefused {
    const char* name;
    std::string text;
    ResultCode status;
};

class RefusedRequest : public testing::TestWithParam<TRefused> {};

INSTANTIATE_TEST_SUITE_P(
    Refusals, RefusedRequest,
    testing::Values(
        TRefused{"NotJson", "GET_CURRENT_WEEK k1", ER_REQUEST},
        TRefused{"Truncated", R"({"ACTION": "GET_NOTE","KEY"   : "k1")", ER_REQUEST},
        TRefused{"Array", R"(["GET_NOTE"])", ER_REQUEST},
        TRefused{"DeepNesting", std::string(5000, '[') + std::string(5000, ']'), ER_REQUEST},
        TRefused{"EmptyText", "", ER_KEY},
        TRefused{"MissingKey", R"({"ACTION": "GET_CURRENT_WEEK"})", ER_KEY},
        TRefused{"EmptyKey", R"({"ACTION": "GET_CURRENT_WEEK","KEY"   : ""})", ER_KEY},
        TRefused{"BlankKey", R"({"ACTION": "GET_CURRENT_WEEK","KEY"   : "  "})", ER_KEY},
        TRefused{"NumberKey", R"({"ACTION": "GET_CURRENT_WEEK","KEY": 5})", ER_KEY},
        TRefused{"HugeKey", R"({"ACTION": "GET_NOTE","KEY": ")" + std::string(kMaxKeyBytes + 1, 'k') + "\"}",
                 ER_KEY},
        TRefused{"UnknownAction", R"({"ACTION": "DROP_ALL","KEY": "k1"})", ER_REQUEST},
        TRefused{"ActionInOtherCase", R"({"ACTION": "get_note","KEY": "k1"})", ER_REQUEST},
        TRefused{"MissingAction", R"({"KEY": "k1"})", ER_REQUEST},
        TRefused{"DayNotADate", R"({"ACTION": "GET_DAY","KEY": "k1","DAY": "31.02.2021"})", ER_VARIABLE},
        TRefused{"DayMissing", R"({"ACTION": "GET_DAY","KEY": "k1"})", ER_VARIABLE},
        TRefused{"RangeReversed",
                 R"({"ACTION": "GET_DAYS_RANGE","KEY": "k1","Start": "10.01.2021","End": "04.01.2021"})",
                 ER_VARIABLE},
        TRefused{"RangeTooLong",
                 R"({"ACTION": "GET_DAYS_RANGE","KEY": "k1","Start": "01.01.2021","End": "02.01.2022"})",
                 ER_VARIABLE},
        TRefused{"SetDayWithoutDay", R"({"ACTION":"SET_DAY","KEY":"k1","timestamp":"1"})", ER_VARIABLE},
        TRefused{"SetDayWithoutTimestamp", R"({"ACTION":"SET_DAY","KEY":"k1","05.01.2021":"x"})",
                 ER_VARIABLE},
        TRefused{"SetDayNegativeTimestamp",
                 R"({"ACTION":"SET_DAY","KEY":"k1","05.01.2021":"x","timestamp":"-5"})", ER_VARIABLE},
        TRefused{"SetDayTimestampText",
                 R"({"ACTION":"SET_DAY","KEY":"k1","05.01.2021":"x","timestamp":"12a"})", ER_VARIABLE},
        TRefused{"SetDayHtmlNotText", R"({"ACTION":"SET_DAY","KEY":"k1","05.01.2021":5,"timestamp":"1"})",
                 ER_VARIABLE},
        TRefused{"SetNoteWithoutNote", R"({"ACTION":"SET_NOTE","KEY":"k1"})", ER_VARIABLE},
        TRefused{"SetTemplateNull", R"({"ACTION":"SET_TEMPLATE","KEY":"k1","template":null})", ER_VARIABLE}),
    [](const testing::TestParamInfo<TRefused>& info) { return info.param.name; });

TEST_P(RefusedRequest, GetsItsStatus) {
    EXPECT_EQ(ParseSyncRequest(GetParam().text).Status, GetParam().status);
}

TEST(SyncRequest, RefusalKeepsTheRecognisedAction) {
    const auto parsed = ParseSyncRequest(R"({"ACTION":"SET_NOTE","KEY":"k1"})");
    EXPECT_EQ(parsed.Request.Action, TSyncAction::SetNote);
    EXPECT_EQ(SyncActionName(parsed.Request.Action), "SET_NOTE");
}

}  // namespace
}  // namespace wl
