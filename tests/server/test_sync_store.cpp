// Both stores: durability across reopening, the timestamp rule, ranges and the open batch.
#include <gtest/gtest.h>

#include "TestStorage.h"

namespace wl {
namespace {

const std::string kAccount = "a1";
const Date kMonday = MakeDate(2021, 1, 4);

class SyncStore : public testing::TestWithParam<test::TStorageKind> {
  protected:
    test::TTestStorage storage_{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Storages, SyncStore, test::AllStorages(), test::StorageName);

TEST_P(SyncStore, CommittedDataSurvivesReopening) {
    {
        const auto store = storage_.Open();
        store->SetPage(kAccount, TSyncStore::TPage::Note, "<p>note</p>");
        store->SetPage(kAccount, TSyncStore::TPage::Template, "");
        store->SetDay(kAccount, kMonday, "<p>mon</p>", 100);
        store->Commit();
    }
    const auto store = storage_.Open();
    EXPECT_EQ(store->GetPage(kAccount, TSyncStore::TPage::Note), "<p>note</p>");
    EXPECT_EQ(store->GetPage(kAccount, TSyncStore::TPage::Template), "");  // held, though empty
    const auto day = store->GetDay(kAccount, kMonday);
    ASSERT_TRUE(day);
    EXPECT_EQ(day->Html, "<p>mon</p>");
    EXPECT_EQ(day->Timestamp, 100);
}

TEST_P(SyncStore, WritesAreInvisibleToOthersUntilCommitted) {
    const auto writer = storage_.Open();
    const auto reader = storage_.Open();
    writer->SetDay(kAccount, kMonday, "x", 1);
    EXPECT_TRUE(writer->HasPendingWrites());
    EXPECT_TRUE(writer->GetDay(kAccount, kMonday));  // the batch sees its own writes
    EXPECT_FALSE(reader->GetDay(kAccount, kMonday));
    writer->Commit();
    EXPECT_FALSE(writer->HasPendingWrites());
    EXPECT_TRUE(reader->GetDay(kAccount, kMonday));
}

TEST_P(SyncStore, RollbackDropsTheBatch) {
    const auto store = storage_.Open();
    store->SetDay(kAccount, kMonday, "kept", 1);
    store->Commit();
    store->SetDay(kAccount, kMonday, "dropped", 2);
    store->SetPage(kAccount, TSyncStore::TPage::Note, "dropped");
    store->Rollback();
    EXPECT_EQ(store->GetDay(kAccount, kMonday)->Html, "kept");
    EXPECT_FALSE(store->GetPage(kAccount, TSyncStore::TPage::Note));
}

TEST_P(SyncStore, OlderTimestampDoesNotOverwrite) {
    const auto store = storage_.Open();
    EXPECT_FALSE(store->SetDay(kAccount, kMonday, "new", 200));
    const auto newer = store->SetDay(kAccount, kMonday, "old", 100);
    ASSERT_TRUE(newer);
    EXPECT_EQ(newer->Html, "new");
    EXPECT_EQ(newer->Timestamp, 200);
    EXPECT_EQ(store->GetDay(kAccount, kMonday)->Html, "new");
    EXPECT_FALSE(store->SetDay(kAccount, kMonday, "same second", 200));  // equal: the later write wins
    EXPECT_EQ(store->GetDay(kAccount, kMonday)->Html, "same second");
}

TEST_P(SyncStore, RangeHoldsOnlyStoredDaysOfThatAccountInOrder) {
    const auto store = storage_.Open();
    store->SetDay(kAccount, AddDays(kMonday, 6), "sun", 1);
    store->SetDay(kAccount, kMonday, "mon", 1);
    store->SetDay(kAccount, AddDays(kMonday, 7), "next mon", 1);
    store->SetDay("other", AddDays(kMonday, 1), "other's tue", 1);
    const auto days = store->GetDays(kAccount, kMonday, AddDays(kMonday, 6));
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0].Html, "mon");
    EXPECT_EQ(days[1].Html, "sun");
}

TEST_P(SyncStore, ScanVisitsNewestFirstAndStopsWhenAsked) {
    const auto store = storage_.Open();
    for (int i = 0; i < 5; ++i) store->SetDay(kAccount, AddDays(kMonday, i), std::to_string(i), 1);
    std::string seen;
    store->ScanDays(kAccount, [&](const TSyncStore::TDay& day) {
        seen += day.Html;
        return seen.size() < 3;
    });
    EXPECT_EQ(seen, "432");
}

TEST(SqliteStore, UnopenableFileIsAnError) {
    const test::TTempDir dir;
    EXPECT_THROW(TSqliteStore(dir.File("missing/dir/sync.db")), TSyncStoreError);
}

}  // namespace
}  // namespace wl
