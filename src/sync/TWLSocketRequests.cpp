// The requests to the sync service. Read requests are joined from fixed pieces with their own
// irregular spacing, which the service sees as they are; write requests are compact JSON.
#include <ctime>

#include "data/Json.h"
#include "sync/TWLSocket.h"

namespace wl {
namespace {

constexpr std::string_view A = "{\"ACTION\": \"";
constexpr std::string_view B = "\",";
constexpr std::string_view C = "\"KEY\"   : \"";
constexpr std::string_view D = "\"search\"   : \"";
constexpr std::string_view E = "\"DAY\"   : \"";
constexpr std::string_view F = "\"";
constexpr std::string_view G = "}";
constexpr std::string_view H = "{\"ACTION\": \"GET_DAYS_RANGE\",\"KEY\"  : \"";
constexpr std::string_view J = "\"Start\": \"";
constexpr std::string_view K = "\"End\"  : \"";

// JSON string content that keeps every character above 126 as it is (it travels as UTF-8).
std::string EscapeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    static const char* hex = "0123456789abcdef";
                    out += "\\u00";
                    out += hex[(c >> 4) & 0xF];
                    out += hex[c & 0xF];
                } else {
                    out += c;
                }
        }
    }
    return out;
}

std::string Join(std::initializer_list<std::string_view> pieces) {
    std::string out;
    for (auto p : pieces) out += p;
    return out;
}

}  // namespace

std::string TWLSocket::ActionText(std::string_view action, std::string_view key, std::string_view search,
                                  std::optional<Date> date) {
    const std::string k = EscapeText(key);
    if (!search.empty()) return Join({A, action, B, C, k, B, D, EscapeText(search), F, G});
    if (date) return Join({A, action, B, C, k, B, E, DateToStr(*date), F, G});
    return Join({A, action, B, C, k, F, G});
}

std::string TWLSocket::DaysRangeText(std::string_view key, Date AStart, Date AEnd) {
    return Join({H, EscapeText(key), B, J, DateToStr(AStart), B, K, DateToStr(AEnd), F, G});
}

std::string TWLSocket::SetDayText(std::string_view key, Date ADate, const std::string& Value,
                                  int64_t timestamp) {
    JsonValue o = JsonValue::MakeObject();
    o.Set("ACTION", "SET_DAY");
    o.Set("KEY", std::string(key));
    o.Set(DateToStr(ADate), Value);
    o.Set("timestamp", std::to_string(timestamp));
    return SerializeJson(o);
}

std::string TWLSocket::SetPageText(std::string_view action, std::string_view member, std::string_view key,
                                   const std::string& Value) {
    JsonValue o = JsonValue::MakeObject();
    o.Set("ACTION", std::string(action));
    o.Set("KEY", std::string(key));
    o.Set(member, Value);
    return SerializeJson(o);
}

void TWLSocket::Send(const std::string& text) {
    IOHandler().Write(text);
}

void TWLSocket::SendAction(std::string_view action, std::string_view search, std::optional<Date> date) {
    const std::string text = ActionText(action, FKeyOf(), search, date);
    WriteLog(text);
    Send(text);
}

void TWLSocket::GetCurrentWeek() {
    SendAction("GET_CURRENT_WEEK", {}, std::nullopt);
}
void TWLSocket::GetNote() {
    SendAction("GET_NOTE", {}, std::nullopt);
}
void TWLSocket::GetTemplate() {
    SendAction("GET_TEMPLATE", {}, std::nullopt);
}
void TWLSocket::GetDay(Date ADate) {
    SendAction("GET_DAY", {}, ADate);
}
void TWLSocket::GetSearch(const std::string& AText) {
    SendAction("GET_SEARCH", AText, std::nullopt);
}

void TWLSocket::GetDaysRange(Date AStart, Date AEnd) {
    const std::string text = DaysRangeText(FKeyOf(), AStart, AEnd);
    WriteLog(text);
    Send(text);
}

void TWLSocket::SetDay(Date ADate, const std::string& Value) {
    const std::string text = SetDayText(FKeyOf(), ADate, Value, std::time(nullptr));
    WriteLog("SetDay " + text);
    Send(text);
}

void TWLSocket::SetNote(const std::string& Value) {
    const std::string text = SetPageText("SET_NOTE", "note", FKeyOf(), Value);
    WriteLog("SetNote " + text);
    Send(text);
}

void TWLSocket::SetTemplate(const std::string& Value) {
    const std::string text = SetPageText("SET_TEMPLATE", "template", FKeyOf(), Value);
    WriteLog("SetTemplate " + text);
    Send(text);
}

}  // namespace wl
