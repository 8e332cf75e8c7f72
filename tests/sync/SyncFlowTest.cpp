// The sync client end to end against a python3-websockets service, with the note store owned by
// its own thread as the main thread owns it in the app.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "data/TWeekleaf.h"
#include "sync/PeerProcess.h"
#include "sync/SyncTestUtil.h"
#include "sync/TWLSocket.h"

namespace wl {
namespace {

namespace fs = std::filesystem;
using test::PeerProcess;

struct RecordedEvents : TSyncEvents {
    void NotePreviewChanged(const std::string& text) override { previews.push_back(text); }
    std::vector<std::string> previews;  // touched on the store's thread only
};

class SyncFlow : public testing::Test {
  protected:
    void SetUp() override {
        if (!test::HaveWebsockets()) GTEST_SKIP() << "python3-websockets is not installed";
        char dirTemplate[] = "/tmp/wl-syncflow-XXXXXX";
        dir = mkdtemp(dirTemplate);
        std::ofstream(dir / "Data.json", std::ios::binary) << R"({"ver":"HTML","note":"","template":""})"
                                                           << "\r\n";
        store = std::make_unique<TWeekleaf>(dir / "Data.json");
    }
    void TearDown() override {
        socket.reset();
        if (!dir.empty()) fs::remove_all(dir);
    }
    void Start(const std::string& script, const std::string& mode) {
        peer = std::make_unique<PeerProcess>(script, mode);
        ASSERT_GT(peer->Port, 0);
        socket = std::make_unique<TWLSocket>(
            *store, [] { return std::string("k1"); }, owner.Executor(), log, &events, "127.0.0.1",
            uint16_t(peer->Port));
    }
    std::string Stored(const std::string& key) {
        return owner.Call([&] { return store->Get(key); });
    }
    bool Logged(const std::string& message) {
        auto lines = log.Lines();
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.find(": " + message) != std::string::npos; });
    }

    fs::path dir;
    std::unique_ptr<TWeekleaf> store;
    TSyncLogMemo log;
    RecordedEvents events;
    test::OwnerThread owner;
    std::unique_ptr<PeerProcess> peer;
    std::unique_ptr<TWLSocket> socket;  // last: goes first
};

const char* kGetCurrentWeek = R"(MSG {"ACTION": "GET_CURRENT_WEEK","KEY"   : "k1"})";

TEST_F(SyncFlow, WeekReplyAndPushesLandInTheStoreOnItsThread) {
    Start("ws_peer.py", "week");
    EXPECT_TRUE(Logged("Socket.Create: Connected"));
    socket->UpgradeToWebsocket();
    socket->GetCurrentWeek();
    EXPECT_EQ(peer->WaitFor("MSG"), kGetCurrentWeek);
    ASSERT_TRUE(test::WaitUntil([&] { return Stored("05.01.2021") == "Вт"; }));
    EXPECT_EQ(Stored("04.01.2021"), "<b>Пн</b>");
    EXPECT_EQ(Stored("note"), "<p>Заметки &amp; план</p>");
    EXPECT_EQ(Stored("template"), "<p>Шаблон</p>");
    EXPECT_EQ(owner.Call([&] { return events.previews; }), std::vector<std::string>{"Заметки & план"});
    EXPECT_EQ(TWeekleaf(dir / "Data.json").Get("05.01.2021"), "Вт");

    socket->SetDay(MakeDate(2021, 1, 6), "набрано");
    auto sent = peer->WaitFor("MSG");
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->rfind(R"(MSG {"ACTION":"SET_DAY","KEY":"k1","06.01.2021":"\u043d)", 0), 0u) << *sent;
    EXPECT_TRUE(test::WaitUntil([&] { return Stored("06.01.2021") == "pushed: набрано"; }));
}

TEST_F(SyncFlow, CloseFromTheServiceThenReconnectAsksForTheWeek) {
    Start("ws_peer.py", "close1001");
    socket->UpgradeToWebsocket();
    EXPECT_EQ(peer->WaitFor("CLOSED"), "CLOSED 1000");
    ASSERT_TRUE(test::WaitUntil([&] { return !socket->Connected(); }));
    // The post timer's next tick.
    EXPECT_TRUE(socket->ReConnect());
    EXPECT_TRUE(Logged("Socket.ReConnect: CONNECTED <-----<<<"));
    EXPECT_EQ(peer->WaitFor("MSG"), kGetCurrentWeek);
}

// A connection the retry worker brings back asks for the week as well (the post timer then finds
// the client connected and would not).
TEST_F(SyncFlow, RetryWorkerReconnectAsksForTheWeek) {
    Start("ws_peer.py", "close1001");
    socket->UpgradeToWebsocket();
    EXPECT_EQ(peer->WaitFor("CLOSED"), "CLOSED 1000");
    EXPECT_EQ(peer->WaitFor("MSG", 30000), kGetCurrentWeek);
    EXPECT_TRUE(socket->IsUpgraded());
}

TEST_F(SyncFlow, ResetByABrokenFrameIsLogged) {
    if (!test::HavePython()) GTEST_SKIP();
    Start("raw_peer.py", "masked");
    socket->UpgradeToWebsocket();
    EXPECT_TRUE(
        test::WaitUntil([&] { return Logged("TWLSocket.DisconnectEvent | @@@@@@@@@@@@@@@@ <-----<<<< "); }));
    EXPECT_FALSE(socket->Connected());
}

}  // namespace
}  // namespace wl
