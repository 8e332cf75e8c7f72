#pragma once
// A private Xvfb for one test suite: started with -displayfd so the server picks a free display
// number and tells us when it is ready; stopped (by its own pid) when the object goes away.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace wl::test {

class XvfbServer {
  public:
    // Empty Display() when Xvfb is not installed or did not come up.
    explicit XvfbServer(const std::string& screen = "640x480x24")
        : XvfbServer("Xvfb", {"-screen", "0", screen, "-nolisten", "tcp", "-noreset"}) {}

    // Another X server that takes -displayfd (Xephyr, nested in the caller's DISPLAY), with its
    // own arguments; empty Display() when it is not installed or did not come up.
    XvfbServer(const std::string& program, std::vector<std::string> serverArgs) {
        if (std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) != 0) return;
        int fds[2];
        if (pipe(fds) != 0) return;
        const std::string fd = std::to_string(fds[1]);
        std::vector<std::string> args = {program, "-displayfd", fd};
        args.insert(args.end(), serverArgs.begin(), serverArgs.end());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawnp(&FPid, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            FPid = 0;
            close(fds[0]);
            return;
        }
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (!number.empty()) FDisplay = ":" + number;
    }
    ~XvfbServer() {
        if (FPid <= 0) return;
        kill(FPid, SIGTERM);
        int status = 0;
        waitpid(FPid, &status, 0);
    }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    const std::string& Display() const { return FDisplay; }

    static bool Installed() { return std::system("command -v Xvfb >/dev/null 2>&1") == 0; }

  private:
    pid_t FPid = 0;
    std::string FDisplay;
};

}  // namespace wl::test
