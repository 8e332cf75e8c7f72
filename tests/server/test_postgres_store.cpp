// What only the PostgreSQL store does: the change notifications other instances rely on, the text the
// database cannot hold, a lost connection, and the password.
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <thread>

#include "ClientRequests.h"
#include "KeyHash.h"
#include "OpenSyncStore.h"
#include "ServerLog.h"
#include "TChangeNotice.h"
#include "TSyncService.h"
#include "TestStorage.h"

namespace wl {
namespace {

using namespace std::chrono_literals;

const std::string kAccount = "a1";
const Date kMonday = MakeDate(2021, 1, 4);

// Listens on the change channel and keeps the payloads of one store instance.
class TRawNotifications {
  public:
    TRawNotifications(const std::string& uri, std::string instance) : instance_(std::move(instance)) {
        conn_ = PQconnectdb(uri.c_str());
        PQclear(PQexec(conn_, "LISTEN weekleaf_changes"));
    }
    ~TRawNotifications() { PQfinish(conn_); }
    TRawNotifications(const TRawNotifications&) = delete;
    TRawNotifications& operator=(const TRawNotifications&) = delete;

    // What arrived within `wait`, in order.
    std::vector<std::string> Take(std::chrono::milliseconds wait) {
        std::vector<std::string> payloads;
        const auto end = std::chrono::steady_clock::now() + wait;
        for (;;) {
            PQconsumeInput(conn_);
            while (PGnotify* n = PQnotifies(conn_)) {
                const std::string payload = n->extra;
                if (payload.starts_with(instance_ + " ")) payloads.push_back(payload);
                PQfreemem(n);
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left <= 0ms) return payloads;
            pollfd p{PQsocket(conn_), POLLIN, 0};
            poll(&p, 1, static_cast<int>(left.count()));
        }
    }

  private:
    PGconn* conn_;
    std::string instance_;
};

class PostgresStore : public testing::Test {
  protected:
    PostgresStore() { SetServerLogEnabled(false); }
    ~PostgresStore() override { SetServerLogEnabled(true); }

    TPostgresStore& Store() { return static_cast<TPostgresStore&>(*store_); }
    // Ends the store's connection from the server's side, as a restart of the server would.
    void KillStoresConnection() {
        test::TPgConnection(storage_.Db())
            .Query("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = $1",
                   {"weekleaf-sync " + Store().InstanceId()});
    }

