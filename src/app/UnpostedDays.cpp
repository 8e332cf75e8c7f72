#include "app/UnpostedDays.h"

#include <stdexcept>

#include "data/Json.h"
#include "diag/ErrLog.h"
#include "platform/AtomicFile.h"

namespace wl {
namespace {

constexpr std::size_t kMaxFileBytes = 4u << 20;

}  // namespace

std::string UnpostedDays::FileText(const std::set<int32_t>& days) {
    JsonValue list = JsonValue::MakeArray();
    for (int32_t d : days) list.Push(DateToStr(Date{d}));
    JsonValue doc = JsonValue::MakeObject();
    doc.Set("days", std::move(list));
    return SerializeJson(doc) + "\r\n";
}

std::set<int32_t> UnpostedDays::ParseFileText(const std::string& text) {
    const JsonValue doc = ParseJson(text);
    const JsonValue* list = doc.IsObject() ? doc.Find("days") : nullptr;
    if (!list || !list->IsArray()) throw std::runtime_error("no list of \"days\"");
    std::set<int32_t> days;
    for (const JsonValue& item : list->Items()) {
        const auto day = StrToDate(item.AsString());
        if (!day) throw std::runtime_error("not a day: \"" + item.AsString() + "\"");
        days.insert(day->days);
    }
    return days;
}

void UnpostedDays::Open(const std::filesystem::path& file) noexcept {
    FFile = file;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return;
    try {
        FKeys.merge(ParseFileText(ReadWholeFile(file, kMaxFileBytes)));
    } catch (const std::exception& e) {
        ErrLog("UnpostedDays.Open: \"" + file.string() + "\": " + e.what());
    }
}

void UnpostedDays::Save() noexcept {
    if (FFile.empty()) return;
    try {
        WriteFileAtomic(FFile, FileText(FKeys));
    } catch (const std::exception& e) {
        ErrLog(std::string("UnpostedDays.Save: ") + e.what());
    }
}

void UnpostedDays::Keep(Date day) noexcept {
    if (FKeys.insert(day.days).second) Save();
}

bool UnpostedDays::Post(Date day, const std::string& html, const Send& send) noexcept {
    try {
        send(day, html);
    } catch (...) {
        Keep(day);
        return false;
    }
    if (FKeys.erase(day.days) > 0) Save();
    return true;
}

int UnpostedDays::Flush(const Stored& stored, const Send& send) noexcept {
    int sent = 0;
    for (auto it = FKeys.begin(); it != FKeys.end();) {
        const Date day{*it};
        try {
            send(day, stored(DateToStr(day)));
            it = FKeys.erase(it);
            ++sent;
        } catch (const std::exception& e) {
            ErrLog(std::string("UnpostedDays.Flush: ") + e.what());
            break;  // the connection is down again; the rest waits for the next reconnect
        } catch (...) {
            break;
        }
    }
    if (sent > 0) Save();
    return sent;
}

}  // namespace wl
