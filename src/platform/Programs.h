#pragma once
// Starting the program's companion programs and finding the running ones (POSIX; the process
// list is read from /proc).
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace wl {

// The running program's own executable, as an absolute path.
std::filesystem::path OwnExecutable();

// Starts `program` with `args` (and `env` added to this process's environment) without waiting
// for it: it is not this process's child and leaves no zombie. True when it was started; false
// when it is missing, not executable or could not be run.
bool StartDetached(const std::filesystem::path& program, const std::vector<std::string>& args,
                   const std::vector<std::pair<std::string, std::string>>& env = {});

// Asks every process of this user whose executable's file name is exactly `name` to close
// (SIGTERM). Returns how many were asked.
int AskProgramsToClose(const std::string& name);

// Waits until process `pid` has ended (a zombie counts as ended); false after `timeoutMs`.
bool WaitForProcessEnd(pid_t pid, int timeoutMs);

}  // namespace wl
