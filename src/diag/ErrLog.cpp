#include "diag/ErrLog.h"

#include <mutex>

#include "platform/AtomicFile.h"
#include "platform/DataDir.h"
#include "platform/DateText.h"
#include "platform/TextLines.h"

namespace wl {

namespace {

constexpr std::size_t kKeptLines = 1000;  // old lines kept before the new entry
// A log this large was not written by us; it is read no further than this so one entry
// never costs more than a bounded read.
constexpr std::size_t kMaxLogBytes = 64u << 20;

// One process-wide lock: two overlapping calls must not both read the old file and drop
// each other's entry.
std::mutex& LogMutex() {
    static std::mutex m;
    return m;
}

void AppendEntry(const std::string& text) {
    const std::filesystem::path file = DataDir() / "ErrLog.txt";
    TextLines log;
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) log.LoadFromFile(file, kMaxLogBytes);

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
