#include "data/SearchInStore.h"

#include <algorithm>
#include <functional>

#include "data/HtmlToText.h"
#include "platform/TextCase.h"

namespace wl {
namespace {

bool IsPageMember(std::string_view key) {
    return key == "note" || key == "template" || key == "ver";
}

}  // namespace

const std::string& TStoreSearch::LowerPlainText(const std::string& key, const std::string& html) {
    Entry& entry = FTexts[key];
    if (entry.html != html) {
        entry.html = html;
        entry.lower = LowerText(HtmlToText(html));
    }
    return entry.lower;
}

std::vector<std::string> TStoreSearch::SearchInStore(const JsonValue& store, std::string_view text) {
    std::vector<std::string> lines;
    const std::string query = LowerText(text);
    if (query.empty() || !store.IsObject()) return lines;
    // Cyrillic text repeats its first bytes every other character; a skipping search does not
    // stop at each of them as a plain find does.
    const std::boyer_moore_horspool_searcher searcher(query.begin(), query.end());
    for (const auto& [key, value] : store.Members()) {
        if (IsPageMember(key) || !value.IsString()) continue;
        const std::string& plain = LowerPlainText(key, value.AsString());
        if (std::search(plain.begin(), plain.end(), searcher) == plain.end()) continue;
        lines.push_back(key + ": " + plain);
    }
    return lines;
}

TStoreSearch::Texts TStoreSearch::Days(const JsonValue& store) {
    Texts days;
    if (!store.IsObject()) return days;
    days.reserve(store.size());
    for (const auto& [key, value] : store.Members()) {
        if (IsPageMember(key) || !value.IsString()) continue;
        days.emplace_back(key, Entry{value.AsString(), {}});
    }
    return days;
}

void TStoreSearch::MakeTexts(Texts& days) {
    for (auto& [key, entry] : days) entry.lower = LowerText(HtmlToText(entry.html));
}

void TStoreSearch::Adopt(Texts texts) {
    for (auto& [key, entry] : texts) FTexts.insert_or_assign(std::move(key), std::move(entry));
}

}  // namespace wl
