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
        // Text across formatting and blocks; block ends break lines as CR LF.
        {"молоко", {"04.01.2021: купить молоко\r\nпозвонить маме"}},
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
        {"А",
         {"04.01.2021: купить молоко\r\nпозвонить маме", "05.01.2021: важная встреча & обед",
          "06.01.2021: красный x"}},
    };
    TStoreSearch search;
    const JsonValue store = Store();
    for (const Case& c : cases) EXPECT_EQ(search.SearchInStore(store, c.query), c.lines) << c.query;
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
