// The service on loopback sockets: the client's handshake bytes, fan-out, limits and shutdown.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <boost/asio/post.hpp>
#include <future>
#include <set>
#include <thread>

#include "ClientRequests.h"
#include "KeyHash.h"
#include "RawSocket.h"
#include "ServerLog.h"
#include "TSyncServer.h"
#include "TestClient.h"
#include "TestStorage.h"

namespace wl {
namespace {

using namespace std::chrono_literals;
using test::GetDayRequest;
using test::GetRequest;
using test::SetDayRequest;
using test::TRawSocket;
using test::TTestClient;

std::string ExpectedAccept(const std::string& key) {
    const std::string source = key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(source.data()), source.size(), digest);
    unsigned char encoded[64] = {};
    EVP_EncodeBlock(encoded, digest, SHA_DIGEST_LENGTH);
    return reinterpret_cast<char*>(encoded);
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

class SyncServerTest : public testing::TestWithParam<test::TStorageKind> {
  protected:
    SyncServerTest() { SetServerLogEnabled(false); }
    ~SyncServerTest() override {
        StopServer();
        SetServerLogEnabled(true);
    }

    void StartServer(TServerOptions options = {}) {
        options.Host = "127.0.0.1";
        options.Port = 0;
        io_ = std::make_unique<boost::asio::io_context>(1);
        store_ = storage_.Open();
        service_ = std::make_unique<TSyncService>(*store_);
        server_ = std::make_unique<TSyncServer>(*io_, *service_, options);
        port_ = server_->Listen().port();
        thread_ = std::thread([this] { io_->run(); });
    }

    // Shuts the service down as SIGTERM does and waits until its thread has finished.
    void StopServer() {
        if (!thread_.joinable()) return;
        boost::asio::post(*io_, [this] { server_->Shutdown(300ms); });
        thread_.join();
        server_.reset();
        service_.reset();
        store_.reset();
        io_.reset();
    }

    std::size_t SessionCount() {
        std::promise<std::size_t> count;
        boost::asio::post(*io_, [&] { count.set_value(server_->SessionCount()); });
        return count.get_future().get();
    }

