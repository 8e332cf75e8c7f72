#include "data/SearchInStore.h"

#include <algorithm>
#include <functional>
#include <optional>

#include "data/HtmlToText.h"
#include "platform/DateText.h"
#include "platform/TextCase.h"

namespace wl {
namespace {

bool IsPageMember(std::string_view key) {
    return key == "note" || key == "template" || key == "ver";
}

// How much of a day's text a result line shows before the match, and at most in all: the list is
// one line wide, so a match further in than the line shows whole is shown from just before it, and
// the rest is cut off by the list.
constexpr int kWholeLeadChars = 30;
constexpr int kLeadChars = 20;
constexpr std::size_t kMaxContextBytes = 240;

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The bytes of `text` up to `limit`, cut back to a whole character.
std::string_view WholeChars(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text;
    while (limit > 0 && IsContinuation(text[limit])) --limit;
    return text.substr(0, limit);
}

// The part of a day's text a result line shows: from a few words before the first match (at a
// word's start when one is there) on, on one line; "…" marks text left out at either end.
std::string Context(std::string_view plain, std::size_t match) {
    const auto charsBefore = std::count_if(plain.begin(), plain.begin() + std::ptrdiff_t(match),
                                           [](char c) { return !IsContinuation(c); });
    std::size_t start = charsBefore <= kWholeLeadChars ? 0 : match;
    for (int chars = 0; start > 0 && chars < kLeadChars; ++chars) {
        do --start;
        while (start > 0 && IsContinuation(plain[start]));
    }
    if (start > 0) {
        const std::size_t gap = plain.find_first_of(" \t\r\n", start);
        if (gap < match) start = gap + 1;
    }
    const std::string_view shown = WholeChars(plain.substr(start), kMaxContextBytes);
    std::string line = start > 0 ? "…" : "";
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const char c = shown[i];
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        if (c == '\r' && i + 1 < shown.size() && shown[i + 1] == '\n') ++i;  // CR LF is one break
        line += ' ';
    }
    if (start + shown.size() < plain.size()) line += "…";
    return line;
}

// Newest day first; members whose name is not a date follow in the store's order.
void NewestFirst(std::vector<std::pair<std::optional<Date>, std::string>>& found) {
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        if (a.first && b.first) return *a.first > *b.first;
        return a.first.has_value() && !b.first.has_value();
    });
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
    std::vector<std::pair<std::optional<Date>, std::string>> found;
    for (const auto& [key, value] : store.Members()) {
        if (IsPageMember(key) || !value.IsString()) continue;
        const std::string& plain = LowerPlainText(key, value.AsString());
        const auto match = std::search(plain.begin(), plain.end(), searcher);
        if (match == plain.end()) continue;
        found.emplace_back(StrToDate(key), key + ": " + Context(plain, std::size_t(match - plain.begin())));
    }
    NewestFirst(found);
    lines.reserve(found.size());
    for (auto& [day, line] : found) lines.push_back(std::move(line));
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
