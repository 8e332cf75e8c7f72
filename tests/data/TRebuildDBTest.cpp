// The conversion of older stores: what the first step prepares, what the second sends and
// stores, and the faults it must survive (a key that is not a date, a send that fails).
#include "data/TRebuildDB.h"

#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "TempDataDir.h"
#include "data/Json.h"
#include "data/TWeekleaf.h"

namespace wl {
namespace {

class RebuildTest : public test::TempDataDir {
  protected:
    void SetUp() override { TempDataDir::SetUp(); }

    // Writes the store, loads it and runs the first step.
    void Load(const JsonValue& doc) {
        Write(dataDir / "Data.json", SerializeJson(doc));
        store = std::make_unique<TWeekleaf>();
        rebuild = std::make_unique<TRebuildDB>(*store);
        rebuild->mayBy_StartRebuildDB_ToHTML();
    }

    TRebuildSends Recorder() {
        TRebuildSends s;
        s.SetNote = [this](const std::string& h) { Send("SET_NOTE " + h); };
        s.SetTemplate = [this](const std::string& h) { Send("SET_TEMPLATE " + h); };
        s.SetDay = [this](Date d, const std::string& h) { Send("SET_DAY " + DateToStr(d) + " " + h); };
        return s;
    }
    void Send(const std::string& what) {
        if (failAfter >= 0 && static_cast<int>(sent.size()) >= failAfter)
            throw std::runtime_error("not connected");
        sent.push_back(what);
    }
    JsonValue OnDisk() const { return ParseJson(Read(dataDir / "Data.json")); }
    std::string ErrLogText() const { return Read(dataDir / "ErrLog.txt"); }

