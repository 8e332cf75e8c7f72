// Several weekleaf-sync processes on one PostgreSQL database, each with devices of one account: what
// one instance commits reaches the devices on the others, races end with the newer text everywhere,
// and neither a cut listener, a killed instance nor a restarted database loses a write for good.
// Each test gets a database of its own in the throwaway cluster.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <thread>

#include "ClientRequests.h"
#include "PgTestDatabase.h"
#include "RawSocket.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "TestClient.h"
#include "data/Json.h"

namespace wl {
namespace {

using namespace std::chrono_literals;
using test::TServerProcess;

// An account of the test's own: the cluster's other tests share the channel the instances listen on.
std::string TestKey() {
    static std::mt19937_64 random{std::random_device{}()};
    return "family-" + std::to_string(random());
}

// One device on one instance: sends like the desktop client and remembers the newest text it was
// given for each day (an answer or a push alike).
class TDevice {
  public:
    TDevice(int port, const std::string& key) : client_(static_cast<std::uint16_t>(port)), key_(key) {
        client_.Send(test::GetRequest("GET_NOTE", key_));  // puts the connection on the account
        ready_ = client_.Receive(5s).has_value();
    }
    bool Ready() const { return ready_; }

    void SetDay(const std::string& day, const std::string& html, long long timestamp) {
        client_.Send(test::SetDayRequest(key_, day, html, timestamp));
        Shown[day] = html;
    }
    void AskDays(const std::string& first, const std::string& last) {
        client_.Send(test::GetDaysRangeRequest(key_, first, last));
    }
    // Reads what arrives until nothing has for `quiet`.
    void Drain(std::chrono::milliseconds quiet = 300ms) {
        while (const auto text = client_.Receive(quiet)) Record(*text);
    }
    // Reads until `done` or `wait` has passed.
    template <class Done>
    bool DrainUntil(Done done, std::chrono::milliseconds wait = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (!done() && std::chrono::steady_clock::now() < deadline)
            if (const auto text = client_.Receive(50ms)) Record(*text);
        return done();
    }
    bool Closed() { return client_.WaitClosed(0ms); }

    std::map<std::string, std::string> Days;   // day key -> newest text given
    std::map<std::string, std::string> Shown;  // day key -> what the device shows: given or written last
    std::vector<std::string> Pushed;           // UPDATE_DAY texts in arrival order
    std::vector<std::string> Errors;           // STATUS answers other than success

  private:
    void Record(const std::string& text) {
        const JsonValue message = ParseJson(text);
        const std::string action = message.GetString("ACTION");
        if (action == "STATUS" && message.Find("STATUS")->AsInt() != 0) Errors.push_back(text);
        if (action == "UPDATE_DAY" || action == "RES_GET_DAY") {
            const auto& [day, html] = message.Members().at(1);
            Days[day] = html.AsString();
            Shown[day] = html.AsString();
            if (action == "UPDATE_DAY") Pushed.push_back(html.AsString());
        }
        if (action == "RES_GET_DAYS_RANGE")
            if (const JsonValue* days = message.Find("ITEM") ? message.Find("ITEM")->Find("days") : nullptr)
                for (const auto& [day, html] : days->Members()) Days[day] = html.AsString();
    }

