#include "TPostgresStore.h"

#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "TChangeNotice.h"

#include "ServerLog.h"

namespace wl {

namespace {

constexpr Oid kInt4Oid = 23;
constexpr Oid kInt8Oid = 20;
constexpr Oid kTextOid = 25;

// Rows read per round trip while scanning an account's days.
constexpr int kScanChunk = 200;

const char* PageName(TSyncStore::TPage page) {
    return page == TSyncStore::TPage::Note ? "note" : "template";
}

std::string RandomInstanceId() {
    std::random_device device;
    const std::uint64_t value = (std::uint64_t{device()} << 32) | device();
    static const char kHex[] = "0123456789abcdef";
    std::string id(16, '0');
    for (int i = 0; i < 16; ++i) id[i] = kHex[(value >> (60 - 4 * i)) & 0xF];
    return id;
}

// Whether PostgreSQL takes `text` as text in a UTF-8 database: well-formed UTF-8 (no overlong forms,
// no surrogates, nothing past U+10FFFF) without NUL bytes.
bool IsStorableText(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0) return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra = 0;
        char32_t cp = 0, min = 0;
        if ((c & 0xE0) == 0xC0) {
            extra = 1, cp = c & 0x1F, min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, cp = c & 0x0F, min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, cp = c & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

constexpr const char* kUnstorableText = "database: text with NUL bytes or broken UTF-8";

// libpq's messages end in a line break and may hold more lines; the log wants one.
std::string OneLine(std::string_view message) {
    std::string line;
    for (const char c : message) {
        if (c != '\n' && c != '\t') {
            line += c;
        } else if (!line.empty() && line.back() != ' ') {
            line += ' ';
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

std::int64_t ToInteger(const char* text) {
    std::int64_t value = 0;
    std::from_chars(text, text + std::strlen(text), value);
    return value;
}

// Lost the race with another instance's batch: run again and it goes through.
bool IsConflict(const char* sqlState) {
    return sqlState != nullptr && (std::strcmp(sqlState, "40P01") == 0 ||  // deadlock detected
                                   std::strcmp(sqlState, "40001") == 0 ||  // serialisation failure
                                   std::strcmp(sqlState, "55P03") == 0);   // lock_timeout
}

// Nearly every write updates a row that exists, so updates must stay cheap: no index covers a column
// they change, and each page keeps room, so that the new row version goes beside the old one with no
// index entry at all. Hence no index on "changed": reading the changes since a number (only after the
// listener lost its connection) scans the tables instead. Older databases lose those indexes here.
const char* const kSchema[] = {
    "CREATE SEQUENCE IF NOT EXISTS weekleaf_change_seq",
    "CREATE TABLE IF NOT EXISTS pages(account text NOT NULL, name text NOT NULL, html text NOT NULL,"
    " changed bigint NOT NULL, PRIMARY KEY(account, name)) WITH (fillfactor = 80)",
    "CREATE TABLE IF NOT EXISTS days(account text NOT NULL, day integer NOT NULL, html text NOT NULL,"
    " stamp bigint NOT NULL, changed bigint NOT NULL, PRIMARY KEY(account, day)) WITH (fillfactor = 80)",
    "DROP INDEX IF EXISTS pages_changed",
    "DROP INDEX IF EXISTS days_changed",
    "ALTER TABLE pages SET (fillfactor = 80)",
    "ALTER TABLE days SET (fillfactor = 80)",
};

// The notifications carry a text of up to 7000 bytes (the number in the statements below) along, so
// that the other instances need not read it back; the payload's limit is 8000 bytes.
static_assert(TChangeNotice::kCarriedTextBytes == 7000);

struct TStatementText {
    const char* Name;
    const char* Sql;
    std::vector<Oid> Types;
};

const TStatementText kStatements[] = {
    {"get_page", "SELECT html FROM pages WHERE account = $1 AND name = $2", {kTextOid, kTextOid}},
    {"set_page",
     "WITH written AS ("
     " INSERT INTO pages(account, name, html, changed) VALUES($1, $2, $3, nextval('weekleaf_change_seq'))"
     " ON CONFLICT (account, name) DO UPDATE SET html = excluded.html, changed = excluded.changed"
     " RETURNING changed)"
     " SELECT pg_notify('weekleaf_changes', $4 || ' ' || changed || ' ' || $2 || ' 0 ' || $1"
     "  || CASE WHEN octet_length($3) <= 7000 THEN ' 0 ' || $3 ELSE '' END) FROM written",
     {kTextOid, kTextOid, kTextOid, kTextOid}},
    {"get_day", "SELECT day, html, stamp FROM days WHERE account = $1 AND day = $2", {kTextOid, kInt4Oid}},
    {"get_days",
     "SELECT day, html, stamp FROM days WHERE account = $1 AND day BETWEEN $2 AND $3 ORDER BY day",
     {kTextOid, kInt4Oid, kInt4Oid}},
    {"scan_days",
     "SELECT day, html, stamp FROM days WHERE account = $1 AND day < $2 ORDER BY day DESC LIMIT $3",
     {kTextOid, kInt8Oid, kInt8Oid}},
    // One statement decides and writes: a stored day with a later stamp is left as it is, and then
    // nothing is returned and nothing notified.
    {"set_day",
     "WITH written AS ("
     " INSERT INTO days(account, day, html, stamp, changed)"
     " VALUES($1, $2, $3, $4, nextval('weekleaf_change_seq'))"
     " ON CONFLICT (account, day) DO UPDATE"
     " SET html = excluded.html, stamp = excluded.stamp, changed = excluded.changed"
     " WHERE days.stamp <= excluded.stamp"
     " RETURNING changed)"
     " SELECT pg_notify('weekleaf_changes', $5 || ' ' || changed || ' day ' || $2 || ' ' || $1"
     "  || CASE WHEN octet_length($3) <= 7000 THEN ' ' || $4 || ' ' || $3 ELSE '' END)"
     " FROM written",
     {kTextOid, kInt4Oid, kTextOid, kInt8Oid, kTextOid}},
    {"changes",
     "SELECT changed, 'day', day, account FROM days WHERE changed > $1"
     " UNION ALL SELECT changed, name, 0, account FROM pages WHERE changed > $1 ORDER BY 1",
     {kInt8Oid}}};

}  // namespace

// Owns one PGresult.
class TPostgresStore::TResult {
  public:
    explicit TResult(PGresult* result) : result_(result) {}
    ~TResult() { PQclear(result_); }
    TResult(TResult&& other) noexcept : result_(std::exchange(other.result_, nullptr)) {}
    TResult& operator=(TResult&& other) noexcept {
        std::swap(result_, other.result_);
        return *this;
    }
    TResult(const TResult&) = delete;
    TResult& operator=(const TResult&) = delete;

    bool Ok() const {
        const auto status = PQresultStatus(result_);
        return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    }

    PGresult* Get() const { return result_; }
    int Rows() const { return PQntuples(result_); }
    std::string Text(int row, int column) const {
        return std::string(PQgetvalue(result_, row, column), PQgetlength(result_, row, column));
    }
    std::int64_t Integer(int row, int column) const { return ToInteger(PQgetvalue(result_, row, column)); }
    TDay Day(int row) const {
        return TDay{Date{static_cast<std::int32_t>(Integer(row, 0))}, Text(row, 1), Integer(row, 2)};
    }

  private:
    PGresult* result_;
};

// A statement parameter (its type is the prepared statement's): texts go as they are, in binary format
// with their length, numbers as decimal text.
struct TPostgresStore::TParam {
    TParam(std::string_view text) : Text(text), Binary(true) {}
    TParam(const std::string& text) : TParam(std::string_view(text)) {}
    TParam(const char* text) : TParam(std::string_view(text)) {}
    TParam(std::int64_t value) : Number(std::to_string(value)) {}
    std::string_view Text;
    std::string Number;
    bool Binary = false;
};

bool TPostgresStore::IsUri(std::string_view db) {
    return db.starts_with("postgresql://") || db.starts_with("postgres://");
}

std::string TPostgresStore::CheckUri(const std::string& uri) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(uri.c_str(), &error);
    if (options == nullptr) {
        const std::string message = OneLine(error ? error : "out of memory");
        PQfreemem(error);
        return "--db: " + message;
    }
    bool hasPassword = false;
    for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o)
        if (std::strcmp(o->keyword, "password") == 0 && o->val != nullptr && *o->val != '\0')
            hasPassword = true;
    PQconninfoFree(options);
    if (hasPassword)
        return "--db must not carry a password (the command line shows in the process list): put it in a "
               "file named by --db-password-file, or in PGPASSWORD or PGPASSFILE";
    return "";
}

TPostgresStore::TPostgresStore(std::string uri, std::string password, TDurability durability)
    : uri_(std::move(uri)),
      password_(std::move(password)),
      durability_(durability),
      instanceId_(RandomInstanceId()) {
    try {
        Connect();
        // Instances starting together would race on the catalog; the lock makes them take turns.
        Exec("BEGIN");
        Exec("SELECT pg_advisory_xact_lock(7283551)");
        for (const char* sql : kSchema) Exec(sql);
        Exec("COMMIT");
        PrepareSession();
    } catch (...) {
        PQfinish(conn_);
        throw;
    }
}

TPostgresStore::~TPostgresStore() {
    if (inTransaction_) {
        try {
            Commit();
        } catch (const TSyncStoreError&) {
        }
    }
    PQfinish(conn_);
}

void TPostgresStore::Connect() {
    // Later keywords override earlier ones: a connect_timeout in the URI wins over the default here.
    // The instance shows in pg_stat_activity under the name its notifications carry.
    const std::string application = "weekleaf-sync " + instanceId_;
    const char* keywords[] = {"connect_timeout", "dbname", "password", "application_name", nullptr};
    const char* values[] = {"10", uri_.c_str(), password_.empty() ? nullptr : password_.c_str(),
                            application.c_str(), nullptr};
    PQfinish(conn_);
    conn_ = PQconnectdbParams(keywords, values, 1);
    if (conn_ == nullptr)
        throw TSyncStoreError("database: out of memory", TSyncStoreError::TKind::Unreachable);
    // Notices ("relation already exists, skipping") are no news to the log.
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
    if (PQstatus(conn_) != CONNECTION_OK) {
        // A server that asks for a password nobody gave will go on asking: no point in waiting.
        const auto kind = PQconnectionNeedsPassword(conn_) ? TSyncStoreError::TKind::Failed
                                                           : TSyncStoreError::TKind::Unreachable;
        throw TSyncStoreError("database: " + OneLine(PQerrorMessage(conn_)), kind);
    }
}

// The session's settings and prepared statements, again after every reconnect.
void TPostgresStore::PrepareSession() {
    // Batches take their rows in one order, so a batch waiting for a row only waits for another
    // batch to finish; the limit is for a transaction stuck elsewhere.
    Exec("SET lock_timeout = '10s'");
    if (durability_ == TDurability::Normal) Exec("SET synchronous_commit = off");
    for (const TStatementText& s : kStatements) {
        TResult result(PQprepare(conn_, s.Name, s.Sql, static_cast<int>(s.Types.size()), s.Types.data()));
        if (PQresultStatus(result.Get()) != PGRES_COMMAND_OK) Fail("database", result.Get());
    }
}

// Reopens a connection the server closed while the store was idle. Only between batches: a
// connection lost inside a batch took the batch with it. At most once a second, so that a database
// that is gone does not make every request wait for a connection attempt.
void TPostgresStore::EnsureConnected() {
    if (inTransaction_) return;
    PQconsumeInput(conn_);  // notices a connection the server closed
    if (PQstatus(conn_) == CONNECTION_OK) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastReconnect_ < std::chrono::seconds(1))
        throw TSyncStoreError("database: connection lost, reconnecting");
    lastReconnect_ = now;
    Connect();
    PrepareSession();
    ServerLog(TLogLevel::Warning, "database connection restored");
}

void TPostgresStore::Fail(const std::string& what, PGresult* result) {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    std::string message = result ? PQresultErrorMessage(result) : "";
    if (message.empty()) message = PQerrorMessage(conn_);
    throw TSyncStoreError(what + ": " + OneLine(message), IsConflict(state) ? TSyncStoreError::TKind::Conflict
                                                                            : TSyncStoreError::TKind::Failed);
}

// A statement that finds the connection gone between batches is sent again on a new one: the server
// may have closed it (a restart, an idle time-out) in a way the socket showed only now.
TPostgresStore::TResult TPostgresStore::Execute(const std::function<PGresult*()>& send) {
    const bool betweenBatches = !inTransaction_;
    TResult result(send());
    if (!result.Ok() && betweenBatches && PQstatus(conn_) == CONNECTION_BAD) {
        EnsureConnected();
        result = TResult(send());
    }
    if (!result.Ok()) Fail("database", result.Get());
    return result;
}

TPostgresStore::TResult TPostgresStore::Exec(const char* sql) {
    return Execute([&] { return PQexec(conn_, sql); });
}

TPostgresStore::TResult TPostgresStore::Run(const char* statement, std::initializer_list<TParam> params) {
    EnsureConnected();
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const TParam& p : params) {
        const std::string_view value = p.Binary ? p.Text : std::string_view(p.Number);
        values.push_back(value.data());
        lengths.push_back(static_cast<int>(value.size()));
        formats.push_back(p.Binary ? 1 : 0);
    }
    return Execute([&] {
        return PQexecPrepared(conn_, statement, static_cast<int>(values.size()), values.data(),
                              lengths.data(), formats.data(), 0);
    });
}

std::vector<TPostgresStore::TResult> TPostgresStore::RunPipelined(
    const char* statement, const std::vector<std::vector<TParam>>& params) {
    const bool begin = !inTransaction_;
    EnsureConnected();
    if (PQenterPipelineMode(conn_) != 1) Fail("database", nullptr);
    // A batch's first writes open its transaction in the same round trip.
    bool sent = !begin || PQsendQueryParams(conn_, "BEGIN", 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    inTransaction_ = true;
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const std::vector<TParam>& row : params) {
        values.clear(), lengths.clear(), formats.clear();
        for (const TParam& p : row) {
            const std::string_view value = p.Binary ? p.Text : std::string_view(p.Number);
            values.push_back(value.data());
            lengths.push_back(static_cast<int>(value.size()));
            formats.push_back(p.Binary ? 1 : 0);
        }
        sent = sent && PQsendQueryPrepared(conn_, statement, static_cast<int>(values.size()), values.data(),
                                           lengths.data(), formats.data(), 0) == 1;
    }
    sent = sent && PQpipelineSync(conn_) == 1;
    // Every answer is read up to the sync, even after a failure, to leave pipeline mode.
    std::vector<TResult> results;
    std::optional<TResult> failure;
    while (sent && PQstatus(conn_) == CONNECTION_OK) {
        TResult result(PQgetResult(conn_));
        if (result.Get() == nullptr) continue;  // the end of one statement's answer
        const auto status = PQresultStatus(result.Get());
        if (status == PGRES_PIPELINE_SYNC) break;
        if (!result.Ok() && !failure)
            failure.emplace(std::move(result));
        else if (result.Ok())
            results.push_back(std::move(result));
    }
    PQexitPipelineMode(conn_);
    if (failure) Fail("database", failure->Get());
    if (begin && !results.empty()) results.erase(results.begin());
    if (!sent || results.size() != params.size()) Fail("database", nullptr);
    return results;
}

void TPostgresStore::BeginIfNeeded() {
    if (inTransaction_) return;
    EnsureConnected();
    Exec("BEGIN");
    inTransaction_ = true;
}

void TPostgresStore::Commit() {
    if (!inTransaction_) return;
    // A transaction in error would answer COMMIT with a rollback that looks like success.
    if (PQtransactionStatus(conn_) != PQTRANS_INTRANS) throw TSyncStoreError("database: the batch failed");
    TResult result(PQexec(conn_, "COMMIT"));
    if (PQresultStatus(result.Get()) != PGRES_COMMAND_OK) Fail("database: commit", result.Get());
    if (std::strcmp(PQcmdStatus(result.Get()), "COMMIT") != 0)
        throw TSyncStoreError("database: the batch was rolled back");
    inTransaction_ = false;
}

void TPostgresStore::Rollback() {
    if (!inTransaction_) return;
    inTransaction_ = false;
    if (PQstatus(conn_) != CONNECTION_OK || PQtransactionStatus(conn_) == PQTRANS_IDLE) return;
    Exec("ROLLBACK");
}

std::optional<std::string> TPostgresStore::GetPage(const std::string& account, TPage page) {
    const TResult result = Run("get_page", {account, PageName(page)});
    if (result.Rows() == 0) return std::nullopt;
    return result.Text(0, 0);
}

void TPostgresStore::SetPage(const std::string& account, TPage page, std::string_view html) {
    if (!IsStorableText(html)) throw TSyncStoreError(kUnstorableText, TSyncStoreError::TKind::Refused);
    BeginIfNeeded();
    Run("set_page", {account, PageName(page), html, instanceId_});
}

std::optional<TSyncStore::TDay> TPostgresStore::GetDay(const std::string& account, Date day) {
    const TResult result = Run("get_day", {account, TParam(std::int64_t{day.days})});
    if (result.Rows() == 0) return std::nullopt;
    return result.Day(0);
}

std::vector<TSyncStore::TDay> TPostgresStore::GetDays(const std::string& account, Date first, Date last) {
    const TResult result =
        Run("get_days", {account, TParam(std::int64_t{first.days}), TParam(std::int64_t{last.days})});
    std::vector<TDay> days;
    for (int row = 0; row < result.Rows(); ++row) days.push_back(result.Day(row));
    return days;
}

void TPostgresStore::ScanDays(const std::string& account, const std::function<bool(const TDay&)>& visit) {
    std::int64_t before = std::int64_t{INT32_MAX} + 1;
    for (;;) {
        const TResult result = Run("scan_days", {account, TParam(before), TParam(kScanChunk)});
        for (int row = 0; row < result.Rows(); ++row) {
            const TDay day = result.Day(row);
            if (!visit(day)) return;
            before = day.Day.days;
        }
        if (result.Rows() < kScanChunk) return;
    }
}

std::optional<TSyncStore::TDay> TPostgresStore::SetDay(const std::string& account, Date day,
                                                       std::string_view html, std::int64_t timestamp) {
    if (!IsStorableText(html)) throw TSyncStoreError(kUnstorableText, TSyncStoreError::TKind::Refused);
    BeginIfNeeded();
    const TResult written =
        Run("set_day", {account, TParam(std::int64_t{day.days}), html, TParam(timestamp), instanceId_});
    if (written.Rows() > 0) return std::nullopt;
    return GetDay(account, day);
}

std::vector<TSyncStore::TDayWritten> TPostgresStore::SetDays(const std::vector<TDayWrite>& writes) {
    std::vector<TDayWritten> results(writes.size());
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < writes.size(); ++i) {
        if (IsStorableText(writes[i].Html)) {
            order.push_back(i);
        } else {
            results[i].Refusal = kUnstorableText;
        }
    }
    if (order.empty()) return results;
    std::ranges::stable_sort(order, [&](std::size_t a, std::size_t b) {
        const int byAccount = writes[a].Account->compare(*writes[b].Account);
        return byAccount != 0 ? byAccount < 0 : writes[a].Day.days < writes[b].Day.days;
    });
    std::vector<std::vector<TParam>> params;
    params.reserve(order.size());
    for (const std::size_t i : order) {
        const TDayWrite& w = writes[i];
        params.push_back(
            {*w.Account, TParam(std::int64_t{w.Day.days}), w.Html, TParam(w.Timestamp), instanceId_});
    }
    const std::vector<TResult> written = RunPipelined("set_day", params);
    // A write the stored day's later stamp turned down is answered with that day.
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (written[k].Rows() > 0) continue;
        const TDayWrite& w = writes[order[k]];
        results[order[k]].Newer = GetDay(*w.Account, w.Day);
    }
    return results;
}

std::vector<TPostgresStore::TChange> TPostgresStore::ChangesSince(std::int64_t changed) {
    const TResult result = Run("changes", {TParam(changed)});
    std::vector<TChange> changes;
    for (int row = 0; row < result.Rows(); ++row)
        changes.push_back({result.Integer(row, 0), result.Text(row, 1),
                           static_cast<std::int32_t>(result.Integer(row, 2)), result.Text(row, 3)});
    return changes;
}

}  // namespace wl
