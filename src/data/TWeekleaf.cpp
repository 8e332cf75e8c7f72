#include "data/TWeekleaf.h"

#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>

#include "diag/ErrLog.h"
#include "platform/AtomicFile.h"
#include "platform/DataDir.h"

namespace wl {

namespace {

// Ten years of days take about 11 MB; anything near this limit is not a note store.
constexpr std::size_t kMaxStoreBytes = 512u << 20;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

// The user is told which file is damaged and where, in words of the program; the parser's own
// account goes to ErrLog.txt for whoever mends the file.
[[noreturn]] void Damaged(const std::filesystem::path& file, const std::string& where,
                          const std::string& technical) {
    ErrLog("Cannot load \"" + file.string() + "\": " + technical);
    throw std::runtime_error("Файл " + file.string() + " повреждён: " + where);
}

}  // namespace

TWeekleaf::TWeekleaf() : TWeekleaf(DataDir() / "Data.json") {}

TWeekleaf::TWeekleaf(std::filesystem::path jsonFile) : JSON_file(std::move(jsonFile)), CurrentDate(Today()) {
    // The text is parsed as read, so a fault's line and column are those of the file.
    std::string bytes = ReadWholeFile(JSON_file, kMaxStoreBytes);
    std::string_view text = bytes;
    JSON_SL.bom = text.starts_with(kBom);
    if (JSON_SL.bom) text.remove_prefix(kBom.size());
    try {
        JO = ParseJson(text);
    } catch (const JsonError& e) {
        Damaged(JSON_file, "строка " + std::to_string(e.line) + ", столбец " + std::to_string(e.column),
                e.what());
    }
    if (!JO.IsObject()) Damaged(JSON_file, "в нём нет объекта JSON", "the text is not a JSON object");
    KeepLines(std::move(bytes));
}

// The file's lines go to JSON_SL. A stored file is one line, which is taken over without a copy
// (and its buffer is reused by the next save).
void TWeekleaf::KeepLines(std::string bytes) {
    std::size_t begin = JSON_SL.bom ? kBom.size() : 0, end = bytes.size();
    if (end > begin && bytes[end - 1] == '\n') --end;
    if (end > begin && bytes[end - 1] == '\r') --end;
    const std::string_view body(bytes.data() + begin, end - begin);
    const bool oneLine = !body.empty() && !std::memchr(body.data(), '\n', body.size()) &&
                         !std::memchr(body.data(), '\r', body.size());
    if (!oneLine) {
        JSON_SL.SetText(body);
        return;
    }
    bytes.resize(end);
    bytes.erase(0, begin);
    JSON_SL.lines.clear();
    JSON_SL.lines.push_back(std::move(bytes));
}

void TWeekleaf::SaveJSON() {
    // One line ended by CR LF, after the byte-order mark when the file had one.
    std::string text = JSON_SL.lines.size() == 1 ? std::move(JSON_SL.lines[0]) : std::string();
    text.clear();
    if (JSON_SL.bom) text += kBom;
    SerializeJsonTo(JO, text);
    text += "\r\n";
    std::exception_ptr failure;
    try {
        WriteFileAtomic(JSON_file, text);
    } catch (...) {
        failure = std::current_exception();
    }
    text.resize(text.size() - 2);
    if (JSON_SL.bom) text.erase(0, kBom.size());
    JSON_SL.lines.clear();
    JSON_SL.lines.push_back(std::move(text));
    if (failure) std::rethrow_exception(failure);
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
