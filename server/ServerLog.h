#pragma once
// The service's own log: one line per event on standard error, "weekleaf-sync: " and the text.
// Lines below the chosen level are dropped. Under systemd (standard error is the journal's
// stream) each line starts with its syslog priority, "<3>" to "<7>", so that the journal keeps
// the level and `journalctl -p warning` finds the service's warnings and errors.
#include <string>
#include <string_view>

namespace wl {

// The values are the syslog priorities the journal understands.
enum class TLogLevel { Error = 3, Warning = 4, Info = 6, Debug = 7 };

void ServerLog(TLogLevel level, std::string_view text);
// An event worth an info line.
void ServerLog(std::string_view text);

// Lines above `level` in detail are dropped (default Info).
void SetServerLogLevel(TLogLevel level);

// Tests silence the log so that expected failures do not clutter their output.
void SetServerLogEnabled(bool enabled);

// "error", "warning", "info", "debug"; false for any other text.
bool ParseLogLevel(std::string_view text, TLogLevel& level);

// True when JOURNAL_STREAM's "DEVICE:INODE" (decimal, as systemd sets it) names the file open
// as `fd`. Systemd passes the variable on to children whose standard error may point elsewhere,
// so the name alone does not prove the journal is listening.
bool IsJournalStream(const char* journalStream, int fd);

// One log line as written: with the "<N>" priority prefix for the journal, plain otherwise.
std::string FormatServerLogLine(TLogLevel level, std::string_view text, bool forJournal);

}  // namespace wl
