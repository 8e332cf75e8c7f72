#pragma once
// Day entries stored locally whose SET_DAY has not been sent (the connection was down, or the
// program ended first). They are posted again once the connection is back, before the service's
// copy of the week is accepted, so a reconnect never replaces an offline edit with the older text
// the service still holds.
//
// With a file (Open), the set outlives the process: a day is written down before its text goes
// into the store and struck off only once its SET_DAY went out, so a restart, a crash or a kill
// at any moment leaves every edit the service has not seen listed there. The file is rewritten
// atomically whenever the set changes.
//
// Owner: the main thread (the change-posting tick, the reconnect and the exit path).
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "platform/DateText.h"

namespace wl {

class UnpostedDays {
  public:
    using Send = std::function<void(Date day, const std::string& html)>;
    using Stored = std::function<std::string(const std::string& dayKey)>;

    // Keeps the set in `file` from now on, adding the days an earlier run left there. A file that
    // cannot be read is logged and replaced at the next change. Never throws.
    void Open(const std::filesystem::path& file) noexcept;

    // Writes the day down as not yet sent; call it before its text goes into the store.
    void Keep(Date day) noexcept;

    // Sends the day; a send that throws keeps the day for a later Flush. Never throws.
    // Returns whether the send went out.
    bool Post(Date day, const std::string& html, const Send& send) noexcept;

    // Sends every kept day with its stored text, oldest key first; days whose send fails stay
    // kept (and the rest is tried on the next call). Returns how many went out.
    int Flush(const Stored& stored, const Send& send) noexcept;

    bool Empty() const { return FKeys.empty(); }
    bool Holds(Date day) const { return FKeys.count(day.days) > 0; }
    size_t Size() const { return FKeys.size(); }

    // The file's text for a set of days, and the days of such a text (throws on a damaged one).
    static std::string FileText(const std::set<int32_t>& days);
    static std::set<int32_t> ParseFileText(const std::string& text);

  private:
    void Save() noexcept;

    std::set<int32_t> FKeys;  // days since 1970-01-01
    std::filesystem::path FFile;
};

}  // namespace wl
