#pragma once
// The service's data in a PostgreSQL database that several service instances share.
//
// Tables pages(account, name, html, changed) and days(account, day, html, stamp, changed) and the
// sequence weekleaf_change_seq are created when missing. Every write sets `changed` to the next value
// of the sequence and, in the same transaction, notifies the channel kChannel with
//   "<instance> <changed> <kind> <day> <account>"
// (kind "day", "note" or "template"; day the date's day number, 0 for pages; account the key hash),
// followed by " <stamp> <text>" when the text is small enough to travel along (TChangeNotice).
// PostgreSQL delivers notifications at commit only, so the other instances hear of a change once it
// is durable and never of a rolled-back one; an older SET_DAY that is refused notifies nothing. A
// large text is not in the payload (the payload has a size limit): listeners read it by account and day.
//
// The newer-text rule is decided by the database in the write itself (INSERT .. ON CONFLICT .. WHERE
// the stored stamp is not later), so two instances racing on one day can never let the older text win.
//
// A batch's rows are taken sorted by account and day (SetDays), the same order on every instance, so
// two batches wait for each other's rows at most one way round: waiting is not a deadlock.
//
// A connection lost while idle is reopened at the next batch; lost inside a batch, that batch fails
// (TSyncStoreError) and the next one reconnects. Owned and used by one thread.
#include <chrono>
#include <memory>

#include "TSyncStore.h"

struct pg_conn;
struct pg_result;

namespace wl {

class TPostgresStore final : public TSyncStore {
  public:
    static constexpr const char* kChannel = "weekleaf_changes";

    // A written row as ChangesSince() reports it.
    struct TChange {
        std::int64_t Changed = 0;
        std::string Kind;  // "day", "note" or "template"
        std::int32_t Day = 0;
        std::string Account;
    };

    // True for a "postgresql://" or "postgres://" URI.
    static bool IsUri(std::string_view db);
    // Why `uri` cannot be used on the command line, or "" when it can: it must parse, and must not
    // carry a password (the command line shows in the process list).
    static std::string CheckUri(const std::string& uri);

    // Connects and creates the tables when missing. `password` (may be empty) overrides the URI's;
    // without one libpq looks at PGPASSWORD and PGPASSFILE. Throws TSyncStoreError, of kind Unreachable
    // when no connection could be made.
    TPostgresStore(std::string uri, std::string password = {}, TDurability durability = TDurability::Full);
    ~TPostgresStore() override;

    std::optional<std::string> GetPage(const std::string& account, TPage page) override;
    void SetPage(const std::string& account, TPage page, std::string_view html) override;

    std::optional<TDay> GetDay(const std::string& account, Date day) override;
    std::vector<TDay> GetDays(const std::string& account, Date first, Date last) override;
    void ScanDays(const std::string& account, const std::function<bool(const TDay&)>& visit) override;

    std::optional<TDay> SetDay(const std::string& account, Date day, std::string_view html,
                               std::int64_t timestamp) override;
    // Takes the rows sorted by account and day, whatever the order of `writes`, so that two instances'
    // batches never wait for each other in a cycle; sends all writes before reading any answer.
    std::vector<TDayWritten> SetDays(const std::vector<TDayWrite>& writes) override;

    void Commit() override;
    void Rollback() override;
    bool HasPendingWrites() const override { return inTransaction_; }

    // 16 hex digits chosen at construction; names this store's writes in the notifications.
    const std::string& InstanceId() const { return instanceId_; }
    // The rows written after `changed` (a value from a notification or an earlier call), in order.
    // Sequence values are taken before commit, so a row with a lower value can still commit after a
    // higher one was seen: a reader that must miss nothing re-reads from a little before its mark.
    std::vector<TChange> ChangesSince(std::int64_t changed);

  private:
    class TResult;
    struct TParam;

    void Connect();
    void PrepareSession();
    void EnsureConnected();
    TResult Execute(const std::function<pg_result*()>& send);
    TResult Exec(const char* sql);
    TResult Run(const char* statement, std::initializer_list<TParam> params);
    // `statement` once for each parameter list, all sent before the first answer is read; opens the
    // batch's transaction first when it is not open yet.
    std::vector<TResult> RunPipelined(const char* statement, const std::vector<std::vector<TParam>>& params);
    void BeginIfNeeded();
    [[noreturn]] void Fail(const std::string& what, pg_result* result);

    const std::string uri_;
    const std::string password_;
    const TDurability durability_;
    const std::string instanceId_;
    pg_conn* conn_ = nullptr;
    bool inTransaction_ = false;
    std::chrono::steady_clock::time_point lastReconnect_{};
};

}  // namespace wl
