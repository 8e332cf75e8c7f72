// What the sync service sends, applied to the note store. Runs on the store's owning thread.
#include <cmath>
#include <stdexcept>
#include <utility>
#include <vector>

#include "data/HtmlToText.h"
#include "data/Json.h"
#include "data/TWeekleaf.h"
#include "sync/TWLSocket.h"

namespace wl {
namespace {

using std::runtime_error;

// "STATUS" is not acted on, but a value that is neither an integer nor null makes the whole
// message suspect.
void CheckStatus(const JsonValue& message) {
    const JsonValue* status = message.Find("STATUS");
    if (!status || status->IsNull()) return;
    if (!status->IsNumber() || std::trunc(status->AsNumber()) != status->AsNumber()) {
        throw runtime_error("\"STATUS\" is not an integer: " + SerializeJson(*status));
    }
}

Date DayOfKey(const std::string& name) {
    auto date = StrToDate(name);
    if (!date) throw runtime_error("'" + name + "' is not a valid date");
    return *date;
}

const std::string& TextOf(const std::string& name, const JsonValue& value) {
    if (!value.IsString()) throw runtime_error("\"" + name + "\" is not a text: " + SerializeJson(value));
    return value.AsString();
}

JsonValue ParseObject(const std::string& text) {
    JsonValue v = ParseJson(text);
    if (!v.IsObject()) throw runtime_error("not a JSON object: " + text.substr(0, 64));
    return v;
}

}  // namespace

void TWLSocket::FromServTextData(const std::string& aData) {
    WriteLog("TWLSocket.FromServTextData | " + aData);
    try {
        JsonValue message = ParseObject(aData);
        CheckStatus(message);
        const std::string action = message.GetString("ACTION");
        if (!message.Has("ITEM")) message.Set("ITEM", JsonValue::MakeObject());
        const JsonValue& item = *message.Find("ITEM");

        if (action == "RES_GET_CURRENT_WEEK" || action == "UPDATE_CURRENT_WEEK") {
            UpdateCurrentWeek(SerializeJson(item));
        } else if (action == "RES_GET_DAYS_RANGE") {
            const JsonValue* days = item.IsObject() ? item.Find("days") : nullptr;
            UpdateDaysRange(days ? SerializeJson(*days) : "{}");
        } else if (action == "UPDATE_NOTE" || action == "UPDATE_TEMPLATE") {
            // A page the message does not carry stays as it is.
            const std::string member = action == "UPDATE_NOTE" ? "note" : "template";
            const JsonValue* page = message.Find(member);
            if (!page) return;
            if (member == "note") {
                UpdateNote(TextOf(member, *page));
            } else {
                UpdateTemplate(TextOf(member, *page));
            }
        } else if (action == "RES_GET_DAY" || action == "UPDATE_DAY") {
            // The day is the second member: its name is the day key, its value the HTML.
            const auto& [name, value] = message.Members().at(1);
            const Date day = DayOfKey(name);
            UpdateDay(day, TextOf(name, value));
        }
    } catch (const std::exception& e) {
        WriteLog(std::string("FromServTextData exception: ") + e.what());
    }
}

void TWLSocket::UpdateCurrentWeek(const std::string& Value) {
    WriteLog("TWLSocket.UpdateCurrentWeek | " + Value);
    try {
        const JsonValue week = ParseObject(Value);
        // Only pages the week carries replace the stored ones: a week without them (a service that
        // never had a note) must not wipe what this device holds.
        if (const JsonValue* note = week.Find("note")) UpdateNote(TextOf("note", *note));
        if (const JsonValue* templ = week.Find("template")) UpdateTemplate(TextOf("template", *templ));
        if (const JsonValue* days = week.Find("days")) ApplyDays(*days);
    } catch (const std::exception& e) {
        WriteLog(std::string("TWLSocket.UpdateCurrentWeek exception| ") + e.what());
    }
}

void TWLSocket::UpdateDaysRange(const std::string& JSON) {
    WriteLog("TWLSocket.UpdateDaysRange | " + JSON);
    try {
        ApplyDays(ParseJson(JSON));
    } catch (const std::exception& e) {
        WriteLog(std::string("TWLSocket.UpdateDaysRange exception| ") + e.what());
    }
}

// An answer of many days (a search's, say) writes the file once, not once per day; the days read
// up to a fault are kept all the same.
void TWLSocket::ApplyDays(const JsonValue& days) {
    if (!days.IsObject())
        throw runtime_error("\"days\" is not an object: " + SerializeJson(days).substr(0, 64));
    std::vector<std::pair<Date, const std::string*>> stored;
    const auto saveStored = [&] {
        if (stored.empty()) return;
        FWeekleaf.SaveJSON();
        if (!FEvents) return;
        for (const auto& [day, text] : stored) FEvents->DayUpdated(day, *text);
    };
    try {
        for (const auto& [name, value] : days.Members()) {
            const Date day = DayOfKey(name);
            const std::string& text = TextOf(name, value);
            WriteLog("TWLSocket.UpdateDay | " + text);
            FWeekleaf.Set(DateToStr(day), text);
            stored.emplace_back(day, &text);
        }
    } catch (...) {
        saveStored();
        throw;
    }
    saveStored();
}

void TWLSocket::UpdateDay(Date ADate, const std::string& Value) {
    WriteLog("TWLSocket.UpdateDay | " + Value);
    FWeekleaf.Set(DateToStr(ADate), Value);
    FWeekleaf.SaveJSON();
    if (FEvents) FEvents->DayUpdated(ADate, Value);
}

void TWLSocket::UpdateNote(const std::string& Value) {
    WriteLog("TWLSocket.UpdateNote | " + Value);
    FWeekleaf.Set("note", Value);
    if (FEvents) FEvents->NotePreviewChanged(HtmlToText(Value));
    FWeekleaf.SaveJSON();
}

void TWLSocket::UpdateTemplate(const std::string& Value) {
    WriteLog("TWLSocket.UpdateTemplate | " + Value);
    FWeekleaf.Set("template", Value);
    FWeekleaf.SaveJSON();
}

}  // namespace wl
