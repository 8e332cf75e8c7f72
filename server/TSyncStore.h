#pragma once
// Where the service keeps its data: per account (the hash of its key) one notes page, one template and
// one text per day with the time it was written. Two kinds: one SQLite file (TSqliteStore) for a
// single service, or a PostgreSQL database (TPostgresStore) shared by several service instances.
//
// Writes open a transaction that stays open until Commit(), so that one commit covers every write of a
// batch; reads on the same store see the batch's writes. Owned and used by one thread.
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DateText.h"

namespace wl {

class TSyncStoreError : public std::runtime_error {
  public:
    // Conflict: the batch lost a race with another writer on the same database (a deadlock, a lock it
    // waited too long for, a serialisation failure); run again after Rollback() it goes through.
    // Refused: this one write cannot be stored as it is (text the database does not take); the store's
    // transaction is untouched and the rest of the batch goes on.
    // Unreachable: no connection to the database server could be made.
    enum class TKind { Failed, Conflict, Refused, Unreachable };

    explicit TSyncStoreError(const std::string& what, TKind kind = TKind::Failed)
        : std::runtime_error(what), kind_(kind) {}
    TKind Kind() const { return kind_; }

  private:
    TKind kind_;
};

class TSyncStore {
  public:
    struct TDay {
        Date Day;
        std::string Html;
        std::int64_t Timestamp = 0;  // Unix seconds
    };

    enum class TPage { Note, Template };

    // One write of SetDays().
    struct TDayWrite {
        const std::string* Account = nullptr;
        Date Day;
        std::string_view Html;
        std::int64_t Timestamp = 0;
    };
    // What became of it: stored (Newer empty, Refusal empty), refused as older (Newer holds the stored
    // day) or refused as text the store cannot hold (Refusal says why).
    struct TDayWritten {
        std::optional<TDay> Newer;
        std::string Refusal;
    };

    // When a commit counts as done.
    enum class TDurability {
        Full,    // on the disk (fsync): survives a power loss
        Normal,  // handed to the system (the WAL is synced only at checkpoints): survives the service
                 // being killed, a power loss may take the last commits back
    };

    virtual ~TSyncStore() = default;

    virtual std::optional<std::string> GetPage(const std::string& account, TPage page) = 0;
    virtual void SetPage(const std::string& account, TPage page, std::string_view html) = 0;

    virtual std::optional<TDay> GetDay(const std::string& account, Date day) = 0;
    // The days held from first to last (both included), in date order.
    virtual std::vector<TDay> GetDays(const std::string& account, Date first, Date last) = 0;
    // Visits the days held, newest date first, until `visit` returns false.
    virtual void ScanDays(const std::string& account, const std::function<bool(const TDay&)>& visit) = 0;

    // Stores the day unless the stored one carries a later timestamp; then returns that stored day
    // (equal timestamps: the later write wins).
    virtual std::optional<TDay> SetDay(const std::string& account, Date day, std::string_view html,
                                       std::int64_t timestamp) = 0;

    // SetDay() for each of `writes`, answered in their order. Several writes to one day are applied in
    // the order given. A store shared by several writers may take the rows in an order of its own, the
    // same for every writer, so that two batches never wait for each other's rows in a cycle.
    virtual std::vector<TDayWritten> SetDays(const std::vector<TDayWrite>& writes) {
        std::vector<TDayWritten> results;
        for (const TDayWrite& write : writes) {
            try {
                results.push_back({SetDay(*write.Account, write.Day, write.Html, write.Timestamp), {}});
            } catch (const TSyncStoreError& e) {
                if (e.Kind() != TSyncStoreError::TKind::Refused) throw;
                results.push_back({std::nullopt, e.what()});
            }
        }
        return results;
    }

    // Makes the writes since the last commit durable; a no-op when there were none.
    virtual void Commit() = 0;
    // Drops the writes since the last commit.
    virtual void Rollback() = 0;
    virtual bool HasPendingWrites() const = 0;

  protected:
    TSyncStore() = default;
    TSyncStore(const TSyncStore&) = delete;
    TSyncStore& operator=(const TSyncStore&) = delete;
};

}  // namespace wl
