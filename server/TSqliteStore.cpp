#include "TSqliteStore.h"

#include <sqlite3.h>

namespace wl {

namespace {

const char* PageName(TSyncStore::TPage page) {
    return page == TSyncStore::TPage::Note ? "note" : "template";
}

}  // namespace

// Binds, steps and reads one prepared statement, and resets it when the scope ends. Bound texts are
// not copied: they must outlive the statement's scope.
class TSqliteStore::TStatement {
  public:
    TStatement(sqlite3* db, sqlite3_stmt* statement) : db_(db), statement_(statement) {}
    ~TStatement() {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    TStatement& Bind(int index, std::string_view text) {
        Check(sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8));
        return *this;
    }
    TStatement& Bind(int index, std::int64_t value) {
        Check(sqlite3_bind_int64(statement_, index, value));
        return *this;
    }
    // True while there is a row to read.
    bool Step() {
        const int rc = sqlite3_step(statement_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        Check(rc);
        return false;
    }
    std::int64_t Integer(int column) const { return sqlite3_column_int64(statement_, column); }
    std::string Text(int column) const {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(statement_, column));
        return data == nullptr ? std::string() : std::string(data, sqlite3_column_bytes(statement_, column));
    }
    TDay Day() const { return TDay{Date{static_cast<int32_t>(Integer(0))}, Text(1), Integer(2)}; }

  private:
    void Check(int rc) const {
        if (rc != SQLITE_OK) throw TSyncStoreError(std::string("database: ") + sqlite3_errmsg(db_));
    }
    sqlite3* db_;
    sqlite3_stmt* statement_;
};

TSqliteStore::TSqliteStore(const std::string& path, TDurability durability) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close_v2(db_);
        throw TSyncStoreError("cannot open " + path + ": " + message);
    }
    try {
        sqlite3_busy_timeout(db_, 5000);
        // WAL: readers never block the writer, and a commit appends to one file.
        Exec("PRAGMA journal_mode=WAL");
        Exec("PRAGMA journal_size_limit=67108864");  // a log that grew under load shrinks when reset
        Exec(durability == TDurability::Full ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
        Exec(
            "CREATE TABLE IF NOT EXISTS pages(account TEXT NOT NULL, name TEXT NOT NULL, html TEXT NOT NULL,"
            " PRIMARY KEY(account, name))");
        Exec(
            "CREATE TABLE IF NOT EXISTS days(account TEXT NOT NULL, day INTEGER NOT NULL, html TEXT NOT NULL,"
            " stamp INTEGER NOT NULL, PRIMARY KEY(account, day))");
        getPage_ = Prepare("SELECT html FROM pages WHERE account=?1 AND name=?2");
        setPage_ = Prepare(
            "INSERT INTO pages(account, name, html) VALUES(?1, ?2, ?3)"
            " ON CONFLICT(account, name) DO UPDATE SET html=excluded.html");
        getDay_ = Prepare("SELECT day, html, stamp FROM days WHERE account=?1 AND day=?2");
        getDays_ = Prepare(
            "SELECT day, html, stamp FROM days WHERE account=?1 AND day BETWEEN ?2 AND ?3 ORDER BY day");
        scanDays_ = Prepare("SELECT day, html, stamp FROM days WHERE account=?1 ORDER BY day DESC");
        // One statement decides and writes: a stored day with a later stamp is left as it is.
        setDay_ = Prepare(
            "INSERT INTO days(account, day, html, stamp) VALUES(?1, ?2, ?3, ?4)"
            " ON CONFLICT(account, day) DO UPDATE SET html=excluded.html, stamp=excluded.stamp"
            " WHERE excluded.stamp >= days.stamp");
    } catch (...) {
        Close();
        throw;
    }
}

TSqliteStore::~TSqliteStore() {
    if (inTransaction_) {
        try {
            Commit();
        } catch (const TSyncStoreError&) {
        }
    }
    Close();
}

void TSqliteStore::Close() {
    for (sqlite3_stmt* statement : {getPage_, setPage_, getDay_, getDays_, scanDays_, setDay_})
        sqlite3_finalize(statement);
    getPage_ = setPage_ = getDay_ = getDays_ = scanDays_ = setDay_ = nullptr;
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

void TSqliteStore::Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) == SQLITE_OK) return;
    const std::string message = error ? error : sqlite3_errmsg(db_);
    sqlite3_free(error);
    throw TSyncStoreError(std::string("database: ") + message);
}

sqlite3_stmt* TSqliteStore::Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK)
        throw TSyncStoreError(std::string("database: ") + sqlite3_errmsg(db_));
    return statement;
}

void TSqliteStore::LeaveCheckpointsToOthers() {
    Exec("PRAGMA wal_autocheckpoint=0");
}

void TSqliteStore::BeginIfNeeded() {
    if (inTransaction_) return;
    Exec("BEGIN IMMEDIATE");
    inTransaction_ = true;
}

void TSqliteStore::Commit() {
    if (!inTransaction_) return;
    Exec("COMMIT");
    inTransaction_ = false;
}

void TSqliteStore::Rollback() {
    if (!inTransaction_) return;
    inTransaction_ = false;
    // A failed COMMIT may already have ended the transaction; then there is nothing left to undo.
    if (!sqlite3_get_autocommit(db_)) Exec("ROLLBACK");
}

std::optional<std::string> TSqliteStore::GetPage(const std::string& account, TPage page) {
    TStatement s(db_, getPage_);
    s.Bind(1, account).Bind(2, PageName(page));
    if (!s.Step()) return std::nullopt;
    return s.Text(0);
}

void TSqliteStore::SetPage(const std::string& account, TPage page, std::string_view html) {
    BeginIfNeeded();
    TStatement s(db_, setPage_);
    s.Bind(1, account).Bind(2, PageName(page)).Bind(3, html);
    s.Step();
}

std::optional<TSqliteStore::TDay> TSqliteStore::GetDay(const std::string& account, Date day) {
    TStatement s(db_, getDay_);
    s.Bind(1, account).Bind(2, std::int64_t{day.days});
    if (!s.Step()) return std::nullopt;
    return s.Day();
}

std::vector<TSqliteStore::TDay> TSqliteStore::GetDays(const std::string& account, Date first, Date last) {
    TStatement s(db_, getDays_);
    s.Bind(1, account).Bind(2, std::int64_t{first.days}).Bind(3, std::int64_t{last.days});
    std::vector<TDay> days;
    while (s.Step()) days.push_back(s.Day());
    return days;
}

void TSqliteStore::ScanDays(const std::string& account, const std::function<bool(const TDay&)>& visit) {
    TStatement s(db_, scanDays_);
    s.Bind(1, account);
    while (s.Step())
        if (!visit(s.Day())) return;
}

std::optional<TSqliteStore::TDay> TSqliteStore::SetDay(const std::string& account, Date day,
                                                       std::string_view html, std::int64_t timestamp) {
    BeginIfNeeded();
    {
        TStatement s(db_, setDay_);
        s.Bind(1, account).Bind(2, std::int64_t{day.days}).Bind(3, html).Bind(4, timestamp);
        s.Step();
    }
    if (sqlite3_changes(db_) > 0) return std::nullopt;
    return GetDay(account, day);
}

}  // namespace wl
