// The weekleaf-sync program against a client nobody here wrote: python3-websockets drives each
// scenario of peer_client.py. Skipped when no python3 with websockets is installed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CommandRun.h"
#include "ServerProcess.h"
#include "TestStorage.h"
#include "sync/TestCertificates.h"

namespace wl {
namespace {

using test::TServerProcess;

// The "oversized" scenario sends a message well past this.
const std::vector<std::string> kServerArgs = {"--max-message", "65536"};

std::string FindPython() {
    for (const std::string candidate : {"/usr/bin/python3", "python3"})
        if (std::system((candidate + " -c 'import websockets' >/dev/null 2>&1").c_str()) == 0)
            return candidate;
    return "";
}

using TPeerRun = test::TCommandRun;

// Over TLS when caFile is given (the peer trusts that CA only).
TPeerRun RunPeer(const std::string& python, int port, const std::string& scenario,
                 const std::string& caFile = "") {
    const std::string command = "timeout 30 " + python + " " WL_PEER_SCRIPT " 127.0.0.1 " +
                                std::to_string(port) + " " + scenario + " " + caFile + " 2>&1";
    return test::RunCommand(command);
}

template <typename TParam>
class PeerClientOf : public testing::TestWithParam<TParam> {
  protected:
    void SetUp() override {
        python_ = FindPython();
        if (python_.empty()) GTEST_SKIP() << "python3 with the websockets module is not installed";
    }
    std::string python_;
};

class PeerClient : public PeerClientOf<test::TStorageKind> {
  protected:
    test::TTestStorage storage_{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Storages, PeerClient, test::AllStorages(), test::StorageName);

class PeerScenario : public PeerClientOf<std::tuple<const char*, test::TStorageKind>> {
  protected:
    test::TTestStorage storage_{std::get<1>(GetParam())};
};

TEST_P(PeerScenario, Holds) {
    TServerProcess server(WL_SYNC_SERVER_BIN, storage_.Db(), kServerArgs);
    ASSERT_NE(server.Port(), 0) << "weekleaf-sync did not report its port";
    const TPeerRun run = RunPeer(python_, server.Port(), std::get<0>(GetParam()));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(server.Stop(), 0);
}

// handshake: the peer's handshake and ping; fanout: a SET_DAY reaches the key's other connection only;
// older: an older edit is refused and answered with the newer text; emptykey: STATUS 3;
// oversized: close 1009 and nothing stored; unknownday: a status, never an empty day.
INSTANTIATE_TEST_SUITE_P(Python, PeerScenario,
                         testing::Combine(testing::Values("handshake", "fanout", "older", "emptykey",
                                                          "oversized", "unknownday"),
                                          test::AllStorages()),
                         [](const testing::TestParamInfo<std::tuple<const char*, test::TStorageKind>>& info) {
                             return std::string(std::get<0>(info.param)) + "_" +
                                    test::KindName(std::get<1>(info.param));
                         });

TEST_P(PeerClient, DataSurvivesARestart) {
    const std::string& db = storage_.Db();
    {
        TServerProcess server(WL_SYNC_SERVER_BIN, db, kServerArgs);
        ASSERT_NE(server.Port(), 0);
        const TPeerRun write = RunPeer(python_, server.Port(), "persist-write");
        ASSERT_EQ(write.status, 0) << write.output;
        ASSERT_EQ(server.Stop(), 0);
    }
    TServerProcess server(WL_SYNC_SERVER_BIN, db, kServerArgs);
    ASSERT_NE(server.Port(), 0);
    const TPeerRun read = RunPeer(python_, server.Port(), "persist-read");
    EXPECT_EQ(read.status, 0) << read.output;
}

// The same client over TLS: the service's certificate checked by python's own TLS stack.
TEST_P(PeerClient, ScenariosHoldOverTls) {
    const test::TTestCertificates certs;
    std::vector<std::string> args = kServerArgs;
    args.insert(args.end(), {"--tls-cert", certs.Good.Cert, "--tls-key", certs.Good.Key});
    TServerProcess server(WL_SYNC_SERVER_BIN, storage_.Db(), args);
    ASSERT_NE(server.Port(), 0) << "weekleaf-sync did not report its port";
    for (const char* scenario : {"handshake", "fanout", "oversized"}) {
        const TPeerRun run = RunPeer(python_, server.Port(), scenario, certs.CaFile());
        EXPECT_EQ(run.status, 0) << scenario << ": " << run.output;
    }
    // A peer that does not trust the certificate never gets through.
    const TPeerRun stranger = RunPeer(python_, server.Port(), "handshake", certs.SelfSigned.Cert);
    EXPECT_NE(stranger.status, 0);
    EXPECT_NE(stranger.output.find("CERTIFICATE_VERIFY_FAILED"), std::string::npos) << stranger.output;
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace wl
