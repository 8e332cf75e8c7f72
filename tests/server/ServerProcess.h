#pragma once
// The weekleaf-sync program as a child process on a free loopback port, with what the system tells
// about it (resident memory, open descriptors).
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace wl::test {

class TServerProcess {
  public:
    // `args` follow "--listen 127.0.0.1:0 --db dbPath". `addressSpaceBytes` > 0 caps the child's
    // address space, so that a service gone wild fails alone instead of taking the machine down.
    // A non-empty `stderrFile` receives what the service writes to standard error.
    TServerProcess(const std::string& binary, const std::string& dbPath,
                   const std::vector<std::string>& args = {}, std::size_t addressSpaceBytes = 0,
                   const std::string& stderrFile = "") {
        std::vector<std::string> argv = {binary, "--listen", "127.0.0.1:0", "--db", dbPath};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (std::string& arg : argv) pointers.push_back(arg.data());
        pointers.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            if (addressSpaceBytes > 0) {
                const rlimit limit{addressSpaceBytes, addressSpaceBytes};
                setrlimit(RLIMIT_AS, &limit);
            }
            if (!stderrFile.empty()) {
                const int err = open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                if (err >= 0) dup2(err, STDERR_FILENO);
            }
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execv(binary.c_str(), pointers.data());
            _exit(127);
        }
        close(out[1]);
        ReadStartLines(out[0]);
        close(out[0]);
    }
    ~TServerProcess() {
        if (pid_ > 0) Stop();
    }
    TServerProcess(const TServerProcess&) = delete;
    TServerProcess& operator=(const TServerProcess&) = delete;

    int Port() const { return port_; }
    // The health check's port (with "--health 127.0.0.1:0"), 0 without one.
    int HealthPort() const { return healthPort_; }
    pid_t Pid() const { return pid_; }

    // SIGTERM and the exit status (-1 when it had to be killed or had died).
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

    // kill -9: the service gets no chance to finish anything.
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }

    // A line of /proc/PID/status in kB ("VmRSS", "VmHWM"); 0 when the process is gone.
    long StatusKb(const std::string& field) const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        std::string word;
        while (status >> word)
            if (word == field + ":") {
                long kb = 0;
                status >> kb;
                return kb;
            }
        return 0;
    }

    int OpenDescriptors() const {
        DIR* dir = opendir(("/proc/" + std::to_string(pid_) + "/fd").c_str());
        if (dir == nullptr) return 0;
        int count = 0;
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        closedir(dir);
        return count;
    }

  private:
    // The start lines up to "weekleaf-sync: listening on 127.0.0.1:PORT, ...", which comes last
    // (waits at most 30 s: a service on PostgreSQL may wait for its database first).
    void ReadStartLines(int fd) {
        std::string text;
        pollfd p{fd, POLLIN, 0};
        const std::regex listening(R"(listening on [0-9.]+:([0-9]+))"),
            health(R"(health check on [0-9.]+:([0-9]+))");
        std::smatch match;
        while (port_ == 0 && poll(&p, 1, 30000) > 0) {
            char c;
            if (read(fd, &c, 1) != 1) break;
            text += c;
            if (c != '\n') continue;
            const std::string line = text.substr(text.rfind('\n', text.size() - 2) + 1);
            if (std::regex_search(line, match, listening)) port_ = std::stoi(match[1]);
            if (std::regex_search(line, match, health)) healthPort_ = std::stoi(match[1]);
        }
    }

    pid_t pid_ = -1;
    int port_ = 0;
    int healthPort_ = 0;
};

}  // namespace wl::test
