// Two service instances on one PostgreSQL database, each on a thread of its own as on its own host:
// schema creation at the same moment, batches that lock the same rows in opposite orders, and two
// writes racing on one day.
#include <gtest/gtest.h>

#include <latch>
#include <thread>

#include "ClientRequests.h"
#include "KeyHash.h"
#include "ServerLog.h"
#include "TSyncService.h"
#include "TestStorage.h"

namespace wl {
namespace {

using namespace std::chrono_literals;

class PostgresCollisions : public testing::Test {
  protected:
    PostgresCollisions() { SetServerLogEnabled(false); }
    ~PostgresCollisions() override { SetServerLogEnabled(true); }

    test::TTestStorage storage_{test::TStorageKind::Postgres};
};

TEST_F(PostgresCollisions, InstancesStartingTogetherAllGetTheSchema) {
    constexpr int kInstances = 6;
    std::latch start(kInstances);
    std::vector<std::string> errors(kInstances);
    std::vector<std::thread> threads;
    for (int i = 0; i < kInstances; ++i)
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            try {
                storage_.Open();
            } catch (const std::exception& e) {
                errors[i] = e.what();
            }
        });
    for (auto& thread : threads) thread.join();
    for (const std::string& error : errors) EXPECT_EQ(error, "");
}

// Instance A writes Monday then Tuesday, instance B Tuesday then Monday, each holding its first row
// while it asks for the second: a deadlock. Both batches must still be kept and answered.
TEST_F(PostgresCollisions, BatchesLockingRowsInOppositeOrdersAreBothKept) {
    const auto storeA = storage_.Open();
    const auto storeB = storage_.Open();
    TSyncService serviceA(*storeA), serviceB(*storeB);
    const std::string mon = "04.01.2021", tue = "05.01.2021";
    std::latch firstRowsHeld(2);
    std::vector<TOutMessage> outA, outB;
    const auto run = [&](TSyncService& service, std::vector<TOutMessage>& out, const std::string& first,
                         const std::string& second, const std::string& text, std::int64_t stamp) {
        int runs = 0;
        out = service.RunBatch([&] {
            service.Handle(1, test::SetDayRequest("k1", first, text, stamp));
            if (++runs == 1) firstRowsHeld.arrive_and_wait();
            service.Handle(1, test::SetDayRequest("k1", second, text, stamp));
            service.Handle(1, test::GetDayRequest("k1", second));
        });
    };
    std::thread a([&] { run(serviceA, outA, mon, tue, "from A", 1609840000); });
    std::thread b([&] { run(serviceB, outB, tue, mon, "from B", 1609840001); });
    a.join();
    b.join();

    // Each batch was answered (its GET_DAY), not failed with a status.
    for (const auto* out : {&outA, &outB}) {
        ASSERT_FALSE(out->empty());
        EXPECT_TRUE(out->back().Text->starts_with(R"({"ACTION":"RES_GET_DAY")")) << *out->back().Text;
    }
    // B's text is the newer one on both days, whichever batch committed first.
    const std::string account = HashAccountKey("k1");
    EXPECT_EQ(storeA->GetDay(account, *StrToDate(mon))->Html, "from B");
    EXPECT_EQ(storeA->GetDay(account, *StrToDate(tue))->Html, "from B");
}

// The older write arrives while the newer one is not committed yet: it waits for the row and is then
// refused, with the newer text handed back.
TEST_F(PostgresCollisions, OlderTextLosesARaceOnOneDay) {
    const auto newer = storage_.Open();
    const auto older = storage_.Open();
    const std::string account = "a1";
    const Date day = MakeDate(2021, 1, 4);
    newer->SetDay(account, day, "newer", 200);
    std::optional<TSyncStore::TDay> returned;
    std::thread racing([&] {
        for (;;) {
            try {
                returned = older->SetDay(account, day, "older", 100);
                return;
            } catch (const TSyncStoreError& e) {
                // Waited past the lock time-out on a loaded machine: the service would run it again.
                if (e.Kind() != TSyncStoreError::TKind::Conflict) throw;
                older->Rollback();
            }
        }
    });
    std::this_thread::sleep_for(30ms);  // the older write is waiting for the row
    newer->Commit();
    racing.join();
    older->Commit();
    ASSERT_TRUE(returned);
    EXPECT_EQ(returned->Html, "newer");
    EXPECT_EQ(newer->GetDay(account, day)->Html, "newer");
}

}  // namespace
}  // namespace wl
