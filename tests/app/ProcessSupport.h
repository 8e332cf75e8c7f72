#pragma once
// Running the real program and its companions from a test: start a process in its own group with
// its output in a log, wait for conditions, stop the whole group; free loopback ports.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "data/DataFiles.h"

namespace wl::test {

// A fresh data folder at `root` for the program under test, with the default files: AppData points
// there, and so does XDG_CONFIG_HOME, so the autostart entry never reaches the caller's session.
inline void MakeDataFolder(const std::filesystem::path& root) {
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    ::setenv("AppData", root.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    bool first = false;
    CheckFiles(first);
}

inline bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// Starts args[0] (a path) leading its own process group, stdout and stderr appended to log.
inline pid_t Spawn(const std::vector<std::string>& args, const std::filesystem::path& log) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::setpgid(0, 0);
    FILE* out = std::fopen(log.c_str(), "a");
    if (out) {
        ::dup2(::fileno(out), 1);
        ::dup2(::fileno(out), 2);
    }
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    std::_Exit(127);
}

inline bool Alive(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == 0;
}

// Waits for the process to end; its exit status, or -1 when it is still running after `limit`.
inline int WaitExit(pid_t pid, std::chrono::milliseconds limit) {
    int status = 0;
    const bool ended = WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, limit);
    if (!ended) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The program and the processes it started (it leads its own process group).
inline void StopGroup(pid_t pid) {
    if (pid <= 0) return;
    ::kill(-pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

inline uint16_t FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

inline bool PortOpen(uint16_t port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

}  // namespace wl::test
