#include "platform/Programs.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

extern char** environ;

namespace wl {
namespace {

namespace fs = std::filesystem;

// Everything execve needs, made before the fork: a child of a threaded program must not allocate.
struct ExecArgs {
    ExecArgs(const fs::path& program, const std::vector<std::string>& args,
             const std::vector<std::pair<std::string, std::string>>& env)
        : path(program.string()) {
        strings.push_back(path);
        strings.insert(strings.end(), args.begin(), args.end());
        for (std::string& s : strings) argv.push_back(s.data());
        argv.push_back(nullptr);
        for (char** e = environ; *e; ++e) {
            const std::string entry(*e);
            bool replaced = false;
            for (const auto& [name, value] : env) replaced |= entry.rfind(name + "=", 0) == 0;
            if (!replaced) environment.push_back(entry);
        }
        for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
        for (std::string& s : environment) envp.push_back(s.data());
        envp.push_back(nullptr);
    }
    std::string path;
    std::vector<std::string> strings, environment;
    std::vector<char*> argv, envp;
};

// Every descriptor above the standard three closes when the program starts. The program must not
// hold ours: a socket of the browser engine's helper processes kept open by a long-lived child
// (the restarted instance itself) keeps those helpers running after we end.
void CloseInheritedOnExec() {
#ifdef CLOSE_RANGE_CLOEXEC
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
#endif
    const long limit = std::min(::sysconf(_SC_OPEN_MAX), 65536L);
    for (int fd = 3; fd < limit; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// The grandchild: the program itself; reports a failed exec through the pipe.
[[noreturn]] void RunProgram(const ExecArgs& exec, int reportFd) {
    CloseInheritedOnExec();
    ::execve(exec.path.c_str(), exec.argv.data(), exec.envp.data());
    const int err = errno;
    [[maybe_unused]] const ssize_t n = ::write(reportFd, &err, sizeof err);
    ::_exit(127);
}

}  // namespace

fs::path OwnExecutable() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : self;
}

bool StartDetached(const fs::path& program, const std::vector<std::string>& args,
                   const std::vector<std::pair<std::string, std::string>>& env) {
    if (::access(program.c_str(), X_OK) != 0) return false;
    const ExecArgs exec(program, args, env);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    if (child == 0) {
        // The intermediate child: a new session, then the program in a grandchild, so the
        // program is adopted by init (or the session's subreaper) and never becomes our zombie.
        ::close(pipeFds[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild == 0) RunProgram(exec, pipeFds[1]);
        if (grandchild < 0) {
            const int err = errno;
            [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &err, sizeof err);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    ::waitpid(child, nullptr, 0);
    // The pipe closes without data when the exec succeeded (close-on-exec).
    int err = 0;
    ssize_t n;
    do {
        n = ::read(pipeFds[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    ::close(pipeFds[0]);
    return n == 0;
}

int AskProgramsToClose(const std::string& name) {
    int asked = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string pidText = entry.path().filename().string();
        if (pidText.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code linkEc;
        const fs::path exe = fs::read_symlink(entry.path() / "exe", linkEc);  // only our own processes
        if (linkEc || exe.filename().string() != name) continue;
        const pid_t pid = static_cast<pid_t>(std::atoi(pidText.c_str()));
        if (pid == ::getpid()) continue;
        if (::kill(pid, SIGTERM) == 0) ++asked;
    }
    return asked;
}

bool WaitForProcessEnd(pid_t pid, int timeoutMs) {
    using namespace std::chrono;
    const auto end = steady_clock::now() + milliseconds(timeoutMs);
    for (;;) {
        if (::kill(pid, 0) != 0 && errno == ESRCH) return true;
        // A zombie has ended; only its parent has not collected it yet.
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        const auto close = line.rfind(')');
        if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z') return true;
        if (steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(milliseconds(50));
    }
}

}  // namespace wl
