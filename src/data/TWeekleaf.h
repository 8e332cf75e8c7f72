#pragma once
// The note store: every entry in one JSON document, Data.json kept equal to it after every change.
//
// Threads: the store belongs to the main thread and takes no lock. Other threads never touch it:
// the sync dispatcher hands its store work to the main thread through an executor, and the
// drawing thread works from a WeekSnapshot copied on the main thread when a run is requested.
//
// Files: Data.json is read as UTF-8 (a byte-order mark found on loading is written back) and
// rewritten atomically, as one line ended by CR LF, after every change made through the operations
// below. A file that cannot be parsed is never written over: the constructor throws instead.
#include <filesystem>
#include <string>
#include <string_view>

#include "data/Json.h"
#include "platform/DateText.h"
#include "platform/TextLines.h"

namespace wl {

class TWeekleaf {
  public:
    // Loads DataDir()/Data.json. Throws std::runtime_error naming the file (and, for a parse
    // fault, the line and column) when it is missing, unreadable or not a JSON object.
    // A damaged file is never overwritten. Zero bytes load as an empty document.
    TWeekleaf();
    explicit TWeekleaf(std::filesystem::path jsonFile);

    std::filesystem::path JSON_file;
    TextLines JSON_SL;  // the file's lines as loaded and last saved (one line once saved)
    JsonValue JO;       // the document; read with Get, write with Set + SaveJSON
    Date CurrentDate;   // the day the calendar shows; today at construction

    // Member text; empty (and not created) when missing.
    const std::string& Get(std::string_view key) const { return JO.GetString(key); }
    // Sets a member in memory only; the next save writes it.
    void Set(std::string_view key, std::string value) { JO.Set(key, JsonValue(std::move(value))); }

    // Serialises JO and rewrites Data.json atomically; throws on a write failure.
    void SaveJSON();

    // The day editor's body HTML stored under the day key, then saved (errors raise).
    void ToJSON_FromMainEditor(std::string_view date, std::string html);
    // Stores and saves; any error goes to the error log as
    // "TWeekleaf.ToJSON_FromBarEditor: <message>" and nothing is raised.
    void ToJSON_FromBarEditor(std::string_view date, std::string text) noexcept;
    void NoteToJSON(std::string text);
    void TemplateToJSON(std::string text);

  private:
    void KeepLines(std::string bytes);
};

}  // namespace wl
