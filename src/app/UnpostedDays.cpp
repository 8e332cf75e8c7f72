#include "app/UnpostedDays.h"

#include <stdexcept>

#include "data/Json.h"
#include "diag/ErrLog.h"
#include "platform/AtomicFile.h"

namespace wl {
namespace {

constexpr std::size_t kMaxFileBytes = 4u << 20;

// Sends each key in order and strikes it off once sent; stops at the first send that fails (the
// connection is down again; the rest waits for the next reconnect). Returns how many went out,
// and whether every key did.
template <class Key, class SendOne>
std::pair<int, bool> SendInOrder(std::set<Key>& keys, const SendOne& sendOne) {
    int sent = 0;
    for (auto it = keys.begin(); it != keys.end();) {
        try {
            sendOne(*it);
        } catch (const std::exception& e) {
            ErrLog(std::string("UnpostedDays.Flush: ") + e.what());
            return {sent, false};
        } catch (...) {
            return {sent, false};
        }
        it = keys.erase(it);
        ++sent;
    }
    return {sent, true};
}

}  // namespace

bool UnpostedDays::IsPage(const std::string& key) {
    return key == "note" || key == "template";
}

std::string UnpostedDays::FileText(const Record& record) {
    JsonValue days = JsonValue::MakeArray();
    for (int32_t d : record.days) days.Push(DateToStr(Date{d}));
    JsonValue doc = JsonValue::MakeObject();
    doc.Set("days", std::move(days));
    if (!record.pages.empty()) {
        JsonValue pages = JsonValue::MakeArray();
        for (const std::string& page : record.pages) pages.Push(page);
        doc.Set("pages", std::move(pages));
    }
    return SerializeJson(doc) + "\r\n";
}

UnpostedDays::Record UnpostedDays::ParseFileText(const std::string& text) {
    const JsonValue doc = ParseJson(text);
    const JsonValue* days = doc.IsObject() ? doc.Find("days") : nullptr;
    if (!days || !days->IsArray()) throw std::runtime_error("no list of \"days\"");
    Record record;
    for (const JsonValue& item : days->Items()) {
        const auto day = StrToDate(item.AsString());
        if (!day) throw std::runtime_error("not a day: \"" + item.AsString() + "\"");
        record.days.insert(day->days);
    }
    const JsonValue* pages = doc.Find("pages");  // absent in files without waiting pages
    if (!pages) return record;
    if (!pages->IsArray()) throw std::runtime_error("no list of \"pages\"");
    for (const JsonValue& item : pages->Items()) {
        if (!IsPage(item.AsString())) throw std::runtime_error("not a page: \"" + item.AsString() + "\"");
        record.pages.insert(item.AsString());
    }
    return record;
}

void UnpostedDays::Open(const std::filesystem::path& file) noexcept {
    FFile = file;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return;
    try {
        Record read = ParseFileText(ReadWholeFile(file, kMaxFileBytes));
        FRecord.days.merge(read.days);
        FRecord.pages.merge(read.pages);
    } catch (const std::exception& e) {
        ErrLog("UnpostedDays.Open: \"" + file.string() + "\": " + e.what());
    }
}

void UnpostedDays::Save() noexcept {
    if (FFile.empty()) return;
    try {
        WriteFileAtomic(FFile, FileText(FRecord));
    } catch (const std::exception& e) {
        ErrLog(std::string("UnpostedDays.Save: ") + e.what());
    }
}

void UnpostedDays::Keep(Date day) noexcept {
    if (FRecord.days.insert(day.days).second) Save();
}

void UnpostedDays::KeepPage(const std::string& page) noexcept {
    if (IsPage(page) && FRecord.pages.insert(page).second) Save();
}

template <class Key>
bool UnpostedDays::PostKey(std::set<Key>& keys, const Key& key, const std::function<void()>& send) noexcept {
    try {
        send();
    } catch (...) {
        if (keys.insert(key).second) Save();
        return false;
    }
    if (keys.erase(key) > 0) Save();
    return true;
}

bool UnpostedDays::Post(Date day, const std::string& html, const Send& send) noexcept {
    return PostKey(FRecord.days, day.days, [&] { send(day, html); });
}

bool UnpostedDays::PostPage(const std::string& page, const std::string& html, const SendPage& send) noexcept {
    if (!IsPage(page)) return false;
    return PostKey(FRecord.pages, page, [&] { send(page, html); });
}

int UnpostedDays::Flush(const Stored& stored, const Send& send, const SendPage& sendPage) noexcept {
    auto [sent, allDays] = SendInOrder(FRecord.days, [&](int32_t d) {
        const Date day{d};
        send(day, stored(DateToStr(day)));
    });
    if (allDays) {
        sent +=
            SendInOrder(FRecord.pages, [&](const std::string& page) { sendPage(page, stored(page)); }).first;
    }
    if (sent > 0) Save();
    return sent;
}

}  // namespace wl
