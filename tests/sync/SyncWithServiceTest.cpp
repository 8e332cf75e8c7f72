// Our client and our sync service together: two devices on one key, each with its own note store
// on its own thread; an edit on one reaches the other's store.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "data/TWeekleaf.h"
#include "sync/PeerProcess.h"
#include "sync/SyncDevice.h"
#include "sync/SyncTestUtil.h"
#include "sync/TWLSocket.h"

namespace wl {
namespace {

namespace fs = std::filesystem;
using test::Device;

class SyncWithService : public testing::Test {
  protected:
    void SetUp() override {
        char dirTemplate[] = "/tmp/wl-syncsvc-XXXXXX";
        dir = mkdtemp(dirTemplate);
        service = std::make_unique<test::PeerProcess>(
            std::vector<std::string>{WL_SYNC_SERVER_BIN, "--listen", "127.0.0.1:0", "--db",
                                     (dir / "sync.db").string()},
            "weekleaf-sync: listening on ");
        ASSERT_GT(service->Port, 0);
    }
    void TearDown() override {
        service.reset();
        fs::remove_all(dir);
    }
    fs::path dir;
    std::unique_ptr<test::PeerProcess> service;
};

TEST_F(SyncWithService, AnEditOnOneDeviceReachesTheOthersStore) {
    Device a(dir / "a", service->Port, "shared key"), b(dir / "b", service->Port, "shared key");
    Device stranger(dir / "c", service->Port, "other key");
    for (Device* d : {&a, &b, &stranger}) ASSERT_TRUE(d->socket->ReConnect());

    const Date day = Today();
    const std::string key = DateToStr(day);
    // The service learns a connection's key from its first request (the reconnect's
    // GET_CURRENT_WEEK); its answer shows the device is known.
    auto answered = [](Device& d) { return d.Logged("TWLSocket.FromServTextData | "); };
    ASSERT_TRUE(test::WaitUntil([&] { return answered(b) && answered(stranger); }));

    a.socket->SetDay(day, "<b>Встреча</b> в 10:00");
    EXPECT_TRUE(test::WaitUntil([&] { return b.Stored(key) == "<b>Встреча</b> в 10:00"; }));
    a.socket->SetNote("<p>Заметки</p>");
    EXPECT_TRUE(test::WaitUntil([&] { return b.Stored("note") == "<p>Заметки</p>"; }));
    // Saved by b, the sender's own store untouched by any echo, the other key unaffected.
    EXPECT_EQ(TWeekleaf(dir / "b" / "Data.json").Get(key), "<b>Встреча</b> в 10:00");
    EXPECT_EQ(a.Stored(key), "");
    EXPECT_EQ(stranger.Stored(key), "");
    EXPECT_EQ(stranger.Stored("note"), "");

    // A device coming late gets the week from the service.
    Device late(dir / "d", service->Port, "shared key");
    ASSERT_TRUE(late.socket->ReConnect());  // sends GET_CURRENT_WEEK
    EXPECT_TRUE(test::WaitUntil([&] { return late.Stored(key) == "<b>Встреча</b> в 10:00"; }));
    EXPECT_TRUE(test::WaitUntil([&] { return late.Stored("note") == "<p>Заметки</p>"; }));
}

}  // namespace
}  // namespace wl
