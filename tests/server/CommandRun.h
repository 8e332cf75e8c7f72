#pragma once
// Runs a shell command to its end and keeps what it printed, for tests that look at a program's
// exit status and messages.
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace wl::test {

struct TCommandRun {
    int status = -1;  // exit status, -1 when it did not exit normally
    std::string output;
};

inline TCommandRun RunCommand(const std::string& command) {
    TCommandRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) run.output += buffer;
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace wl::test
