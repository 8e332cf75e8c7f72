#include "TChangeNotice.h"

#include <array>
#include <charconv>

namespace wl {

namespace {

constexpr std::size_t kInstanceDigits = 16;
constexpr std::size_t kAccountDigits = 64;
constexpr std::size_t kFields = 5;

bool IsLowerHex(std::string_view text, std::size_t digits) {
    if (text.size() != digits) return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

// A decimal integer written the one way the database writes it: no '+', no leading zeros, no "-0",
// no blanks, and it fits in T.
template <class T>
std::optional<T> ParseInteger(std::string_view text) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (text != std::to_string(value)) return std::nullopt;
    return value;
}

const char* KindName(TChangeNotice::TKind kind) {
    switch (kind) {
        case TChangeNotice::TKind::Day:
            return "day";
        case TChangeNotice::TKind::Note:
            return "note";
        case TChangeNotice::TKind::Template:
            return "template";
    }
    return "day";
}

struct TFields {
    std::array<std::string_view, kFields> Head;
    std::optional<std::string_view> Stamp, Text;  // both or neither
};

// kFields fields, each separated by one space, then optionally " <stamp> <text>" where the text is
// everything left (blanks included, possibly empty); nothing before or between.
std::optional<TFields> SplitFields(std::string_view payload) {
    TFields fields;
    for (std::size_t i = 0; i < kFields; ++i) {
        const auto space = payload.find(' ');
        fields.Head[i] = payload.substr(0, space);
        if (fields.Head[i].empty()) return std::nullopt;
        const bool last = i + 1 == kFields;
        if (space == std::string_view::npos) {
            if (!last) return std::nullopt;
            return fields;
        }
        payload = payload.substr(space + 1);
    }
    const auto space = payload.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    fields.Stamp = payload.substr(0, space);
    fields.Text = payload.substr(space + 1);
    return fields;
}

}  // namespace

std::optional<TChangeNotice::TKind> ParseChangeKind(std::string_view text) {
    if (text == "day") return TChangeNotice::TKind::Day;
    if (text == "note") return TChangeNotice::TKind::Note;
    if (text == "template") return TChangeNotice::TKind::Template;
    return std::nullopt;
}

std::optional<TChangeNotice> ParseChangeNotice(std::string_view payload) {
    const auto fields = SplitFields(payload);
    if (!fields) return std::nullopt;
    const auto& [instance, changedText, kindText, dayText, account] = fields->Head;
    const auto changed = ParseInteger<std::int64_t>(changedText);
    const auto kind = ParseChangeKind(kindText);
    const auto day = ParseInteger<std::int32_t>(dayText);
    if (!IsLowerHex(instance, kInstanceDigits) || !IsLowerHex(account, kAccountDigits)) return std::nullopt;
    if (!changed || *changed <= 0 || !kind || !day) return std::nullopt;
    // A page has no day; a day other than 0 there means the sender and this reader disagree on the format.
    if (*kind != TChangeNotice::TKind::Day && *day != 0) return std::nullopt;
    TChangeNotice notice{std::string(instance), *changed, *kind,       Date{*day},
                         std::string(account),  0,        std::nullopt};
    if (!fields->Stamp) return notice;
    const auto stamp = ParseInteger<std::int64_t>(*fields->Stamp);
    if (!stamp || (*kind != TChangeNotice::TKind::Day && *stamp != 0)) return std::nullopt;
    notice.Timestamp = *stamp;
    notice.Text = std::string(*fields->Text);
    return notice;
}

std::string FormatChangeNotice(const TChangeNotice& notice) {
    return notice.Instance + ' ' + std::to_string(notice.Changed) + ' ' + KindName(notice.Kind) + ' ' +
           std::to_string(notice.Kind == TChangeNotice::TKind::Day ? notice.Day.days : 0) + ' ' +
           notice.Account + (notice.Text ? ' ' + std::to_string(notice.Timestamp) + ' ' + *notice.Text : "");
}

}  // namespace wl

namespace wl {

std::string PlaceKey(const std::string& account, TChangeNotice::TKind kind, Date day) {
    return account + ' ' + KindName(kind) + ' ' +
           std::to_string(kind == TChangeNotice::TKind::Day ? day.days : 0);
}

}  // namespace wl
