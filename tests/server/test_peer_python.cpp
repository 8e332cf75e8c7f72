// The weekleaf-sync program against a client nobody here wrote: python3-websockets drives each
// scenario of peer_client.py. Skipped when no python3 with websockets is installed.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <thread>

#include "TempDir.h"

namespace wl {
namespace {

std::string FindPython() {
    for (const std::string candidate : {"/usr/bin/python3", "python3"})
        if (std::system((candidate + " -c 'import websockets' >/dev/null 2>&1").c_str()) == 0)
            return candidate;
    return "";
}

// weekleaf-sync as a child process on a free loopback port.
class TServerProcess {
  public:
    explicit TServerProcess(const std::string& dbPath) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execl(WL_SYNC_SERVER_BIN, WL_SYNC_SERVER_BIN, "--listen", "127.0.0.1:0", "--db", dbPath.c_str(),
                  "--max-message", "65536", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        port_ = ReadPort(out[0]);
        close(out[0]);
    }
    ~TServerProcess() {
        if (pid_ > 0) Stop();
    }

    int Port() const { return port_; }

    // SIGTERM and the exit status (-1 when it had to be killed).
    int Stop() {
        kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return -1;
    }

  private:
    // The start line "weekleaf-sync: listening on 127.0.0.1:PORT, ..." (waits at most 10 s).
    static int ReadPort(int fd) {
        std::string line;
        pollfd p{fd, POLLIN, 0};
        while (line.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0) {
            char c;
            if (read(fd, &c, 1) != 1) break;
            line += c;
        }
        std::smatch match;
        if (!std::regex_search(line, match, std::regex(R"(listening on [0-9.]+:([0-9]+))"))) return 0;
        return std::stoi(match[1]);
    }

    pid_t pid_ = -1;
    int port_ = 0;
};

struct TPeerRun {
    int status;
    std::string output;
};

TPeerRun RunPeer(const std::string& python, int port, const std::string& scenario) {
    const std::string command = "timeout 30 " + python + " " WL_PEER_SCRIPT " 127.0.0.1 " +
                                std::to_string(port) + " " + scenario + " 2>&1";
    TPeerRun run{-1, ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) run.output += buffer;
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class PeerClient : public testing::Test {
  protected:
    void SetUp() override {
        python_ = FindPython();
        if (python_.empty()) GTEST_SKIP() << "python3 with the websockets module is not installed";
    }
    std::string python_;
    test::TTempDir dir_;
};

class PeerScenario : public PeerClient, public testing::WithParamInterface<const char*> {};

TEST_P(PeerScenario, Holds) {
    TServerProcess server(dir_.File("sync.db"));
    ASSERT_NE(server.Port(), 0) << "weekleaf-sync did not report its port";
    const TPeerRun run = RunPeer(python_, server.Port(), GetParam());
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(server.Stop(), 0);
}

// handshake: the peer's handshake and ping; fanout: a SET_DAY reaches the key's other connection only;
// older: an older edit is refused and answered with the newer text; emptykey: STATUS 3;
// oversized: close 1009 and nothing stored; unknownday: a status, never an empty day.
INSTANTIATE_TEST_SUITE_P(Python, PeerScenario,
                         testing::Values("handshake", "fanout", "older", "emptykey", "oversized",
                                         "unknownday"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

TEST_F(PeerClient, DataSurvivesARestart) {
    const std::string db = dir_.File("sync.db");
    {
        TServerProcess server(db);
        ASSERT_NE(server.Port(), 0);
        const TPeerRun write = RunPeer(python_, server.Port(), "persist-write");
        ASSERT_EQ(write.status, 0) << write.output;
        ASSERT_EQ(server.Stop(), 0);
    }
    TServerProcess server(db);
    ASSERT_NE(server.Port(), 0);
    const TPeerRun read = RunPeer(python_, server.Port(), "persist-read");
    EXPECT_EQ(read.status, 0) << read.output;
}

}  // namespace
}  // namespace wl