    test::TTestStorage storage_{GetParam()};
    std::unique_ptr<boost::asio::io_context> io_;
    std::unique_ptr<TSyncStore> store_;
    std::unique_ptr<TSyncService> service_;
    std::unique_ptr<TSyncServer> server_;
    std::thread thread_;
    std::uint16_t port_ = 0;
};

INSTANTIATE_TEST_SUITE_P(Storages, SyncServerTest, test::AllStorages(), test::StorageName);

TEST_P(SyncServerTest, DesktopClientHandshakeAndFramesAreUnderstood) {
    StartServer();
    TRawSocket raw(port_);
    ASSERT_TRUE(raw.Connected());
    std::string head, key;
    ASSERT_TRUE(raw.Handshake(port_, &head, &key)) << head;
    const std::string lower = Lower(head);
    EXPECT_NE(lower.find("\r\nconnection: upgrade\r\n"), std::string::npos) << head;
    EXPECT_NE(lower.find("\r\nupgrade: websocket\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("Sec-WebSocket-Accept: " + ExpectedAccept(key) + "\r\n"), std::string::npos) << head;

    raw.WriteMaskedText(GetDayRequest("k1", "05.01.2021"));
    const std::string header = raw.ReadExactly(2);
    ASSERT_EQ(header.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(header[0]), 0x81);      // FIN, text
    EXPECT_EQ(static_cast<unsigned char>(header[1]) & 0x80, 0);  // never masked
    const std::string payload = raw.ReadExactly(static_cast<unsigned char>(header[1]) & 0x7f);
    EXPECT_EQ(payload, R"({"ACTION":"STATUS","STATUS":7,"REQUEST":"GET_DAY","DAY":"05.01.2021"})");
}

TEST_P(SyncServerTest, EditReachesTheKeysOtherConnectionNotTheSenderNorOtherKeys) {
    StartServer();
    TTestClient a(port_), b(port_), c(port_);
    a.Send(GetRequest("GET_CURRENT_WEEK", "k1"));
    b.Send(GetRequest("GET_CURRENT_WEEK", "k1"));
    c.Send(GetRequest("GET_CURRENT_WEEK", "k2"));
    for (TTestClient* client : {&a, &b, &c}) ASSERT_TRUE(client->Receive());

    a.Send(SetDayRequest("k1", "05.01.2021", "<p>вторник</p>", 1609840000));
    EXPECT_EQ(b.Receive(),
              R"({"ACTION":"UPDATE_DAY","05.01.2021":"<p>\u0432\u0442\u043e\u0440\u043d\u0438\u043a</p>",)"
              R"("timestamp":"1609840000"})");
    EXPECT_FALSE(a.Receive(200ms));
    EXPECT_FALSE(c.Receive(200ms));
}

TEST_P(SyncServerTest, PingIsAnsweredWithItsPayload) {
    StartServer();
    TTestClient client(port_);
    client.Ping("abc");
    ASSERT_TRUE(client.RunUntilPong(3s));
    EXPECT_EQ(client.Pongs().front(), "abc");
}

TEST_P(SyncServerTest, OversizedMessageClosesOnlyThatConnection) {
    TServerOptions options;
    options.MaxMessageBytes = 1024;
    StartServer(options);
    TTestClient big(port_);
    big.Send(test::SetNoteRequest("k1", std::string(4096, 'x')));
    ASSERT_TRUE(big.WaitClosed(3s));
    EXPECT_EQ(big.CloseReason().code, boost::beast::websocket::close_code::too_big);

    TTestClient next(port_);
    next.Send(GetRequest("GET_NOTE", "k1"));
    EXPECT_EQ(next.Receive(),
              R"({"ACTION":"STATUS","STATUS":7,"REQUEST":"GET_NOTE"})");  // nothing was stored
}

TEST_P(SyncServerTest, SilentConnectionIsClosedAfterTheIdleTimeout) {
    TServerOptions options;
    options.IdleTimeout = 2s;
    StartServer(options);
    TRawSocket raw(port_);
    ASSERT_TRUE(raw.Handshake(port_));
    const auto start = std::chrono::steady_clock::now();
    bool sawPing = false;
    for (std::string bytes = raw.Read(64); !bytes.empty(); bytes = raw.Read(64))
        sawPing = sawPing || static_cast<unsigned char>(bytes[0]) == 0x89;
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(sawPing);  // asked first whether the peer is still there
    EXPECT_GE(waited, 1s);
    EXPECT_LT(waited, 5s);
}

TEST_P(SyncServerTest, ConnectionThatNeverReadsIsDroppedAndOthersGoOn) {
    TServerOptions options;
    options.MaxMessageBytes = 64 * 1024;
    options.MaxQueueBytes = 128 * 1024;
    StartServer(options);
    TRawSocket stuck(port_, 4096);
    ASSERT_TRUE(stuck.Handshake(port_));
    stuck.WriteMaskedText(GetRequest("GET_NOTE", "k1"));
    TTestClient writer(port_);
    writer.Send(GetRequest("GET_NOTE", "k1"));
    ASSERT_TRUE(writer.Receive());
    ASSERT_EQ(SessionCount(), 2u);

    const std::string html(32 * 1024, 'h');
    for (int i = 0; i < 400 && SessionCount() == 2; ++i)
        writer.Send(SetDayRequest("k1", "05.01.2021", html, 1));
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (SessionCount() == 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(SessionCount(), 1u);
    writer.Send(GetDayRequest("k1", "05.01.2021"));
    const auto answer = writer.Receive();
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->starts_with(R"({"ACTION":"RES_GET_DAY","05.01.2021":"hhh)"));
}

// A search that finds nothing answers a few bytes but reads the whole account: a connection that
// sends hundreds of them at once gets a few handled per batch, like a flood of reads, and another
// connection's write is handled while most of them still wait. The searcher sees where: the write's
// push comes in among its answers in the order the service handled them.
TEST_P(SyncServerTest, ManySearchesOfOneConnectionDoNotHoldUpAnother) {
    StartServer();
    TTestClient writer(port_);
    const Date first = MakeDate(2021, 1, 1);
    for (int i = 0; i < 250; ++i)
        writer.Send(SetDayRequest("big", DateToStr(AddDays(first, i)),
                                  "<div>" + std::string(2000, 'w') + "</div>", 1609840000));
    writer.Send(GetRequest("GET_NOTE", "big"));
    ASSERT_TRUE(writer.Receive(10s));  // answered after the writes

    TRawSocket searcher(port_);
    ASSERT_TRUE(searcher.Handshake(port_));
    const std::string search = test::SearchRequest("big", "nowhere");
    searcher.WriteMaskedText(search);  // joins the account
    ASSERT_EQ(searcher.SkipFrame(), 1);
    constexpr int kSearches = 300;
    std::string burst;
    for (int i = 0; i < kSearches; ++i) burst += test::MaskedTextFrame(search);
    searcher.Write(burst);
    std::this_thread::sleep_for(20ms);
    writer.Send(SetDayRequest("big", "01.01.2030", "marker", 1609840000));

    int answersBeforePush = -1, answers = 0;
    for (std::string payload; answers < kSearches || answersBeforePush < 0; payload.clear()) {
        if (searcher.SkipFrame(&payload) != 1) break;
        if (payload.find("marker") != std::string::npos)
            answersBeforePush = answers;
        else
            ++answers;
    }
    EXPECT_EQ(answers, kSearches);
    ASSERT_GE(answersBeforePush, 0) << "no push of the other connection's write";
    EXPECT_LT(answersBeforePush, kSearches / 2) << "the write waited for most of the searches";
}

TEST_P(SyncServerTest, ReadingPausedForTheStoreResumesAndLosesNothing) {
    TServerOptions options;
    options.MaxPendingBytes = 1;  // every message pauses its connection until the next batch is done
    StartServer(options);
    TTestClient writer(port_), reader(port_);
    writer.Send(GetRequest("GET_NOTE", "k1"));
    reader.Send(GetRequest("GET_NOTE", "k1"));
    ASSERT_TRUE(writer.Receive());
    ASSERT_TRUE(reader.Receive());
    const Date first = MakeDate(2021, 1, 1);
    for (int i = 0; i < 300; ++i)
        writer.Send(SetDayRequest("k1", DateToStr(AddDays(first, i)), "x", 1609840000));
    int pushed = 0;
    while (pushed < 300 && reader.Receive()) ++pushed;
    EXPECT_EQ(pushed, 300);
}

TEST_P(SyncServerTest, ShutdownLosesNothingThatWasPushed) {
    StartServer();
    TTestClient writer(port_), reader(port_);
    writer.Send(GetRequest("GET_NOTE", "k1"));
    reader.Send(GetRequest("GET_NOTE", "k1"));
    ASSERT_TRUE(writer.Receive());
    ASSERT_TRUE(reader.Receive());

    const Date first = MakeDate(2021, 1, 1);
    for (int i = 0; i < 2000; ++i)
        writer.Send(SetDayRequest("k1", DateToStr(AddDays(first, i)), "v" + std::to_string(i), 1609840000));
    std::map<std::string, std::string> pushed;  // day -> html
    auto record = [&](const std::string& text) {
        const JsonValue message = ParseJson(text);
        if (message.GetString("ACTION") == "UPDATE_DAY")
            pushed[message.Members()[1].first] = message.Members()[1].second.AsString();
    };
    while (pushed.size() < 100) {
        const auto text = reader.Receive();
        ASSERT_TRUE(text);
        record(*text);
    }
    boost::asio::post(*io_, [this] { server_->Shutdown(2s); });
    while (const auto text = reader.Receive()) record(*text);
    EXPECT_TRUE(reader.WaitClosed(3s));
    EXPECT_EQ(reader.CloseReason().code, boost::beast::websocket::close_code::going_away);
    StopServer();

    const auto reopened = storage_.Open();
    const std::string account = HashAccountKey("k1");
    for (const auto& [day, html] : pushed) {
        const auto stored = reopened->GetDay(account, *StrToDate(day));
        ASSERT_TRUE(stored) << day;
        EXPECT_EQ(stored->Html, html);
    }
}

}  // namespace
}  // namespace wl
