// Our client over TLS against our own sync service over TLS, with certificates made for the test:
// two devices doing the whole protocol, every certificate the client must refuse (with its own log
// line and nothing sent in clear), and each side meeting a peer that does not speak TLS.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "sync/PeerProcess.h"
#include "sync/RecordingRelay.h"
#include "sync/SyncDevice.h"
#include "sync/SyncTestUtil.h"
#include "sync/TestCertificates.h"

namespace wl {
namespace {

namespace fs = std::filesystem;
using test::Device;
using test::TTestCertificates;

class TlsSync : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        certs = new TTestCertificates();
        certs->Trust();  // the client's CA store is the test CA alone
    }
    static void TearDownTestSuite() {
        delete certs;
        certs = nullptr;
    }
    void SetUp() override {
        char dirTemplate[] = "/tmp/wl-synctls-XXXXXX";
        dir = mkdtemp(dirTemplate);
    }
    void TearDown() override {
        service.reset();
        fs::remove_all(dir);
    }
    // The service on a free port; with TLS when a certificate is given.
    void StartService(const TTestCertificates::TPair* tls) {
        std::vector<std::string> args = {WL_SYNC_SERVER_BIN, "--listen", "127.0.0.1:0", "--db",
                                         (dir / "sync.db").string()};
        if (tls) args.insert(args.end(), {"--tls-cert", tls->Cert, "--tls-key", tls->Key});
        service = std::make_unique<test::PeerProcess>(args, "weekleaf-sync: listening on ");
        ASSERT_GT(service->Port, 0);
    }

    static TTestCertificates* certs;
    fs::path dir;
    std::unique_ptr<test::PeerProcess> service;
};
TTestCertificates* TlsSync::certs = nullptr;

TEST_F(TlsSync, TwoDevicesDoTheWholeProtocol) {
    StartService(&certs->Good);
    // The app's way: nothing on the creating thread, the connection made by the retry worker,
    // which then asks for the week.
    Device a(dir / "a", service->Port, "tls key", true, TWLSocket::TOpen::Later);
    a.socket->ConnectInBackground();
    ASSERT_TRUE(test::WaitUntil([&] { return a.Logged("TWLSocket.FromServTextData | "); }))
        << a.log.Lines().back();
    Device b(dir / "b", service->Port, "tls key", true);
    ASSERT_TRUE(b.socket->ReConnect());
    ASSERT_TRUE(test::WaitUntil([&] { return b.Logged("TWLSocket.FromServTextData | "); }));

    const Date day = Today();
    b.socket->SetDay(day, "<b>Встреча</b> в 10:00");
    EXPECT_TRUE(test::WaitUntil([&] { return a.Stored(DateToStr(day)) == "<b>Встреча</b> в 10:00"; }));
    a.socket->SetNote(std::string(70000, 'n'));  // more than one TLS record
    EXPECT_TRUE(test::WaitUntil([&] { return b.Stored("note") == std::string(70000, 'n'); }));

    // A device coming late gets the week over TLS too.
    Device late(dir / "c", service->Port, "tls key", true);
    ASSERT_TRUE(late.socket->ReConnect());
    EXPECT_TRUE(test::WaitUntil([&] { return late.Stored(DateToStr(day)) == "<b>Встреча</b> в 10:00"; }));
}

struct TRefusal {
    const char* name;
    TTestCertificates::TPair TTestCertificates::*pair;
    const char* line;  // what the sync log says
};

class TlsRefusal : public TlsSync, public testing::WithParamInterface<TRefusal> {};

// The client goes through a relay that keeps what it sent: only the start of a TLS handshake, never
// the upgrade request or a request in clear, on the first attempt or on a retry.
TEST_P(TlsRefusal, IsAFailedConnectionWithItsOwnLogLine) {
    StartService(&(certs->*GetParam().pair));
    test::TRecordingRelay relay(service->Port);
    Device d(dir / "d", relay.Port(), "tls key", true, TWLSocket::TOpen::Later);
    d.socket->ConnectInBackground();
    const std::string line = std::string("Socket.ReConnect: ") + GetParam().line;
    ASSERT_TRUE(test::WaitUntil([&] { return d.Logged(line); })) << d.log.Lines().back();
    EXPECT_FALSE(d.socket->IsUpgraded());
    EXPECT_THROW(d.socket->GetCurrentWeek(), EWebSocketHandleError);
    EXPECT_FALSE(d.socket->ReConnect());
    EXPECT_EQ(relay.Connections(), 2);
    const std::string sent = relay.ClientBytes();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent.substr(0, 2), "\x16\x03");  // a TLS handshake record
    EXPECT_EQ(sent.find("GET "), std::string::npos);
    EXPECT_EQ(sent.find("tls key"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Certificates, TlsRefusal,
    testing::Values(TRefusal{"WrongHost", &TTestCertificates::WrongHost,
                             "TLS: the certificate is not for \"127.0.0.1\""},
                    TRefusal{"Expired", &TTestCertificates::Expired, "TLS: the certificate has expired"},
                    TRefusal{"SelfSigned", &TTestCertificates::SelfSigned,
                             "TLS: the certificate is self-signed and not trusted"},
                    TRefusal{"UnknownIssuer", &TTestCertificates::UnknownIssuer,
                             "TLS: the certificate's issuer is not trusted"}),
    [](const testing::TestParamInfo<TRefusal>& info) { return std::string(info.param.name); });

// A host name is looked up, sent for the service to pick its certificate, and checked against the
// certificate's names rather than its addresses.
TEST_F(TlsSync, AHostNameIsLookedUpAndChecked) {
    StartService(&certs->Good);
    Device named(dir / "n", service->Port, "tls key", true, TWLSocket::TOpen::Now, "localhost");
    EXPECT_TRUE(named.socket->ReConnect());
    EXPECT_TRUE(named.socket->IsUpgraded()) << named.log.Lines().back();
    StartService(&certs->WrongHost);
    Device refused(dir / "r", service->Port, "tls key", true, TWLSocket::TOpen::Now, "localhost");
    EXPECT_FALSE(refused.socket->ReConnect());
    EXPECT_TRUE(refused.Logged("TLS: the certificate is not for \"localhost\""))
        << refused.log.Lines().back();
}

TEST_F(TlsSync, APlainClientIsDroppedAndTheServiceGoesOn) {
    StartService(&certs->Good);
    Device plain(dir / "p", service->Port, "tls key", false, TWLSocket::TOpen::Later);
    plain.socket->ConnectInBackground();
    EXPECT_TRUE(test::WaitUntil([&] { return plain.Logged("Socket.ReConnect: "); }));
    EXPECT_FALSE(plain.socket->IsUpgraded());
    EXPECT_TRUE(service->WaitFor("weekleaf-sync: connection 1: TLS handshake failed: ", 5000));
    Device tls(dir / "t", service->Port, "tls key", true);
    EXPECT_TRUE(tls.socket->ReConnect());
    EXPECT_TRUE(tls.socket->IsUpgraded());
}

TEST_F(TlsSync, ATlsClientRefusesAPlainService) {
    StartService(nullptr);
    Device tls(dir / "t", service->Port, "tls key", true);
    EXPECT_FALSE(tls.socket->ReConnect());
    EXPECT_TRUE(tls.Logged("Socket.ReConnect: TLS handshake failed: ")) << tls.log.Lines().back();
    EXPECT_FALSE(tls.socket->IsUpgraded());
    Device plain(dir / "p", service->Port, "tls key");
    EXPECT_TRUE(plain.socket->ReConnect());
}

}  // namespace
}  // namespace wl