    test::TTestStorage storage_{test::TStorageKind::Postgres};
    std::unique_ptr<TSyncStore> store_ = storage_.Open();
};

// The payload has a limit of 8000 bytes: a text carried along stops at 7000 bytes, a larger one is
// read back by the listeners.
TEST_F(PostgresStore, OnlyATextThatFitsTravelsInTheNotification) {
    TRawNotifications listener(storage_.Db(), Store().InstanceId());
    const std::string account = HashAccountKey("k1");
    const std::string fits(TChangeNotice::kCarriedTextBytes, 'x');
    store_->SetDay(account, kMonday, fits, 100);
    store_->SetPage(account, TSyncStore::TPage::Note, fits + "y");
    store_->Commit();
    const auto payloads = listener.Take(2s);
    ASSERT_EQ(payloads.size(), 2u);
    EXPECT_TRUE(payloads[0].ends_with(account + " 100 " + fits));
    EXPECT_TRUE(payloads[1].ends_with(account)) << payloads[1].size() << " bytes";
}

TEST_F(PostgresStore, EveryCommittedChangeIsNotifiedOnceWithItsRow) {
    TRawNotifications listener(storage_.Db(), Store().InstanceId());
    const std::string account = HashAccountKey("k1");
    store_->SetDay(account, kMonday, "<p>mon</p>", 100);
    store_->SetPage(account, TSyncStore::TPage::Note, "n");
    store_->SetPage(account, TSyncStore::TPage::Template, "t");
    EXPECT_TRUE(listener.Take(50ms).empty()) << "notified before the commit";
    store_->Commit();

    const auto payloads = listener.Take(2s);
    const auto changes = Store().ChangesSince(0);
    ASSERT_EQ(payloads.size(), 3u);
    ASSERT_EQ(changes.size(), 3u);
    const std::string kinds[] = {"day", "note", "template"};
    const std::int32_t days[] = {kMonday.days, 0, 0};
    const std::string carried[] = {" 100 <p>mon</p>", " 0 n", " 0 t"};  // stamp and text
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(changes[i].Kind, kinds[i]);
        EXPECT_EQ(changes[i].Day, days[i]);
        EXPECT_EQ(changes[i].Account, account);
        EXPECT_EQ(payloads[i], Store().InstanceId() + " " + std::to_string(changes[i].Changed) + " " +
                                   kinds[i] + " " + std::to_string(days[i]) + " " + account + carried[i]);
    }
    EXPECT_LT(changes[0].Changed, changes[1].Changed);
    EXPECT_TRUE(Store().ChangesSince(changes[2].Changed).empty());
}

// Nearly every write rewrites a stored day: the new row version must go beside the old one without new
// index entries (what makes a write cheap for the database), so no index may cover the columns a write
// changes, and a database made by an older version loses such indexes at the next start.
TEST_F(PostgresStore, RewritingADayTouchesNoIndexEvenInAnOlderDatabase) {
    test::TPgConnection operatorConnection(storage_.Db());
    operatorConnection.Query("CREATE INDEX days_changed ON days(changed)");
    store_ = storage_.Open();  // the next start
    EXPECT_EQ(operatorConnection.Query("SELECT indexname FROM pg_indexes WHERE tablename IN ('days', 'pages')"
                                       " AND indexdef LIKE '%changed%'"),
              std::vector<std::string>{});

    const std::string account = HashAccountKey("k1");
    constexpr int kRewrites = 20;
    for (int i = 0; i < kRewrites; ++i) {
        store_->SetDay(account, kMonday, "<p>" + std::to_string(i) + "</p>", 100 + i);
        store_->Commit();
    }
    store_.reset();  // its connection's statistics reach the server when it ends
    std::string hot;
    for (int wait = 0; wait < 50 && hot != std::to_string(kRewrites - 1); ++wait) {
        if (wait > 0) std::this_thread::sleep_for(100ms);
        hot = operatorConnection.Query("SELECT n_tup_hot_upd FROM pg_stat_user_tables WHERE relname = 'days'")
                  .at(0);
    }
    EXPECT_EQ(hot, std::to_string(kRewrites - 1)) << "updates that added index entries";
}

TEST_F(PostgresStore, RefusedOrRolledBackWritesNotifyNothing) {
    TRawNotifications listener(storage_.Db(), Store().InstanceId());
    store_->SetDay(kAccount, kMonday, "newer", 200);
    store_->Commit();
    ASSERT_EQ(listener.Take(2s).size(), 1u);
    const std::int64_t mark = Store().ChangesSince(0).back().Changed;

    EXPECT_TRUE(store_->SetDay(kAccount, kMonday, "older", 100));  // refused: the newer one is returned
    store_->SetDay(kAccount, AddDays(kMonday, 1), "dropped", 300);
    store_->SetPage(kAccount, TSyncStore::TPage::Note, "dropped");
    store_->Rollback();
    store_->Commit();
    EXPECT_TRUE(listener.Take(200ms).empty());
    EXPECT_TRUE(Store().ChangesSince(mark).empty());
}

TEST_F(PostgresStore, InstancesHaveTheirOwnSixteenHexDigitIds) {
    const auto other = storage_.Open();
    const std::string& id = Store().InstanceId();
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9a-f]{16}"))) << id;
    EXPECT_NE(id, static_cast<TPostgresStore&>(*other).InstanceId());
}

