// The local search: lower-casing across scripts, what counts as text of a day, what is never a
// result, and results that follow edits made between searches.
#include "data/SearchInStore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/Json.h"
#include "platform/TextCase.h"

namespace wl {
namespace {

TEST(LowerText, FoldsCapitalsOfEveryScriptAndKeepsBrokenBytes) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"ПРИВЕТ Мир", "привет мир"},
        {"ЁЖИК Ђ Ї", "ёжик ђ ї"},
        {"ÀÉÎÕÜ ÆØ", "àéîõü æø"},
        {"ΑΒΓ Σ", "αβγ σ"},
        {"ABC xyz 123", "abc xyz 123"},
        {"😀 ẞ", "😀 ß"},
        {std::string("a\xff\xd0Z"), std::string("a\xff\xd0z")},  // not UTF-8: kept
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(LowerText(c.in), c.out) << c.in;
}

JsonValue Store() {
    JsonValue doc = JsonValue::MakeObject();
    doc.Set("ver", JsonValue("HTML"));
    doc.Set("note", JsonValue("встреча в заметках"));
    doc.Set("template", JsonValue("встреча в шаблоне"));
    doc.Set("04.01.2021", JsonValue("<div>купить <b>молоко</b></div><div>Позвонить маме</div>"));
    doc.Set("05.01.2021", JsonValue("<p>Важная <b>встреча</b> &amp; обед</p>"));
    doc.Set("06.01.2021",
            JsonValue("<font color=\"#ff0000\">красный</font> <span title=\"встреча\">x</span>"));
    doc.Set("07.01.2021", JsonValue(""));
    return doc;
}

TEST(SearchInStore, FindsDaysByTheirPlainTextInLowerCase) {
    struct Case {
        const char* query;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        // A capital query finds the word in lower case inside bold; the line is the whole entry.
        {"ВСТРЕЧА", {"05.01.2021: важная встреча & обед"}},
        // Text across formatting and blocks; the line breaks between blocks show as spaces.
        {"молоко", {"04.01.2021: купить молоко позвонить маме"}},
        // Only in a tag or attribute: not text.
        {"ff0000", {}},
        {"font", {}},
        {"title", {}},
        // Entities are read as the characters they stand for.
        {"& обед", {"05.01.2021: важная встреча & обед"}},
        {"&amp;", {}},
        // Notes and template are never results.
        {"заметках", {}},
        {"шаблоне", {}},
        // The empty query finds nothing, even the empty day.
        {"", {}},
        // The newest day first.
        {"А",
         {"06.01.2021: красный x", "05.01.2021: важная встреча & обед",
          "04.01.2021: купить молоко позвонить маме"}},
    };
    TStoreSearch search;
    const JsonValue store = Store();
    for (const Case& c : cases) EXPECT_EQ(search.SearchInStore(store, c.query), c.lines) << c.query;
}

std::string Repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

// A line is one row of a narrow list: it must show the match, so a text whose match lies beyond
// the first 30 characters is shown from a little before the match, starting at a word, and a
// long text is cut off (at a whole character) after it.
TEST(SearchInStore, TheLineShowsTheMatchInItsContext) {
    const std::string words = "раз два три четыре пять шесть семь восемь девять десять ";
    const std::string tail(400, 'x');
    struct Case {
        const char* name;
        std::string text;
        const char* query;
        std::string line;
    };
    const Case cases[] = {
        {"matchNearTheStart", "два слова", "слова", "два слова"},
        {"matchWithinTheFirstWords", words.substr(0, 53) + "врач", "врач", words.substr(0, 53) + "врач"},
        {"matchFarIn", words + "Встреча с врачом", "врачом", "…десять встреча с врачом"},
        {"noGapBeforeTheMatch", std::string(60, 'y') + "zz", "zz", "…" + std::string(20, 'y') + "zz"},
        {"lineBreaksBecomeSpaces", "a\r\nb\nc\rd", "b", "a b c d"},
        {"longTailIsCut", "начало " + tail, "начало", "начало " + tail.substr(0, 227) + "…"},
        {"tailIsCutAtAWholeCharacter", "a" + Repeat("щ", 300), "a", "a" + Repeat("щ", 119) + "…"},
        {"bothEndsCut", words + "цель " + tail, "цель", "…девять десять цель " + tail.substr(0, 205) + "…"},
    };
    TStoreSearch search;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JsonValue store = JsonValue::MakeObject();
        store.Set("05.01.2021", JsonValue(c.text));
        const std::vector<std::string> lines = search.SearchInStore(store, c.query);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0], "05.01.2021: " + c.line);
    }
}

TEST(SearchInStore, NewestDayFirstWhateverTheStoreOrder) {
    JsonValue store = JsonValue::MakeObject();
    for (const char* key : {"05.01.2021", "31.12.2020", "not a day", "01.02.2021", "04.01.2021"})
        store.Set(key, JsonValue("x"));
    TStoreSearch search;
    EXPECT_EQ(search.SearchInStore(store, "x"),
              (std::vector<std::string>{"01.02.2021: x", "05.01.2021: x", "04.01.2021: x", "31.12.2020: x",
                                        "not a day: x"}));
}

TEST(SearchInStore, ADayChangedSinceTheLastSearchIsReadAfresh) {
    TStoreSearch search;
    JsonValue store = Store();
    EXPECT_EQ(search.SearchInStore(store, "молоко").size(), 1u);
    store.Set("04.01.2021", JsonValue("<i>хлеб</i>"));
    EXPECT_TRUE(search.SearchInStore(store, "молоко").empty());
    EXPECT_EQ(search.SearchInStore(store, "ХЛЕБ"), std::vector<std::string>{"04.01.2021: хлеб"});
}

TEST(SearchInStore, TextsMadeAheadAreUsedUntilTheirDayChanges) {
    JsonValue store = Store();
    TStoreSearch::Texts days = TStoreSearch::Days(store);
    ASSERT_EQ(days.size(), 4u);  // the days only, not the pages
    TStoreSearch::MakeTexts(days);
    EXPECT_EQ(days[1].second.lower, "важная встреча & обед");
    // A text taken in is what the search reads while its day's HTML is unchanged...
    days[1].second.lower = "made ahead";
    TStoreSearch search;
    search.Adopt(std::move(days));
    EXPECT_EQ(search.SearchInStore(store, "ahead"), std::vector<std::string>{"05.01.2021: made ahead"});
    // ...and a day changed after the copy is read afresh.
    store.Set("05.01.2021", JsonValue("<b>новое</b>"));
    EXPECT_TRUE(search.SearchInStore(store, "ahead").empty());
    EXPECT_EQ(search.SearchInStore(store, "новое"), std::vector<std::string>{"05.01.2021: новое"});
}

TEST(SearchInStore, MembersThatAreNotTextAreSkipped) {
    JsonValue store = JsonValue::MakeObject();
    store.Set("05.01.2021", JsonValue(5));
    store.Set("06.01.2021", JsonValue("5"));
    TStoreSearch search;
    EXPECT_EQ(search.SearchInStore(store, "5"), std::vector<std::string>{"06.01.2021: 5"});
    EXPECT_TRUE(search.SearchInStore(JsonValue("not an object"), "5").empty());
}

}  // namespace
}  // namespace wl
