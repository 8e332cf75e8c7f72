// The WebSocket client against peers nobody here wrote: a server of the python3-websockets
// library, and a byte-level python server for the handshake answers and broken frames.
#include <gtest/gtest.h>

#include <atomic>

#include "sync/HangingListener.h"
#include "sync/PeerProcess.h"
#include "sync/SyncTestUtil.h"
#include "sync/TWebsocketClient.h"

namespace wl {
namespace {

using test::PeerProcess;

std::string Base64Decode(const std::string& in) {
    static const std::string chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    uint32_t acc = 0;
    int bits = 0;
    for (char c : in) {
        auto pos = chars.find(c);
        if (pos == std::string::npos) break;
        acc = acc << 6 | uint32_t(pos);
        bits += 6;
        if (bits >= 8) out += char(acc >> (bits -= 8));
    }
    return out;
}

// A client whose events land in queues (declared after them: it goes first, with its events).
struct TestClient {
    explicit TestClient(int port) {
        client.Host = "127.0.0.1";
        client.Port = uint16_t(port);
        client.OnTextData = [this](const std::string& t) { texts.Push(t); };
        client.OnDisconnected = [this] { ++disconnects; };
    }
    test::WaitQueue<std::string> texts;
    std::atomic<int> disconnects{0};
    TWebsocketClient client;
};

class RawPeer : public testing::Test {
  protected:
    void SetUp() override {
        if (!test::HavePython()) GTEST_SKIP() << "python3 is not installed";
    }
};

class WsPeer : public testing::Test {
  protected:
    void SetUp() override {
        if (!test::HaveWebsockets()) GTEST_SKIP() << "python3-websockets is not installed";
    }
};

TEST_F(RawPeer, HandshakeRequestBytesAndFramesBehindTheResponse) {
    PeerProcess peer("raw_peer.py", "ok");
    ASSERT_GT(peer.Port, 0);
    TestClient t(peer.Port);
    t.client.Connect();
    ASSERT_TRUE(t.client.Connected());
    EXPECT_FALSE(t.client.IsUpgraded());  // Connect alone does no handshake
    t.client.UpgradeToWebsocket();
    EXPECT_TRUE(t.client.IsUpgraded());

    auto request = peer.WaitFor("REQUEST ");
    ASSERT_TRUE(request);
    std::string head = Base64Decode(request->substr(8));
    const std::string hostPort = "127.0.0.1:" + std::to_string(peer.Port);
    EXPECT_EQ(head.rfind("GET / HTTP/1.1\r\n", 0), 0u) << head;
    for (std::string line :
         {"Host: " + hostPort, std::string("Connection: Upgrade"), std::string("Upgrade:websocket"),
          std::string("Sec-WebSocket-Version: 13"), std::string("Cache-Control: no-cache"),
          std::string("Pragma: no-cache"), "Origin: http://" + hostPort}) {
        EXPECT_NE(head.find("\r\n" + line + "\r\n"), std::string::npos) << line << "\n" << head;
    }
    EXPECT_EQ(head.find("Sec-WebSocket-Extensions"), std::string::npos);
    EXPECT_EQ(head.find("Sec-WebSocket-Protocol"), std::string::npos);
    auto keyAt = head.find("Sec-WebSocket-Key: ");
    ASSERT_NE(keyAt, std::string::npos);
    std::string key = Base64Decode(head.substr(keyAt + 19, 24));
    ASSERT_EQ(key.size(), 16u);
    for (char c : key) EXPECT_TRUE(c >= ' ' && c <= '~') << int(c);
    EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n");

    // "hello" came in the same packet as the 101 answer.
    EXPECT_EQ(t.texts.Pop(), "hello");
    // The first ping goes out at the reader's first check after the handshake: masked, empty.
    auto ping = peer.WaitFor("FRAME 89");
    ASSERT_TRUE(ping);
    EXPECT_EQ(ping->substr(0, 13), "FRAME 89 80 0");
}

// Pings repeat once more than PingInterval whole seconds have passed (checks come after each wait
// of at most 5 s).
TEST_F(RawPeer, PingsRepeatAfterTheInterval) {
    PeerProcess peer("raw_peer.py", "ok");
    TestClient t(peer.Port);
    t.client.PingInterval = 1;
    t.client.UpgradeToWebsocket();
    ASSERT_TRUE(peer.WaitFor("FRAME 89"));
    auto first = std::chrono::steady_clock::now();
    ASSERT_TRUE(peer.WaitFor("FRAME 89", 15000));
    auto gap = std::chrono::steady_clock::now() - first;
    EXPECT_GE(gap, std::chrono::milliseconds(1900));
}

TEST_F(RawPeer, LengthCodesSeenByAnIndependentParser) {
    PeerProcess peer("raw_peer.py", "ok");
    TestClient t(peer.Port);
    t.client.UpgradeToWebsocket();
    struct Case {
        std::size_t size;
        const char* byte1;
    };
    for (Case c : {Case{125, "fd"}, Case{126, "fe"}, Case{65535, "fe"}, Case{65536, "ff"}}) {
        t.client.IOHandler().Write(std::string(c.size, 'z'));
        std::string prefix = "FRAME 81 " + std::string(c.byte1) + " " + std::to_string(c.size) + " ";
        auto frame = peer.WaitFor("FRAME 81");
        ASSERT_TRUE(frame) << c.size;
        EXPECT_EQ(frame->substr(0, prefix.size()), prefix);
    }
    // Cyrillic goes out as UTF-8, one frame with FIN, nothing appended.
    t.client.IOHandler().Write("Заметки");
    auto frame = peer.WaitFor("FRAME 81");
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->substr(0, 15), "FRAME 81 8e 14 ");
    EXPECT_EQ(frame->substr(frame->rfind(' ') + 1), "0JfQsNC80LXRgtC60Lg=");
}

struct FailureCase {
    const char* mode;
    std::string error;  // empty: the handshake succeeds
};

class HandshakeAnswer : public RawPeer, public testing::WithParamInterface<FailureCase> {};

TEST_P(HandshakeAnswer, AcceptedOrRefusedWithItsText) {
    PeerProcess peer("raw_peer.py", GetParam().mode);
    TestClient t(peer.Port);
    std::string error;
    try {
        t.client.UpgradeToWebsocket();
    } catch (const EWebSocketHandleError& e) {
        error = e.what();
    }
    EXPECT_EQ(error, GetParam().error);
    EXPECT_EQ(t.client.IsUpgraded(), error.empty());
    // A refused handshake leaves no half-open connection behind, so the reconnect path runs.
    EXPECT_EQ(t.client.Connected(), error.empty());
    EXPECT_EQ(t.client.TryUpgradeToWebsocket(), error.empty());
}

INSTANTIATE_TEST_SUITE_P(Answers, HandshakeAnswer,
                         testing::Values(FailureCase{"ok", ""}, FailureCase{"upper", ""},
                                         FailureCase{"status200",
                                                     "Error while upgrading: \"200: HTTP/1.1 200 OK\""},
                                         FailureCase{"badconn", "Connection not upgraded: \"keep-alive\""},
                                         FailureCase{"badupgrade", "Not upgraded to websocket: \"h2c\""},
                                         FailureCase{"badkey", "Invalid key handshake"}),
                         [](const auto& info) { return std::string(info.param.mode); });

struct BrokenCase {
    const char* mode;
    bool helloDelivered;  // the whole message before the fault still arrives
};

class BrokenServerFrame : public RawPeer, public testing::WithParamInterface<BrokenCase> {};

TEST_P(BrokenServerFrame, ResetsTheConnection) {
    PeerProcess peer("raw_peer.py", GetParam().mode);
    TestClient t(peer.Port);
    t.client.UpgradeToWebsocket();
    ASSERT_TRUE(test::WaitUntil([&] { return t.disconnects.load() == 1; }));
    EXPECT_FALSE(t.client.Connected());
    EXPECT_FALSE(t.client.IsUpgraded());
    EXPECT_TRUE(peer.WaitFor("EOF"));
    if (GetParam().helloDelivered) {
        EXPECT_EQ(t.texts.Pop(), "hello");
    } else {
        EXPECT_FALSE(t.texts.Pop(200));
    }
    // Sends fail with an error to the caller now.
    EXPECT_THROW(t.client.IOHandler().Write("x"), EWebSocketHandleError);
}

INSTANTIATE_TEST_SUITE_P(Frames, BrokenServerFrame,
                         testing::Values(BrokenCase{"masked", false}, BrokenCase{"badopcode", false},
                                         BrokenCase{"dropafter", true}),
                         [](const auto& info) { return std::string(info.param.mode); });

TEST(Connect, RefusedPortRaisesAndStaysClosed) {
    // Bind and close a socket to find a port nobody listens on.
    TWebsocketClient client;
    client.Host = "127.0.0.1";
    client.Port = 1;  // privileged and unused in the test environment
    EXPECT_THROW(client.Connect(), EWebSocketHandleError);
    EXPECT_FALSE(client.Connected());
    EXPECT_FALSE(client.TryUpgradeToWebsocket());
    client.Host = "not an address";
    try {
        client.Connect();
        FAIL();
    } catch (const EWebSocketHandleError& e) {
        EXPECT_STREQ(e.what(), "Invalid host address: \"not an address\"");
    }
}

// Connecting in the background: the caller (the UI thread in the app) goes on at once whatever
// the service does, sends fail at once while the attempt runs, and the outcome is reported.
TEST(BackgroundConnect, AServiceThatDoesNotAnswerNeverHoldsTheCallerUp) {
    using Clock = std::chrono::steady_clock;
    using namespace std::chrono_literals;
    struct Case {
        const char* name;
        test::HangingListener::Hang hang;
        const char* failure;
    };
    for (const Case c :
         {Case{"connect hangs", test::HangingListener::Hang::Connect, "timed out"},
          Case{"handshake unanswered", test::HangingListener::Hang::Handshake, "Read timed out."}}) {
        SCOPED_TRACE(c.name);
        test::HangingListener service(c.hang);
        if (!service.Hangs) GTEST_SKIP() << "the kernel completes connects to a full accept queue";
        test::WaitQueue<std::string> failures;
        std::atomic<int> reconnected{0};
        auto client = std::make_unique<TWebsocketClient>();
        client->Host = "127.0.0.1";
        client->Port = service.Port;
        client->ConnectTimeout = 1000;
        client->OnConnectFailed = [&](const std::string& why) { failures.Push(why); };
        client->OnReconnected = [&] { ++reconnected; };

        auto t0 = Clock::now();
        client->ConnectInBackground();
        client->ConnectInBackground();  // asked again while the first attempt runs: no second one
        EXPECT_LT(Clock::now() - t0, 200ms);
        std::this_thread::sleep_for(100ms);  // the attempt now holds the connection
        t0 = Clock::now();
        EXPECT_FALSE(client->IsUpgraded());
        EXPECT_THROW(client->IOHandler().Write("x"), EWebSocketHandleError);
        EXPECT_LT(Clock::now() - t0, 200ms);

        auto why = failures.Pop(8000);
        ASSERT_TRUE(why);
        EXPECT_NE(why->find(c.failure), std::string::npos) << *why;
        EXPECT_FALSE(failures.Pop(300));
        EXPECT_EQ(reconnected, 0);

        // Ending the client does not wait for an attempt that hangs.
        client->ConnectInBackground();
        std::this_thread::sleep_for(100ms);
        t0 = Clock::now();
        client.reset();
        EXPECT_LT(Clock::now() - t0, 500ms);
    }
}

TEST_F(RawPeer, ABackgroundConnectUpgradesAndReportsIt) {
    PeerProcess peer("raw_peer.py", "ok");
    ASSERT_GT(peer.Port, 0);
    TestClient t(peer.Port);
    std::atomic<int> reconnected{0};
    std::atomic<int> failed{0};
    t.client.OnReconnected = [&] { ++reconnected; };
    t.client.OnConnectFailed = [&](const std::string&) { ++failed; };
    t.client.ConnectInBackground();
    ASSERT_TRUE(test::WaitUntil([&] { return reconnected == 1; }, 5000));
    EXPECT_TRUE(t.client.IsUpgraded());
    EXPECT_EQ(t.texts.Pop(), "hello");
    t.client.ConnectInBackground();  // already up: nothing happens
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(reconnected, 1);
    EXPECT_EQ(failed, 0);
}

TEST_F(WsPeer, EchoAcrossTheLengthCodes) {
    PeerProcess peer("ws_peer.py", "echo");
    ASSERT_GT(peer.Port, 0);
    TestClient t(peer.Port);
    t.client.UpgradeToWebsocket();
    for (std::size_t n : {1u, 125u, 126u, 65535u, 65536u, 300000u}) {
        std::string text(n, 'a');
        for (std::size_t i = 0; i < n; i += 7) text[i] = char('a' + i % 26);
        t.client.IOHandler().Write(text);
        auto echo = t.texts.Pop();
        ASSERT_TRUE(echo) << n;
        EXPECT_EQ(*echo, text) << n;
        EXPECT_EQ(peer.WaitFor("RECV "), "RECV " + std::to_string(n));
    }
    t.client.IOHandler().Write("Привет, мир");
    EXPECT_EQ(t.texts.Pop(), "Привет, мир");
}

TEST_F(WsPeer, PingAbcIsAnsweredWithPongAbc) {
    PeerProcess peer("ws_peer.py", "ping");
    TestClient t(peer.Port);
    t.client.UpgradeToWebsocket();
    EXPECT_TRUE(peer.WaitFor("PONG"));
    EXPECT_EQ(t.texts.Pop(), "pong seen");
}

TEST_F(WsPeer, FragmentedMessageIsAssembled) {
    PeerProcess peer("ws_peer.py", "fragments");
    TestClient t(peer.Port);
    t.client.UpgradeToWebsocket();
    EXPECT_EQ(t.texts.Pop(), "Привет");
    EXPECT_EQ(t.texts.Pop(), "after");
}

TEST_F(WsPeer, Close1001IsAnsweredWith1000AndTheSocketCloses) {
    PeerProcess peer("ws_peer.py", "close1001");
    TestClient t(peer.Port);
    t.client.UpgradeToWebsocket();
    EXPECT_EQ(peer.WaitFor("CLOSED"), "CLOSED 1000");
    ASSERT_TRUE(test::WaitUntil([&] { return !t.client.Connected(); }));
    EXPECT_EQ(t.client.IOHandler().CloseCode, 1001);
    EXPECT_EQ(t.client.IOHandler().CloseReason, "going away");
    EXPECT_EQ(t.disconnects.load(), 0);  // the handler closed the socket itself
    // Reconnecting works on the same client.
    t.client.Connect();
    t.client.UpgradeToWebsocket();
    t.client.IOHandler().Write("again");
    EXPECT_EQ(peer.WaitFor("MSG"), "MSG again");
}

TEST_F(WsPeer, ProgramDisconnectSendsCloseAndWaitsForTheAnswer) {
    PeerProcess peer("ws_peer.py", "echo");
    TestClient t(peer.Port);
    t.client.UpgradeToWebsocket();
    t.client.IOHandler().CloseCode = 1001;
    t.client.IOHandler().CloseReason = "bye";
    t.client.Disconnect(true);
    EXPECT_FALSE(t.client.Connected());
    EXPECT_EQ(t.disconnects.load(), 1);
}

}  // namespace
}  // namespace wl
