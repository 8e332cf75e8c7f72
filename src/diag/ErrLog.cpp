#include "diag/ErrLog.h"

#include <fstream>
#include <mutex>
#include <stdexcept>

#include "platform/AtomicFile.h"
#include "platform/DataDir.h"
#include "platform/DateText.h"
#include "platform/TextLines.h"

namespace wl {

namespace {

constexpr std::size_t kKeptLines = 1000;  // old lines kept before the new entry
// A log this large holds a few huge messages; only its tail is read.
constexpr std::size_t kMaxLogBytes = 16u << 20;

// One process-wide lock: two overlapping calls must not both read the old file and drop
// each other's entry.
std::mutex& LogMutex() {
    static std::mutex m;
    return m;
}

// Loads the log. One grown beyond reason (a few huge messages) is read from its last
// kMaxLogBytes only, starting at the first whole line there, so the log keeps working.
void LoadLog(const std::filesystem::path& file, TextLines& log) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec || size <= kMaxLogBytes) {
        log.LoadFromFile(file);
        return;
    }
    std::ifstream in(file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(size - kMaxLogBytes));
    std::string tail(kMaxLogBytes, '\0');
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    if (!in) throw std::runtime_error("cannot read the log");
    const std::size_t firstLine = tail.find('\n');
    log.SetText(firstLine == std::string::npos ? std::string_view()
                                               : std::string_view(tail).substr(firstLine + 1));
}

void AppendEntry(const std::string& text) {
    const std::filesystem::path file = DataDir() / "ErrLog.txt";
    TextLines log;
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) LoadLog(file, log);

    const DateTime now = Now();
    TextLines entry;
    entry.SetText(TimeToStr(now.seconds) + " | " + DateToStr(now.date) + " | " + text);
    if (entry.lines.empty()) entry.lines.emplace_back();

    // Trim to the newest lines so the file settles at 1001 lines (one leaves per entry);
    // a file that somehow grew longer is brought back to that size in one step.
    if (log.lines.size() > kKeptLines)
        log.lines.erase(log.lines.begin(), log.lines.end() - static_cast<std::ptrdiff_t>(kKeptLines));
    for (auto& l : entry.lines) log.lines.push_back(std::move(l));
    log.SaveToFile(file);
}

}  // namespace

void ErrLog(const std::string& text) noexcept {
    try {
        std::lock_guard<std::mutex> lock(LogMutex());
        AppendEntry(text);
    } catch (...) {
        // The log must never disturb its caller: a locked, read-only or full disk loses the entry.
    }
}

}  // namespace wl
