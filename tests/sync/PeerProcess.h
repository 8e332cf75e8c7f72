#pragma once
// Runs one of the python peers of tests/sync as a child process and reads its event lines.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace wl::test {

// The system's python3 (which carries the Debian python3-websockets package), else the one on PATH.
inline std::string Python3() {
    return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

inline int RunAndWait(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool HavePython() {
    return RunAndWait({Python3(), "-c", "pass"}) == 0;
}
inline bool HaveWebsockets() {
    return RunAndWait({Python3(), "-c", "import websockets"}) == 0;
}

class PeerProcess {
  public:
    // Starts tests/sync/<script> with the mode and waits for its "PORT <n>" line.
    PeerProcess(const std::string& script, const std::string& mode)
        : PeerProcess({Python3(), "-u", std::string(WL_SYNC_TEST_DIR) + "/" + script, mode}, "PORT ") {}

    // Starts any program and waits for the line starting with portLine; the port follows it, or
    // the last ':' before a ',' (as in "listening on 127.0.0.1:40123, database ...").
    PeerProcess(std::vector<std::string> args, const std::string& portLine) {
        int fds[2], in[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        if (pipe2(in, O_CLOEXEC) != 0) return;
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        // The python peers end when their stdin closes, so they never outlive a test process that died.
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        if (posix_spawnp(&FPid, argv[0], &actions, nullptr, argv.data(), environ) != 0) FPid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        close(in[0]);
        FOut = fds[0];
        FIn = in[1];
        auto line = WaitFor(portLine, 20000);
        if (!line) return;
        std::string rest = line->substr(portLine.size());
        rest = rest.substr(0, rest.find(','));
        auto colon = rest.rfind(':');
        Port = std::atoi(rest.c_str() + (colon == std::string::npos ? 0 : colon + 1));
    }
    ~PeerProcess() {
        if (FPid > 0) {
            kill(FPid, SIGTERM);
            waitpid(FPid, nullptr, 0);
        }
        if (FOut >= 0) close(FOut);
        if (FIn >= 0) close(FIn);
    }
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // The next line the peer printed, or nullopt after timeoutMs.
    std::optional<std::string> ReadLine(int timeoutMs = 10000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (auto nl = FBuffer.find('\n'); nl != std::string::npos) {
                std::string line = FBuffer.substr(0, nl);
                FBuffer.erase(0, nl + 1);
                return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || FOut < 0) return std::nullopt;
            pollfd p{FOut, POLLIN, 0};
            if (poll(&p, 1, int(left.count())) <= 0) continue;
            char buf[4096];
            ssize_t n = read(FOut, buf, sizeof buf);
            if (n <= 0) return std::nullopt;
            FBuffer.append(buf, std::size_t(n));
        }
    }
    // Skips lines until one starts with prefix; returns it.
    std::optional<std::string> WaitFor(const std::string& prefix, int timeoutMs = 10000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            auto line = ReadLine(int(left.count()));
            if (!line) return std::nullopt;
            if (line->rfind(prefix, 0) == 0) return line;
        }
    }

    int Port = 0;

  private:
    pid_t FPid = -1;
    int FOut = -1;
    int FIn = -1;
    std::string FBuffer;
};

}  // namespace wl::test
