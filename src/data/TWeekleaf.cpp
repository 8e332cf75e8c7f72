#include "data/TWeekleaf.h"

#include "diag/ErrLog.h"
#include "platform/AtomicFile.h"
#include "platform/DataDir.h"

namespace wl {

namespace {

// Ten years of days take about 11 MB; anything near this limit is not a note store.
constexpr std::size_t kMaxStoreBytes = 512u << 20;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

}  // namespace

TWeekleaf::TWeekleaf() : TWeekleaf(DataDir() / "Data.json") {}

TWeekleaf::TWeekleaf(std::filesystem::path jsonFile) : JSON_file(std::move(jsonFile)), CurrentDate(Today()) {
    // The text is parsed as read, so a fault's line and column are those of the file.
    const std::string bytes = ReadWholeFile(JSON_file, kMaxStoreBytes);
    std::string_view text = bytes;
    JSON_SL.bom = text.starts_with(kBom);
    if (JSON_SL.bom) text.remove_prefix(kBom.size());
    try {
        JO = ParseJson(text);
    } catch (const JsonError& e) {
        throw std::runtime_error("Cannot load \"" + JSON_file.string() + "\": " + e.what());
    }
    if (!JO.IsObject())
        throw std::runtime_error("Cannot load \"" + JSON_file.string() + "\": the text is not a JSON object");
    JSON_SL.SetText(text);
}

void TWeekleaf::SaveJSON() {
    JSON_SL.lines.assign(1, SerializeJson(JO));
    JSON_SL.SaveToFile(JSON_file);
}

void TWeekleaf::ToJSON_FromMainEditor(std::string_view date, std::string html) {
    Set(date, std::move(html));
    SaveJSON();
}

void TWeekleaf::ToJSON_FromBarEditor(std::string_view date, std::string text) noexcept {
    try {
        Set(date, std::move(text));
        SaveJSON();
    } catch (const std::exception& e) {
        ErrLog(std::string("TWeekleaf.ToJSON_FromBarEditor: ") + e.what());
    } catch (...) {
        ErrLog("TWeekleaf.ToJSON_FromBarEditor: unknown error");
    }
}

void TWeekleaf::NoteToJSON(std::string text) {
    Set("note", std::move(text));
    SaveJSON();
}

void TWeekleaf::TemplateToJSON(std::string text) {
    Set("template", std::move(text));
    SaveJSON();
}

}  // namespace wl
