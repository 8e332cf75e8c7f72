// The checkpointer's thread and connection beside a writing store.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "TSqliteStore.h"
#include "TWalCheckpointer.h"
#include "TempDir.h"

namespace wl {
namespace {

TEST(WalCheckpointer, CopiesTheLogBesideTheWriter) {
    test::TTempDir dir;
    const std::string path = dir.File("sync.db");
    const std::string account = "a1";
    const Date monday = MakeDate(2021, 1, 4);
    TSqliteStore store(path);
    store.LeaveCheckpointsToOthers();
    const std::string html(1000, 'h');
    for (int i = 0; i < 500; ++i) store.SetDay(account, AddDays(monday, i), html, 1);
    store.Commit();
    // Committed into the log only: the database file itself still holds little more than the schema.
    EXPECT_LT(std::filesystem::file_size(path), 100'000u);
    TWalCheckpointer checkpointer(path, std::chrono::milliseconds(10));
    for (int i = 0; i < 500 && checkpointer.Runs() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GT(std::filesystem::file_size(path), 500'000u);
    // The writer goes on committing while checkpoints run.
    for (int i = 500; i < 700; ++i) {
        store.SetDay(account, AddDays(monday, i), html, 1);
        store.Commit();
    }
    EXPECT_EQ(store.GetDays(account, monday, AddDays(monday, 699)).size(), 700u);
}

}  // namespace
}  // namespace wl
