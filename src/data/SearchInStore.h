#pragma once
// The local search over the note store: the days whose plain text holds a piece of text,
// compared in lower case (Cyrillic capitals fold too); tags and attributes are not text.
//
// Owner: the main thread, like the store it reads. The plain texts are kept between searches and
// made again only for days whose HTML changed, so a search over years of days stays immediate.
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "data/Json.h"

namespace wl {

class TStoreSearch {
  public:
    struct Entry {
        std::string html;   // the HTML the text was made from
        std::string lower;  // its plain text, lower-cased
    };
    using Texts = std::vector<std::pair<std::string, Entry>>;  // day key -> entry

    // Result lines, the newest day first: day key, ": ", the day's plain text in lower case on one
    // line, from a few words before the first match on ("…" marks text left out). "note",
    // "template" and "ver" are never results; an empty query finds nothing.
    std::vector<std::string> SearchInStore(const JsonValue& store, std::string_view text);

    // Making the plain texts ahead of the first search, away from the owner's thread: the owner
    // copies the days (Days), any thread makes their texts (MakeTexts), the owner takes them in
    // (Adopt). A day changed meanwhile is read afresh by the next search all the same.
    static Texts Days(const JsonValue& store);
    static void MakeTexts(Texts& days);
    void Adopt(Texts texts);

  private:
    const std::string& LowerPlainText(const std::string& key, const std::string& html);
    std::unordered_map<std::string, Entry> FTexts;
};

}  // namespace wl