    std::unique_ptr<TWeekleaf> store;
    std::unique_ptr<TRebuildDB> rebuild;
    std::vector<std::string> sent;
    int failAfter = -1;
};

JsonValue Doc(std::initializer_list<std::pair<const char*, const char*>> members) {
    JsonValue doc = JsonValue::MakeObject();
    for (const auto& [k, v] : members) doc.Set(k, JsonValue(v));
    return doc;
}

const char* kRtfDay =
    "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset204 Tahoma;}}\\f0 \\'c2\\'f1\\'f2\\'f0\\'e5\\'f7\\'e0"
    " a<b & c>d\\par \\u1078?\\'e4\\'e0\\par}";

TEST_F(RebuildTest, HtmlStoreIsLeftAloneAndNothingIsSent) {
    Load(Doc({{"ver", "HTML"}, {"note", "n"}, {"template", "t"}, {"05.01.2021", "{\\rtf1 x}"}}));
    const std::string before = Read(dataDir / "Data.json");
    EXPECT_FALSE(rebuild->NeedsRebuild());
    EXPECT_FALSE(rebuild->mayBy_EndRebuildDB_ToHTML(Recorder()));
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(store->Get("05.01.2021"), "{\\rtf1 x}");
    EXPECT_EQ(Read(dataDir / "Data.json"), before);
}

TEST_F(RebuildTest, RtfStoreIsSentOncePerEntryStoredAsHtmlAndSavedAtOnce) {
    Load(Doc({{"ver", "RTFv2"},
              {"note", "{\\rtf1 note\\par two}"},
              {"template", "{\\rtf1 \\'d8\\'e0\\'e1\\'eb\\'ee\\'ed}"},
              {"05.01.2021", kRtfDay},
              {"06.01.2021", "plain <b>as it was</b>"}}));
    // The first step prepares the texts and leaves the store as it is.
    EXPECT_EQ(rebuild->RebuildDoc.GetString("05.01.2021"), "Встреча a&lt;b &amp; c&gt;d<br>жда<br>");
    EXPECT_EQ(store->Get("05.01.2021"), kRtfDay);
    EXPECT_EQ(OnDisk().GetString("ver"), "RTFv2");

    ASSERT_TRUE(rebuild->mayBy_EndRebuildDB_ToHTML(Recorder()));
    EXPECT_EQ(sent, (std::vector<std::string>{"SET_NOTE note<br>two", "SET_TEMPLATE Шаблон",
                                              "SET_DAY 05.01.2021 Встреча a&lt;b &amp; c&gt;d<br>жда<br>",
                                              "SET_DAY 06.01.2021 plain &lt;b&gt;as it was&lt;/b&gt;"}));
    const JsonValue disk = OnDisk();
    EXPECT_EQ(disk.GetString("ver"), "HTML");
    EXPECT_EQ(disk.GetString("note"), "note<br>two");
    EXPECT_EQ(disk.GetString("template"), "Шаблон");
    EXPECT_EQ(disk.GetString("05.01.2021"), "Встреча a&lt;b &amp; c&gt;d<br>жда<br>");
    EXPECT_EQ(disk.GetString("06.01.2021"), "plain &lt;b&gt;as it was&lt;/b&gt;");

    // Completed: later connected ticks send nothing.
    sent.clear();
    EXPECT_FALSE(rebuild->mayBy_EndRebuildDB_ToHTML(Recorder()));
    EXPECT_TRUE(sent.empty());
}

// A plain-text entry becomes HTML that shows the same text, converted exactly as an RTF entry's
// plain text is; both kinds of older store hold such entries.
struct PlainEntry {
    const char* name;
    const char* ver;  // nullptr: a store from before "ver"
    const char* text;
    const char* html;
};

void PrintTo(const PlainEntry& c, std::ostream* os) {
    *os << c.name;
}

class RebuildPlainTest : public RebuildTest, public ::testing::WithParamInterface<PlainEntry> {};

TEST_P(RebuildPlainTest, PlainTextEntryIsStoredAndSentAsHtmlShowingTheSameText) {
    const PlainEntry& c = GetParam();
    JsonValue doc = Doc({{"note", "n1\nn2"}, {"template", ""}, {"05.01.2021", c.text}});
    if (c.ver) doc.Set("ver", JsonValue(c.ver));
    Load(doc);
    EXPECT_TRUE(rebuild->NeedsRebuild());
    ASSERT_TRUE(rebuild->mayBy_EndRebuildDB_ToHTML(Recorder()));
    EXPECT_EQ(store->Get("05.01.2021"), c.html);
    EXPECT_EQ(OnDisk().GetString("05.01.2021"), c.html);
    EXPECT_EQ(store->Get("note"), "n1<br>n2");
    EXPECT_EQ(store->Get("ver"), "HTML");
    EXPECT_EQ(sent, (std::vector<std::string>{"SET_NOTE n1<br>n2", "SET_TEMPLATE ",
                                              std::string("SET_DAY 05.01.2021 ") + c.html}));
}

INSTANTIATE_TEST_SUITE_P(
    OlderStores, RebuildPlainTest,
    ::testing::Values(PlainEntry{"noVerLineBreaks", nullptr, "a\r\nb\nc\rd", "a<br>b<br>c<br>d"},
                      PlainEntry{"noVerMarkupCharacters", nullptr, "a<b & c>d", "a&lt;b &amp; c&gt;d"},
                      PlainEntry{"noVerLooksLikeHtml", nullptr, "<b>x</b>", "&lt;b&gt;x&lt;/b&gt;"},
                      PlainEntry{"noVerRtfNotAtTheStart", nullptr, "text {\\rtf1 later}",
                                 "text {\\rtf1 later}"},
                      PlainEntry{"rtfStorePlainEntry", "RTFv2", "Купить\r\nхлеб & <молоко>",
                                 "Купить<br>хлеб &amp; &lt;молоко&gt;"},
                      PlainEntry{"rtfStoreEmptyEntry", "RTFv2", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RebuildTest, KeyThatIsNotADateIsNotSentAndTheStepCompletes) {
    Load(Doc({{"ver", "RTFv2"},
              {"note", ""},
              {"template", ""},
              {"junk", "{\\rtf1 j}"},
              {"08.01.2021", "{\\rtf1 d}"}}));
    ASSERT_TRUE(rebuild->mayBy_EndRebuildDB_ToHTML(Recorder()));
    EXPECT_EQ(sent, (std::vector<std::string>{"SET_NOTE ", "SET_TEMPLATE ", "SET_DAY 08.01.2021 d"}));
    EXPECT_EQ(OnDisk().GetString("ver"), "HTML");
    EXPECT_EQ(OnDisk().GetString("junk"), "j");
    const std::string log = ErrLogText();
    EXPECT_NE(log.find("mayBy_EndRebuildDB_ToHTML: \"junk\" is not a date"), std::string::npos);
    EXPECT_EQ(log.find("\n", log.find('\n') + 1), std::string::npos) << "exactly one line: " << log;
    sent.clear();
    EXPECT_FALSE(rebuild->mayBy_EndRebuildDB_ToHTML(Recorder()));
    EXPECT_TRUE(sent.empty());
}

TEST_F(RebuildTest, FailedSendKeepsTheOldFormatAndTheNextTickSendsAgain) {
    Load(Doc({{"ver", "RTFv2"}, {"note", "{\\rtf1 n}"}, {"template", ""}, {"05.01.2021", "{\\rtf1 d}"}}));
    failAfter = 2;  // the connection drops before the day
    EXPECT_FALSE(rebuild->mayBy_EndRebuildDB_ToHTML(Recorder()));
    EXPECT_EQ(store->Get("ver"), "RTFv2");
    EXPECT_EQ(OnDisk().GetString("ver"), "RTFv2");
    EXPECT_NE(ErrLogText().find("mayBy_EndRebuildDB_ToHTML: not connected"), std::string::npos);

    failAfter = -1;
    sent.clear();
    ASSERT_TRUE(rebuild->mayBy_EndRebuildDB_ToHTML(Recorder()));
    EXPECT_EQ(sent, (std::vector<std::string>{"SET_NOTE n", "SET_TEMPLATE ", "SET_DAY 05.01.2021 d"}));
    EXPECT_EQ(OnDisk().GetString("ver"), "HTML");
}

TEST_F(RebuildTest, SecondStepWithoutTheFirstChangesNothing) {
    Write(dataDir / "Data.json", SerializeJson(Doc({{"ver", "RTFv2"}, {"note", "{\\rtf1 n}"}})));
    TWeekleaf s;
    TRebuildDB r(s);
    EXPECT_FALSE(r.mayBy_EndRebuildDB_ToHTML(Recorder()));
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(s.Get("note"), "{\\rtf1 n}");
}

}  // namespace
}  // namespace wl
