#include "platform/Restarter.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/Programs.h"

namespace wl {

int RestartProgram(const std::vector<std::string>& programArgs) {
    if (const char* pidText = std::getenv(kRestartPidVariable)) {
        const long pid = std::strtol(pidText, nullptr, 10);
        if (pid > 0) WaitForProcessEnd(static_cast<pid_t>(pid), 60000);
        ::unsetenv(kRestartPidVariable);
    }
    const std::string program = (OwnExecutable().parent_path() / "weekleaf").string();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : programArgs) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    std::fprintf(stderr, "weekleaf-restarter: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
    return 1;
}

}  // namespace wl
