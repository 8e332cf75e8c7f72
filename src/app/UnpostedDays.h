#pragma once
// Day entries and pages ("note", "template") stored locally whose SET_DAY / SET_NOTE /
// SET_TEMPLATE has not been sent (the connection was down, or the program ended first). They are
// posted again once the connection is back, before the service's copy of the week is accepted, so
// a reconnect never replaces an offline edit with the older text the service still holds.
//
// With a file (Open), the set outlives the process: an entry is written down before its text
// goes into the store and struck off only once it went out, so a restart, a crash or a kill at
// any moment leaves every edit the service has not seen listed there. The file is rewritten
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
    using SendPage = std::function<void(const std::string& page, const std::string& html)>;
    // The store's text of a key: a day ("dd.mm.yyyy") or a page.
    using Stored = std::function<std::string(const std::string& key)>;

    // What the file holds.
    struct Record {
        std::set<int32_t> days;  // days since 1970-01-01
        std::set<std::string> pages;
    };

    // Whether `key` names a page kept here ("note" or "template").
    static bool IsPage(const std::string& key);

    // Keeps the set in `file` from now on, adding the entries an earlier run left there. A file
    // that cannot be read is logged and replaced at the next change. Never throws.
    void Open(const std::filesystem::path& file) noexcept;

    // Writes the day or page down as not yet sent; call it before its text goes into the store.
    // A name that is no page is ignored.
    void Keep(Date day) noexcept;
    void KeepPage(const std::string& page) noexcept;

    // Sends the day or page; a send that throws keeps it for a later Flush. Never throws.
    // Returns whether the send went out (a name that is no page is neither sent nor kept).
    bool Post(Date day, const std::string& html, const Send& send) noexcept;
    bool PostPage(const std::string& page, const std::string& html, const SendPage& send) noexcept;

    // Sends every kept day with its stored text, oldest key first, then every kept page; entries
    // whose send fails stay kept (and the rest is tried on the next call). Returns how many went
    // out.
    int Flush(const Stored& stored, const Send& send, const SendPage& sendPage) noexcept;

    bool Empty() const { return FRecord.days.empty() && FRecord.pages.empty(); }
    bool Holds(Date day) const { return FRecord.days.count(day.days) > 0; }
    bool HoldsPage(const std::string& page) const { return FRecord.pages.count(page) > 0; }
    size_t Days() const { return FRecord.days.size(); }
    size_t Pages() const { return FRecord.pages.size(); }
    size_t Size() const { return Days() + Pages(); }

    // The file's text for a record, and the record of such a text (throws on a damaged one).
    // "pages" is written only when pages wait, so a file without pages reads as before.
    static std::string FileText(const Record& record);
    static Record ParseFileText(const std::string& text);

  private:
    void Save() noexcept;
    template <class Key>
    bool PostKey(std::set<Key>& keys, const Key& key, const std::function<void()>& send) noexcept;

    Record FRecord;
    std::filesystem::path FFile;
};

}  // namespace wl
