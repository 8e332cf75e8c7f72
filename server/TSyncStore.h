#pragma once
// The service's data in one SQLite file (WAL): per account (the hash of its key) one notes page, one
// template and one text per day with the time it was written.
//
// Writes open a transaction that stays open until Commit(), so that one commit (one fsync) covers every
// write of a batch; reads on the same store see the batch's writes. Owned and used by one thread.
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DateText.h"

struct sqlite3;
struct sqlite3_stmt;

namespace wl {

class TSyncStoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TSyncStore {
  public:
    struct TDay {
        Date Day;
        std::string Html;
        std::int64_t Timestamp = 0;  // Unix seconds
    };

    enum class TPage { Note, Template };

    // When a commit counts as done.
    enum class TDurability {
        Full,    // on the disk (fsync): survives a power loss
        Normal,  // handed to the system (the WAL is synced only at checkpoints): survives the service
                 // being killed, a power loss may take the last commits back
    };

    // Opens or creates the database; throws TSyncStoreError when it cannot.
    explicit TSyncStore(const std::string& path, TDurability durability = TDurability::Full);
    ~TSyncStore();
    TSyncStore(const TSyncStore&) = delete;
    TSyncStore& operator=(const TSyncStore&) = delete;

    std::optional<std::string> GetPage(const std::string& account, TPage page);
    void SetPage(const std::string& account, TPage page, std::string_view html);

    std::optional<TDay> GetDay(const std::string& account, Date day);
    // The days held from first to last (both included), in date order.
    std::vector<TDay> GetDays(const std::string& account, Date first, Date last);
    // Visits the days held, newest date first, until `visit` returns false.
    void ScanDays(const std::string& account, const std::function<bool(const TDay&)>& visit);

    // Stores the day unless the stored one carries a later timestamp; then returns that stored day
    // (equal timestamps: the later write wins).
    std::optional<TDay> SetDay(const std::string& account, Date day, std::string_view html,
                               std::int64_t timestamp);

    // Makes the writes since the last commit durable; a no-op when there were none.
    void Commit();
    // Drops the writes since the last commit.
    void Rollback();
    bool HasPendingWrites() const { return inTransaction_; }

    // Stops copying the write-ahead log into the database inside commits: a TWalCheckpointer does it.
    void LeaveCheckpointsToOthers();

  private:
    class TStatement;
    void Close();
    void Exec(const char* sql);
    void BeginIfNeeded();
    sqlite3_stmt* Prepare(const char* sql);

    sqlite3* db_ = nullptr;
    bool inTransaction_ = false;
    sqlite3_stmt* getPage_ = nullptr;
    sqlite3_stmt* setPage_ = nullptr;
    sqlite3_stmt* getDay_ = nullptr;
    sqlite3_stmt* getDays_ = nullptr;
    sqlite3_stmt* scanDays_ = nullptr;
    sqlite3_stmt* setDay_ = nullptr;
};

}  // namespace wl
