#include "TSyncRequest.h"

#include <array>
#include <charconv>
#include <optional>
#include <utility>

#include "data/Json.h"

namespace wl {

namespace {

constexpr std::array<std::pair<TSyncAction, std::string_view>, 9> kActions{{
    {TSyncAction::GetCurrentWeek, "GET_CURRENT_WEEK"},
    {TSyncAction::GetNote, "GET_NOTE"},
    {TSyncAction::GetTemplate, "GET_TEMPLATE"},
    {TSyncAction::GetDay, "GET_DAY"},
    {TSyncAction::GetDaysRange, "GET_DAYS_RANGE"},
    {TSyncAction::GetSearch, "GET_SEARCH"},
    {TSyncAction::SetDay, "SET_DAY"},
    {TSyncAction::SetNote, "SET_NOTE"},
    {TSyncAction::SetTemplate, "SET_TEMPLATE"},
}};

// Requests are flat; deeper nesting is refused early instead of being parsed.
constexpr int kMaxDepth = 16;

TSyncAction ActionFromName(std::string_view name) {
    for (const auto& [action, text] : kActions)
        if (text == name) return action;
    return TSyncAction::None;
}

bool IsBlank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// A string member, or nullopt when absent or of another type.
std::optional<std::string> StringMember(const JsonValue& object, std::string_view name) {
    const JsonValue* value = object.Find(name);
    if (value == nullptr || !value->IsString()) return std::nullopt;
    return value->AsString();
}

std::optional<Date> DateMember(const JsonValue& object, std::string_view name) {
    const auto text = StringMember(object, name);
    return text ? StrToDate(*text) : std::nullopt;
}

// Unix seconds as the client writes them (decimal digits in a string); a whole JSON number is taken too.
std::optional<std::int64_t> TimestampMember(const JsonValue& object) {
    const JsonValue* value = object.Find("timestamp");
    if (value == nullptr) return std::nullopt;
    if (value->IsNumber()) {
        const double n = value->AsNumber();
        if (!(n >= 0 && n < 9.0e15) || n != static_cast<double>(static_cast<std::int64_t>(n)))
            return std::nullopt;
        return static_cast<std::int64_t>(n);
    }
    if (!value->IsString()) return std::nullopt;
    const std::string& text = value->AsString();
    std::int64_t seconds = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (ec != std::errc() || end != text.data() + text.size() || seconds < 0) return std::nullopt;
    return seconds;
}

// SET_DAY names its day by a member whose name is the day key; the first such string member counts.
bool FindDayMember(const JsonValue& object, TSyncRequest& request) {
    for (const auto& [name, value] : object.Members()) {
        if (!value.IsString()) continue;
        if (const auto day = StrToDate(name)) {
            request.Day = *day;
            request.Text = value.AsString();
            return true;
        }
    }
    return false;
}

// Fills the members the action needs; false when one is missing or malformed.
bool ReadPayload(const JsonValue& object, TSyncRequest& request) {
    switch (request.Action) {
        case TSyncAction::GetDay: {
            const auto day = DateMember(object, "DAY");
            if (day) request.Day = *day;
            return day.has_value();
        }
        case TSyncAction::GetDaysRange: {
            const auto start = DateMember(object, "Start"), end = DateMember(object, "End");
            if (!start || !end || *end < *start || end->days - start->days >= kMaxRangeDays) return false;
            request.Start = *start;
            request.End = *end;
            return true;
        }
        case TSyncAction::GetSearch:
            request.Text = StringMember(object, "search").value_or("");
            return true;
        case TSyncAction::SetDay: {
            const auto timestamp = TimestampMember(object);
            if (!timestamp || !FindDayMember(object, request)) return false;
            request.Timestamp = *timestamp;
            return true;
        }
        case TSyncAction::SetNote:
        case TSyncAction::SetTemplate: {
            // A write without its text must not pass for "make it empty".
            auto text = StringMember(object, request.Action == TSyncAction::SetNote ? "note" : "template");
            if (text) request.Text = std::move(*text);
            return text.has_value();
        }
        default:
            return true;
    }
}

}  // namespace

std::string_view SyncActionName(TSyncAction action) {
    for (const auto& [known, text] : kActions)
        if (known == action) return text;
    return {};
}

TParsedRequest ParseSyncRequest(std::string_view text) {
    TParsedRequest parsed;
    JsonValue object;
    try {
        object = ParseJson(text, kMaxDepth);
    } catch (const std::exception&) {
        parsed.Status = ER_REQUEST;
        return parsed;
    }
    if (!object.IsObject()) {
        parsed.Status = ER_REQUEST;
        return parsed;
    }
    TSyncRequest& request = parsed.Request;
    request.Action = ActionFromName(object.GetString("ACTION"));
    const auto key = StringMember(object, "KEY");
    if (!key || IsBlank(*key) || key->size() > kMaxKeyBytes) {
        parsed.Status = ER_KEY;
        return parsed;
    }
    if (request.Action == TSyncAction::None) {
        parsed.Status = ER_REQUEST;
        return parsed;
    }
    request.Key = *key;
    if (!ReadPayload(object, request)) parsed.Status = ER_VARIABLE;
    return parsed;
}

}  // namespace wl
