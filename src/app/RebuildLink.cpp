#include "app/RebuildLink.h"

#include <memory>

#include "app/TfmMain.h"
#include "data/HtmlToText.h"
#include "data/TRebuildDB.h"
#include "data/TWeekleaf.h"
#include "ui/TCalendarPanel.h"
#include "ui/TfrMain.h"

namespace wl {
namespace {

QString Qs(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// The converted texts reach what the window shows.
void ShowConverted(TfmMain& w) {
    const TWeekleaf& store = *w.Weekleaf();
    if (w.pLeft) w.pLeft->SetNotePreview(Qs(HtmlToText(store.Get("note"))));
    if (w.frMain && w.frMain->ShownDate().isValid())
        w.frMain->ReloadIfIdle(store.Get(DayKey(w.frMain->ShownDate())));
}

}  // namespace

void LinkRebuildDB(TfmMain& window) {
    // Lives as long as the hooks; emptied once the conversion completed (RebuildDoc can be large).
    auto rebuild = std::make_shared<std::unique_ptr<TRebuildDB>>();
    window.hooks.StartRebuildDB = [&window, rebuild] {
        if (!window.Weekleaf()) return;
        *rebuild = std::make_unique<TRebuildDB>(*window.Weekleaf());
        (*rebuild)->mayBy_StartRebuildDB_ToHTML();
        if (!(*rebuild)->NeedsRebuild()) rebuild->reset();
    };
    window.hooks.EndRebuildDB = [&window, rebuild](ISyncClient& sync) {
        if (!*rebuild) return;
        TRebuildSends send;
        send.SetNote = [&sync](const std::string& html) { sync.SetNote(html); };
        send.SetTemplate = [&sync](const std::string& html) { sync.SetTemplate(html); };
        send.SetDay = [&sync](Date day, const std::string& html) { sync.SetDay(day, html); };
        if (!(*rebuild)->mayBy_EndRebuildDB_ToHTML(send)) return;
        rebuild->reset();
        ShowConverted(window);
    };
}

}  // namespace wl
