#include "data/TRebuildDB.h"

#include <exception>
#include <string_view>

#include "data/HtmlToText.h"
#include "data/RtfToText.h"
#include "data/TWeekleaf.h"
#include "diag/ErrLog.h"

namespace wl {
namespace {

constexpr const char* kCurrentFormat = "HTML";

bool IsPageMember(std::string_view key) {
    return key == "note" || key == "template" || key == "ver";
}

// An older entry as HTML that shows the same text: an RTF entry by its plain text, a plain-text
// entry as it stands (its line breaks kept, "<" and "&" shown rather than read as markup).
std::string Converted(const std::string& text) {
    return TextToHtml(IsRtf(text) ? RtfToText(text) : text);
}

}  // namespace

bool TRebuildDB::NeedsRebuild() const {
    return FStore.Get("ver") != kCurrentFormat;
}

void TRebuildDB::mayBy_StartRebuildDB_ToHTML() noexcept {
    try {
        if (!NeedsRebuild()) return;
        RebuildDoc = JsonValue::MakeObject();
        FPrepared = true;
        for (const auto& [key, value] : FStore.JO.Members()) {
            if (!value.IsString()) continue;  // not an entry of any version
            RebuildDoc.Set(key, JsonValue(Converted(value.AsString())));
        }
    } catch (const std::exception& e) {
        ErrLog(std::string("mayBy_StartRebuildDB_ToHTML: ") + e.what());
    }
}

bool TRebuildDB::mayBy_EndRebuildDB_ToHTML(const TRebuildSends& send) noexcept {
    try {
        if (!FPrepared || !NeedsRebuild()) return false;
        const std::string& note = RebuildDoc.GetString("note");
        send.SetNote(note);
        FStore.Set("note", note);
        const std::string& templ = RebuildDoc.GetString("template");
        send.SetTemplate(templ);
        FStore.Set("template", templ);
        for (const auto& [key, value] : RebuildDoc.Members()) {
            if (IsPageMember(key)) continue;
            FStore.Set(key, value.AsString());
            const std::optional<Date> day = StrToDate(key);
            if (!day) {
                ErrLog("mayBy_EndRebuildDB_ToHTML: \"" + key + "\" is not a date; not sent");
                continue;
            }
            send.SetDay(*day, value.AsString());
        }
        FStore.Set("ver", kCurrentFormat);
        FPrepared = false;
        RebuildDoc = JsonValue();
        FStore.SaveJSON();
        return true;
    } catch (const std::exception& e) {
        ErrLog(std::string("mayBy_EndRebuildDB_ToHTML: ") + e.what());
        return false;
    }
}

}  // namespace wl