    test::TTestClient client_;
    std::string key_;
    bool ready_ = false;
};

long long Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string DayKey(int index) {  // distinct days in March 2030
    char text[16];
    std::snprintf(text, sizeof text, "%02d.03.2030", 1 + index % 31);
    return text;
}

class PostgresInstances : public testing::Test {
  protected:
    void SetUp() override {
        admin_ = std::make_unique<test::TPgConnection>(test::PgTestUri());
        std::mt19937_64 random{std::random_device{}()};
        database_ = "wl_instances_" + std::to_string(random() % 1000000000);
        admin_->Query("CREATE DATABASE " + database_);
        uri_ = test::WithDatabase(test::PgTestUri(), database_);
    }
    void TearDown() override {
        instances_.clear();
        if (admin_) admin_->Query("DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
    }

    TServerProcess& Start(std::vector<std::string> args = {}) {
        instances_.push_back(std::make_unique<TServerProcess>(WL_SYNC_SERVER_BIN, uri_, args));
        return *instances_.back();
    }
    // Ends this database's listener connections on the server side.
    std::size_t CutListeners() {
        return admin_
            ->Query(
                "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = $1 AND "
                "application_name LIKE 'weekleaf-sync listener%'",
                {database_})
            .size();
    }

    std::unique_ptr<test::TPgConnection> admin_;
    std::string database_, uri_;
    const std::string key_ = TestKey();
    std::vector<std::unique_ptr<TServerProcess>> instances_;
};

TEST_F(PostgresInstances, ASetDayOnOneInstanceReachesTheDevicesOnTheOtherAndNeverComesBackToTheSender) {
    TServerProcess& a = Start();
    TServerProcess& b = Start();
    ASSERT_GT(a.Port(), 0);
    ASSERT_GT(b.Port(), 0);
    TDevice sender(a.Port(), key_), besideSender(a.Port(), key_), onB(b.Port(), key_),
        otherAccount(b.Port(), "x");
    ASSERT_TRUE(sender.Ready() && besideSender.Ready() && onB.Ready() && otherAccount.Ready());

    const long long stamp = Now() - 60;
    sender.SetDay("05.01.2021", "<p>from A</p>", stamp);
    ASSERT_TRUE(onB.DrainUntil([&] { return !onB.Pushed.empty(); }));
    EXPECT_EQ(onB.Pushed, std::vector<std::string>{"<p>from A</p>"});
    besideSender.Drain();
    EXPECT_EQ(besideSender.Pushed, std::vector<std::string>{"<p>from A</p>"});
    sender.Drain();
    otherAccount.Drain(100ms);
    EXPECT_TRUE(sender.Pushed.empty());
    EXPECT_TRUE(otherAccount.Pushed.empty());
}

// The newer write is sent first, so the instance it goes through holds it before anything of the
// older one can reach it; which of the two commits first is left to the database, round by round.
TEST_F(PostgresInstances, DevicesRacingThroughDifferentInstancesEndWithTheNewerTextEverywhere) {
    TServerProcess& a = Start();
    TServerProcess& b = Start();
    TDevice onA(a.Port(), key_), onB(b.Port(), key_);
    ASSERT_TRUE(onA.Ready() && onB.Ready());
    constexpr int kRounds = 20;
    const long long stamp = Now() - 100;
    for (int round = 0; round < kRounds; ++round) {
        const bool newerOnA = round % 2 == 0;
        TDevice& newer = newerOnA ? onA : onB;
        TDevice& older = newerOnA ? onB : onA;
        newer.SetDay(DayKey(round), "newer " + std::to_string(round), stamp + 1);
        older.SetDay(DayKey(round), "older " + std::to_string(round), stamp);
    }
    onA.Drain(500ms);
    onB.Drain(500ms);
    TDevice checkA(a.Port(), key_), checkB(b.Port(), key_);
    checkA.AskDays(DayKey(0), DayKey(kRounds - 1));
    checkB.AskDays(DayKey(0), DayKey(kRounds - 1));
    checkA.Drain();
    checkB.Drain();
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        const std::string expected = "newer " + std::to_string(round);
        EXPECT_EQ(checkA.Days[DayKey(round)], expected);
        EXPECT_EQ(checkB.Days[DayKey(round)], expected);
        // The device that sent the older text was given the newer one (as the refusal or as a push);
        // the one that sent the newer text was never handed the older one after it.
        TDevice& older = round % 2 == 0 ? onB : onA;
        TDevice& newer = round % 2 == 0 ? onA : onB;
        EXPECT_EQ(older.Days[DayKey(round)], expected);
        if (newer.Days.contains(DayKey(round))) {
            EXPECT_EQ(newer.Days[DayKey(round)], expected);
        }
    }
}

// Two devices of each of three accounts write the same days at the same moment, one through each
// instance and in opposite orders, with stamps in no order; a fourth account writes days of its own
// beside them. However the two instances' batches meet in the database, no write is refused: each day
// ends with its newest text in the database and on every device of its account, the writers
// included, and the bystander keeps all of its days.
TEST_F(PostgresInstances, BatchesOfTwoInstancesWritingTheSameDaysInOppositeOrdersRefuseNothing) {
    TServerProcess& a = Start();
    TServerProcess& b = Start();
    constexpr int kAccounts = 3, kDays = 28, kRounds = 4;
    struct TAccount {
        std::string Key;
        std::unique_ptr<TDevice> WriterA, WriterB, WatcherA, WatcherB;
    };
    std::vector<TAccount> accounts;
    for (int i = 0; i < kAccounts; ++i) {
        const std::string key = TestKey();
        accounts.push_back(
            {key, std::make_unique<TDevice>(a.Port(), key), std::make_unique<TDevice>(b.Port(), key),
             std::make_unique<TDevice>(a.Port(), key), std::make_unique<TDevice>(b.Port(), key)});
    }
    TDevice bystander(a.Port(), key_);
    ASSERT_TRUE(bystander.Ready());
    const auto devicesOf = [](TAccount& account) {
        return std::vector<TDevice*>{account.WriterA.get(), account.WriterB.get(), account.WatcherA.get(),
                                     account.WatcherB.get()};
    };
    for (auto& account : accounts)
        for (TDevice* device : devicesOf(account)) ASSERT_TRUE(device->Ready());

    std::mt19937 random{std::random_device{}()};
    const long long base = Now() - 100000;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        char month[16];
        std::snprintf(month, sizeof month, ".%02d.2031", 1 + round);
        const auto day = [&](int index) {
            return (index < 9 ? "0" : "") + std::to_string(index + 1) + month;
        };
        // Two distinct stamps per account and day, shuffled between the writers; the later one wins.
        std::vector<long long> stamps(2 * kAccounts * kDays);
        std::iota(stamps.begin(), stamps.end(), base + 1000 * round);
        std::shuffle(stamps.begin(), stamps.end(), random);
        const auto stamp = [&](int writer, int n, int i) { return stamps[2 * (n * kDays + i) + writer]; };
        const auto text = [&](int writer, int n, int i) {
            return std::string(writer == 0 ? "A " : "B ") + day(i) + " " +
                   std::to_string(stamp(writer, n, i));
        };
        const auto newest = [&](int n, int i) { return text(stamp(1, n, i) > stamp(0, n, i) ? 1 : 0, n, i); };

        for (int i = 0; i < kDays; ++i) {
            for (int n = 0; n < kAccounts; ++n) {
                const int up = i, down = kDays - 1 - i;
                accounts[n].WriterA->SetDay(day(up), text(0, n, up), stamp(0, n, up));
                accounts[n].WriterB->SetDay(day(down), text(1, n, down), stamp(1, n, down));
            }
            bystander.SetDay(day(i), "bystander " + day(i), base);
        }
        // Every device shows every day's newest text, the writers too: a push of the other writer's
        // older text may have crossed a writer's own newer write on the wire.
        for (int n = 0; n < kAccounts; ++n) {
            SCOPED_TRACE(n);
            for (TDevice* device : devicesOf(accounts[n])) {
                std::string stale;  // the first day not shown with its newest text
                const auto converged = [&] {
                    for (int i = 0; i < kDays; ++i) {
                        const auto shown = device->Shown.find(day(i));
                        if (shown == device->Shown.end() || shown->second != newest(n, i)) {
                            stale = (shown == device->Shown.end() ? "nothing" : shown->second) +
                                    " instead of " + newest(n, i);
                            return false;
                        }
                    }
                    return true;
                };
                ASSERT_TRUE(device->DrainUntil(converged, 15s)) << stale;
            }
            for (TDevice* device : devicesOf(accounts[n])) {
                device->Drain(50ms);
                ASSERT_EQ(device->Errors, std::vector<std::string>{});
            }
        }
        bystander.Drain(50ms);
        EXPECT_EQ(bystander.Errors, std::vector<std::string>{});
    }
    // Everything is in the database, as a device connecting afresh to either instance is told.
    for (int n = 0; n < kAccounts; ++n) {
        TDevice fresh((n % 2 ? b : a).Port(), accounts[n].Key);
        ASSERT_TRUE(fresh.Ready());
        fresh.AskDays("01.01.2031", "31.12.2031");
        fresh.Drain();
        EXPECT_EQ(accounts[n].WatcherA->Shown, fresh.Days);
        EXPECT_EQ(accounts[n].WatcherB->Shown, fresh.Days);
    }
    TDevice freshBystander(b.Port(), key_);
    ASSERT_TRUE(freshBystander.Ready());
    freshBystander.AskDays("01.01.2031", "31.12.2031");
    freshBystander.Drain();
    EXPECT_EQ(freshBystander.Days.size(), std::size_t{kRounds * kDays});
}

// Writes go on while the listeners' connections are cut: what was committed while nobody listened
// reaches the other instance's device once its listener is back.
TEST_F(PostgresInstances, ChangesCommittedWhileTheListenerWasCutArePushedAfterItReconnects) {
    TServerProcess& a = Start();
    TServerProcess& b = Start();
    TDevice writer(a.Port(), key_), reader(b.Port(), key_);
    ASSERT_TRUE(writer.Ready() && reader.Ready());
    constexpr int kDays = 30;
    const long long stamp = Now() - 60;
    for (int i = 0; i < kDays; ++i) {
        if (i == 5) {
            ASSERT_GE(CutListeners(), 2u);
        }
        writer.SetDay(DayKey(i), "text " + std::to_string(i), stamp);
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(reader.DrainUntil([&] { return reader.Days.size() == kDays; }, 15s))
        << reader.Days.size() << " of " << kDays << " days pushed";
    for (int i = 0; i < kDays; ++i) EXPECT_EQ(reader.Days[DayKey(i)], "text " + std::to_string(i));
}

// Acknowledged: the write was pushed to some device (SET_DAY gets no answer of its own). Every writer
// owns one day and counts up; after instance A is killed, the database must hold each day at least at
// the count any device was shown, and A's devices, reconnected to B, see what B's devices see.
TEST_F(PostgresInstances,
       KillingOneInstanceUnderLoadLosesNoAcknowledgedWriteAndItsDevicesConvergeOnTheOther) {
    TServerProcess& a = Start();
    TServerProcess& b = Start();
    std::vector<std::unique_ptr<TDevice>> devices;
    for (int i = 0; i < 6; ++i)
        devices.push_back(std::make_unique<TDevice>(i % 2 ? b.Port() : a.Port(), key_));
    for (auto& device : devices) ASSERT_TRUE(device->Ready());
    const long long stamp = Now() - 60;
    std::map<int, int> sent;
    const auto acknowledged = [&](int writer) {
        int count = -1;
        for (auto& device : devices)
            for (const std::string& text : device->Pushed)
                if (text.starts_with("w" + std::to_string(writer) + " #"))
                    count = std::max(count, std::stoi(text.substr(text.find('#') + 1)));
        return count;
    };
    for (int step = 0; step < 120; ++step) {
        if (step == 60) a.Kill();
        for (int w = 0; w < static_cast<int>(devices.size()); ++w) {
            if (step >= 60 && w % 2 == 0) continue;  // A's devices lost their instance
            devices[w]->SetDay(DayKey(w), "w" + std::to_string(w) + " #" + std::to_string(sent[w]++), stamp);
        }
        for (int w = 0; w < static_cast<int>(devices.size()); ++w)
            if (step < 60 || w % 2 == 1) devices[w]->Drain(2ms);
    }
    std::map<int, int> shown;
    for (int w = 0; w < static_cast<int>(devices.size()); ++w) shown[w] = acknowledged(w);

    // A's devices come back through the balancer, which now only knows B.
    for (int w = 0; w < static_cast<int>(devices.size()); w += 2)
        devices[w] = std::make_unique<TDevice>(b.Port(), key_);
    for (auto& device : devices) {
        ASSERT_TRUE(device->Ready());
        device->AskDays(DayKey(0), DayKey(static_cast<int>(devices.size()) - 1));
        device->Drain();
    }
    for (int w = 0; w < static_cast<int>(devices.size()); ++w) {
        SCOPED_TRACE(w);
        const std::string stored = devices[1]->Days[DayKey(w)];
        ASSERT_TRUE(stored.starts_with("w" + std::to_string(w) + " #")) << stored;
        EXPECT_GE(std::stoi(stored.substr(stored.find('#') + 1)), shown[w]);
        for (auto& device : devices) EXPECT_EQ(device->Days[DayKey(w)], stored);
    }
}

// A cluster of the test's own (restarting the shared one would disturb the tests running beside it).
class TPrivateCluster {
  public:
    TPrivateCluster() {
        if (std::system(("bash " WL_PG_CLUSTER_SCRIPT " start " + dir_.File("pg") + " >/dev/null").c_str()) !=
            0)
            return;
        std::ifstream uri(dir_.File("pg/uri")), cluster(dir_.File("pg/cluster"));
        std::getline(uri, uri_);
        std::getline(cluster, cluster_);
    }
    ~TPrivateCluster() { std::system(("bash " WL_PG_CLUSTER_SCRIPT " stop " + dir_.File("pg")).c_str()); }
    const std::string& Uri() const { return uri_; }

    // pg_ctl restart as the cluster's owner; true when it is back and taking connections.
    bool Restart() const {
        const std::string command =
            "bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1); owner=$(stat -c %U " + cluster_ +
            "); cmd=\"$bin/pg_ctl -D " + cluster_ +
            "/data -m fast -w -t 30 restart\"; if [ $(id -u) -eq 0 ]; then runuser -u "
            "$owner -- $cmd; else $cmd; fi >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }

  private:
    test::TTempDir dir_;
    std::string uri_, cluster_;
};

int HealthStatus(int port) {
    test::TRawSocket socket(static_cast<std::uint16_t>(port));
    if (!socket.Connected()) return 0;
    socket.Write("GET /health HTTP/1.1\r\nHost: lb\r\n\r\n");
    const std::string head = socket.Read(12);
    return head.size() == 12 ? std::stoi(head.substr(9)) : 0;
}

// The database goes away and comes back while devices on both instances keep writing: the service
// itself stays up with every connection open, says 503 to the balancer meanwhile, and afterwards
// stores and pushes across instances again, with every write pushed before, during or after kept.
TEST(DatabaseRestart, BothInstancesRecoverByThemselvesUnderLoad) {
    const std::string key = TestKey();
    TPrivateCluster cluster;
    ASSERT_FALSE(cluster.Uri().empty());
    TServerProcess a(WL_SYNC_SERVER_BIN, cluster.Uri(), {"--health", "127.0.0.1:0"});
    TServerProcess b(WL_SYNC_SERVER_BIN, cluster.Uri(), {"--health", "127.0.0.1:0"});
    ASSERT_GT(a.HealthPort(), 0);
    ASSERT_GT(b.HealthPort(), 0);
    EXPECT_EQ(HealthStatus(a.HealthPort()), 200);
    EXPECT_EQ(HealthStatus(b.HealthPort()), 200);
    TDevice onA(a.Port(), key), onB(b.Port(), key);
    ASSERT_TRUE(onA.Ready() && onB.Ready());

    std::atomic<bool> restarted{false}, sawUnhealthy{false};
    std::thread restart([&] {
        std::thread watch([&] {
            while (!restarted)
                if (HealthStatus(a.HealthPort()) == 503 && HealthStatus(b.HealthPort()) == 503)
                    sawUnhealthy = true;
        });
        EXPECT_TRUE(cluster.Restart());
        restarted = true;
        watch.join();
    });
    const long long stamp = Now() - 60;
    int written = 0;
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    // Writes every 50 ms on both instances until the database has been back for a while.
    for (auto back = deadline; std::chrono::steady_clock::now() < std::min(back, deadline); ++written) {
        if (restarted && back == deadline) back = std::chrono::steady_clock::now() + 1s;
        onA.SetDay(DayKey(written % 28), "a " + std::to_string(written), stamp);
        onB.SetDay(DayKey(written % 28), "b " + std::to_string(written), stamp);
        onA.Drain(25ms);
        onB.Drain(25ms);
    }
    restart.join();
    EXPECT_TRUE(sawUnhealthy);
    ASSERT_TRUE(onA.DrainUntil([&] { return HealthStatus(a.HealthPort()) == 200; }));
    ASSERT_TRUE(onB.DrainUntil([&] { return HealthStatus(b.HealthPort()) == 200; }));
    EXPECT_FALSE(onA.Closed());
    EXPECT_FALSE(onB.Closed());

    // Back to normal: a write through either instance is pushed to the device on the other.
    onA.Drain();
    onB.Drain();
    onA.SetDay("01.04.2030", "after from A", stamp);
    ASSERT_TRUE(onB.DrainUntil([&] { return onB.Days["01.04.2030"] == "after from A"; }));
    onB.SetDay("02.04.2030", "after from B", stamp);
    ASSERT_TRUE(onA.DrainUntil([&] { return onA.Days["02.04.2030"] == "after from B"; }));

    // Every text some device was pushed is kept, unless a later write to the same day replaced it.
    TDevice check(a.Port(), key);
    check.AskDays(DayKey(0), DayKey(27));
    check.Drain();
    for (TDevice* device : {&onA, &onB})
        for (const std::string& text : device->Pushed) {
            if (text.starts_with("after")) continue;
            const int number = std::stoi(text.substr(2));
            const std::string& stored = check.Days[DayKey(number % 28)];
            ASSERT_FALSE(stored.empty());
            EXPECT_GE(std::stoi(stored.substr(2)), number) << text << " pushed, " << stored << " stored";
        }
}

}  // namespace
}  // namespace wl