// PostgreSQL's text holds no NUL byte and only well-formed UTF-8; a device's text that breaks that
// must not take the other writes of its batch down with it.
TEST_F(PostgresStore, TextTheDatabaseCannotHoldIsRefusedAloneAndTheBatchGoesOn) {
    const std::string bad[] = {
        std::string("a\0b", 3),        "\xff",
        "\xc0\xaf" /* overlong "/" */, "\xed\xa0\x80" /* a surrogate */,
        "\xe2\x82" /* cut short */,    "\xf4\x90\x80\x80" /* past U+10FFFF */,
    };
    store_->SetDay(kAccount, kMonday, "kept", 1);
    for (const std::string& text : bad) {
        try {
            store_->SetDay(kAccount, AddDays(kMonday, 1), text, 1);
            ADD_FAILURE() << "taken: " << testing::PrintToString(text);
        } catch (const TSyncStoreError& e) {
            EXPECT_EQ(e.Kind(), TSyncStoreError::TKind::Refused) << e.what();
        }
        EXPECT_THROW(store_->SetPage(kAccount, TSyncStore::TPage::Note, text), TSyncStoreError);
    }
    const std::string good = "ё € 𝄞 \x7f";
    store_->SetPage(kAccount, TSyncStore::TPage::Note, good);
    store_->Commit();
    EXPECT_EQ(store_->GetDay(kAccount, kMonday)->Html, "kept");
    EXPECT_EQ(store_->GetPage(kAccount, TSyncStore::TPage::Note), good);
    EXPECT_FALSE(store_->GetDay(kAccount, AddDays(kMonday, 1)));
}

TEST_F(PostgresStore, ConnectionLostInsideABatchFailsItAndTheNextBatchReconnects) {
    store_->SetDay(kAccount, kMonday, "committed", 1);
    store_->Commit();
    store_->SetDay(kAccount, AddDays(kMonday, 1), "lost", 1);
    KillStoresConnection();
    EXPECT_THROW(
        {
            store_->SetDay(kAccount, AddDays(kMonday, 2), "lost too", 1);
            store_->Commit();
        },
        TSyncStoreError);
    store_->Rollback();

    store_->SetDay(kAccount, AddDays(kMonday, 3), "after", 1);
    store_->Commit();
    EXPECT_EQ(store_->GetDay(kAccount, kMonday)->Html, "committed");
    EXPECT_FALSE(store_->GetDay(kAccount, AddDays(kMonday, 1)));
    EXPECT_EQ(store_->GetDay(kAccount, AddDays(kMonday, 3))->Html, "after");
}

TEST_F(PostgresStore, ConnectionLostWhileIdleIsReopenedUnnoticed) {
    store_->SetDay(kAccount, kMonday, "x", 1);
    store_->Commit();
    KillStoresConnection();
    std::this_thread::sleep_for(50ms);  // the server has closed it
    EXPECT_EQ(store_->GetDay(kAccount, kMonday)->Html, "x");
}

// Nothing of a batch the database lost may be acknowledged; its requests get their error status so
// that no device waits for an answer that never comes.
TEST_F(PostgresStore, RequestsOfABatchTheDatabaseLostAreAnsweredWithTheErrorStatus) {
    TSyncService service(*store_);
    service.Handle(2, test::GetRequest("GET_NOTE", "k1"));
    service.Commit();
    service.Handle(1, test::SetNoteRequest("k1", "lost"));
    KillStoresConnection();
    service.Handle(1, test::SetDayRequest("k1", "05.01.2021", "lost", 1609840000));
    service.Handle(1, test::GetDayRequest("k1", "05.01.2021"));
    std::vector<std::string> answers;
    for (const TOutMessage& message : service.Commit()) {
        EXPECT_EQ(message.To, 1u) << "pushed: " << *message.Text;
        answers.push_back(*message.Text);
    }
    EXPECT_EQ(answers, (std::vector<std::string>{
                           R"({"ACTION":"STATUS","STATUS":6,"REQUEST":"SET_NOTE"})",
                           R"({"ACTION":"STATUS","STATUS":6,"REQUEST":"SET_DAY","DAY":"05.01.2021"})",
                           R"({"ACTION":"STATUS","STATUS":5,"REQUEST":"GET_DAY","DAY":"05.01.2021"})",
                       }));
    EXPECT_FALSE(store_->GetDay(HashAccountKey("k1"), MakeDate(2021, 1, 5)));
}

