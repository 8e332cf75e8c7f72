#include "ServerLog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace wl {

namespace {

std::atomic<bool> gEnabled{true};
std::atomic<int> gLevel{static_cast<int>(TLogLevel::Info)};

bool ParseDecimal(std::string_view text, unsigned long long& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Asked once: standard error does not change while the service runs.
bool StderrIsJournal() {
    static const bool journal = IsJournalStream(std::getenv("JOURNAL_STREAM"), STDERR_FILENO);
    return journal;
}

}  // namespace

void ServerLog(TLogLevel level, std::string_view text) {
    if (!gEnabled.load(std::memory_order_relaxed)) return;
    if (static_cast<int>(level) > gLevel.load(std::memory_order_relaxed)) return;
    const std::string line = FormatServerLogLine(level, text, StderrIsJournal());
    // One write per line, so that lines of different threads never interleave.
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void ServerLog(std::string_view text) {
    ServerLog(TLogLevel::Info, text);
}

void SetServerLogLevel(TLogLevel level) {
    gLevel.store(static_cast<int>(level), std::memory_order_relaxed);
}

void SetServerLogEnabled(bool enabled) {
    gEnabled.store(enabled, std::memory_order_relaxed);
}

bool ParseLogLevel(std::string_view text, TLogLevel& level) {
    constexpr std::pair<std::string_view, TLogLevel> kNames[] = {{"error", TLogLevel::Error},
                                                                 {"warning", TLogLevel::Warning},
                                                                 {"info", TLogLevel::Info},
                                                                 {"debug", TLogLevel::Debug}};
    for (const auto& [name, value] : kNames)
        if (text == name) {
            level = value;
            return true;
        }
    return false;
}

bool IsJournalStream(const char* journalStream, int fd) {
    if (journalStream == nullptr) return false;
    const std::string_view text = journalStream;
    const auto colon = text.find(':');
    unsigned long long device = 0, inode = 0;
    if (colon == std::string_view::npos || !ParseDecimal(text.substr(0, colon), device) ||
        !ParseDecimal(text.substr(colon + 1), inode))
        return false;
    struct stat st {};
    if (fstat(fd, &st) != 0) return false;
    return static_cast<unsigned long long>(st.st_dev) == device &&
           static_cast<unsigned long long>(st.st_ino) == inode;
}

std::string FormatServerLogLine(TLogLevel level, std::string_view text, bool forJournal) {
    std::string line;
    if (forJournal) line = "<" + std::to_string(static_cast<int>(level)) + ">";
    line += "weekleaf-sync: ";
    line.append(text);
    line.push_back('\n');
    return line;
}

}  // namespace wl
