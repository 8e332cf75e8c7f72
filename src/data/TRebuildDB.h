#pragma once
// Conversion of a store written by an older version into the current "HTML" store.
//
// Older stores carry no "ver" or "RTFv2", and their entries are RTF documents or plain text. The
// first step (at start-up) reads every member into RebuildDoc: an RTF entry becomes HTML that
// shows its plain text (special characters escaped, line breaks as <br>), any other text is copied
// unchanged. The store is not touched, so ending the program before the second step changes
// nothing on disk. The second step (on a tick with the sync connection up) sends the converted
// notes page, template and days to the service, puts them into the store, marks it "HTML" and
// saves it at once. A failed send ends the step; the next connected tick runs it again.
//
// Owner: the main thread (the creation handler and the change-posting tick), like the store.
#include <functional>
#include <string>

#include "data/Json.h"
#include "platform/DateText.h"

namespace wl {

class TWeekleaf;

// How the second step sends the converted texts; each call throws when it cannot be sent.
struct TRebuildSends {
    std::function<void(const std::string& html)> SetNote;
    std::function<void(const std::string& html)> SetTemplate;
    std::function<void(Date day, const std::string& html)> SetDay;
};

class TRebuildDB {
  public:
    explicit TRebuildDB(TWeekleaf& store) : FStore(store) {}

    // True when the store is not "HTML" yet ("ver" missing or any other value).
    bool NeedsRebuild() const;

    // First step. Errors go to the error log as "mayBy_StartRebuildDB_ToHTML: <message>"; members
    // converted before the error stay in RebuildDoc. Never throws.
    void mayBy_StartRebuildDB_ToHTML() noexcept;

    // Second step; true when it completed now. Does nothing when the store is "HTML" or the first
    // step has not run. A member whose key is not a date is stored but not sent (one error-log
    // line). Errors go to the error log as "mayBy_EndRebuildDB_ToHTML: <message>"; "ver" then
    // stays as it was, so the step runs again. Never throws.
    bool mayBy_EndRebuildDB_ToHTML(const TRebuildSends& send) noexcept;

    JsonValue RebuildDoc;  // key -> converted text, in the store's order

  private:
    TWeekleaf& FStore;
    bool FPrepared = false;
};

}  // namespace wl