TEST_F(PostgresStore, UnstorableTextIsRefusedToItsSenderOnly) {
    TSyncService service(*store_);
    service.Handle(2, test::GetRequest("GET_NOTE", "k1"));
    service.Commit();
    service.Handle(1, test::SetDayRequest("k1", "05.01.2021", std::string("a\0b", 3), 1609840000));
    service.Handle(2, test::SetDayRequest("k1", "06.01.2021", "kept", 1609840000));
    std::vector<std::pair<TConnectionId, std::string>> out;
    for (const TOutMessage& message : service.Commit()) out.emplace_back(message.To, *message.Text);
    EXPECT_EQ(out, (std::vector<std::pair<TConnectionId, std::string>>{
                       {1, R"({"ACTION":"STATUS","STATUS":6,"REQUEST":"SET_DAY","DAY":"05.01.2021"})"},
                       {1, R"({"ACTION":"UPDATE_DAY","06.01.2021":"kept","timestamp":"1609840000"})"},
                   }));
}

TEST(PostgresConnection, PasswordComesFromTheArgumentOrTheEnvironment) {
    test::TTestStorage storage(test::TStorageKind::Postgres);
    const std::string uri = test::WithDatabase(test::PgClusterFile("password-uri"), storage.Database());
    const std::string password = test::PgClusterFile("password");
    EXPECT_NO_THROW(TPostgresStore(uri, password));
    try {
        TPostgresStore store(uri);
        ADD_FAILURE() << "connected without a password";
    } catch (const TSyncStoreError& e) {
        // Waiting would not bring a password: the service stops instead of retrying.
        EXPECT_EQ(e.Kind(), TSyncStoreError::TKind::Failed) << e.what();
    }
    EXPECT_THROW(TPostgresStore(uri, "wrong"), TSyncStoreError);
    setenv("PGPASSWORD", password.c_str(), 1);
    EXPECT_NO_THROW(TPostgresStore store(uri));
    unsetenv("PGPASSWORD");
}

TEST(PostgresConnection, ServerThatIsNotThereIsUnreachable) {
    try {
        TPostgresStore store("postgresql://nobody@/weekleaf?host=/nonexistent&port=1");
        ADD_FAILURE() << "connected";
    } catch (const TSyncStoreError& e) {
        EXPECT_EQ(e.Kind(), TSyncStoreError::TKind::Unreachable) << e.what();
    }
}

TEST(PostgresConnection, DbValueChoosesTheStorage) {
    test::TTestStorage storage(test::TStorageKind::Postgres);
    TServerOptions options;
    options.DbPath = storage.Db();
    const TOpenedStore postgres = OpenSyncStore(options);
    EXPECT_EQ(postgres.Postgres, postgres.Store.get());
    EXPECT_FALSE(postgres.Checkpointer);  // the write-ahead log copier is SQLite's alone
    options.DbPath = storage.Dir().File("sync.db");
    const TOpenedStore sqlite = OpenSyncStore(options);
    EXPECT_EQ(sqlite.Postgres, nullptr);
    EXPECT_TRUE(sqlite.Checkpointer);
}

// The waits between attempts to reach the database at start: 1 s, doubling, at most 30 s.
TEST(PostgresConnection, UnreachableDatabaseIsWaitedForWithGrowingPauses) {
    TServerOptions options;
    options.DbPath = "postgresql://nobody@/weekleaf?host=/nonexistent&port=1";
    std::vector<std::string> said;
    std::vector<long> waits;
    struct TGiveUp {};
    EXPECT_THROW(OpenSyncStoreWhenReachable(
                     options, [&](const std::string& text) { said.push_back(text); },
                     [&](std::chrono::seconds wait) {
                         waits.push_back(static_cast<long>(wait.count()));
                         if (waits.size() == 7) throw TGiveUp{};
                     }),
                 TGiveUp);
    EXPECT_EQ(waits, (std::vector<long>{1, 2, 4, 8, 16, 30, 30}));
    ASSERT_FALSE(said.empty());
    EXPECT_NE(said[0].find("/nonexistent"), std::string::npos) << said[0];
    EXPECT_NE(said[0].find("trying again in 1 s"), std::string::npos) << said[0];
}

}  // namespace
}  // namespace wl
