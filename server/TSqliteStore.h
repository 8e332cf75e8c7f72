#pragma once
// The service's data in one SQLite file (WAL), for a service that runs as one process: one commit is
// one fsync of the write-ahead log. Owned and used by one thread.
#include "TSyncStore.h"

struct sqlite3;
struct sqlite3_stmt;

namespace wl {

class TSqliteStore final : public TSyncStore {
  public:
    // Opens or creates the database; throws TSyncStoreError when it cannot.
    explicit TSqliteStore(const std::string& path, TDurability durability = TDurability::Full);
    ~TSqliteStore() override;

    std::optional<std::string> GetPage(const std::string& account, TPage page) override;
    void SetPage(const std::string& account, TPage page, std::string_view html) override;

    std::optional<TDay> GetDay(const std::string& account, Date day) override;
    std::vector<TDay> GetDays(const std::string& account, Date first, Date last) override;
    void ScanDays(const std::string& account, const std::function<bool(const TDay&)>& visit) override;

    std::optional<TDay> SetDay(const std::string& account, Date day, std::string_view html,
                               std::int64_t timestamp) override;

    void Commit() override;
    void Rollback() override;
    bool HasPendingWrites() const override { return inTransaction_; }

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
