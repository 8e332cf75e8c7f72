#pragma once
// The work of the companion restarter ("weekleaf-restarter restart"): wait until the program that
// started it has ended, then start the program anew (the executable "weekleaf" beside the
// restarter) with the same environment and the given arguments, so the new instance runs its
// normal start-up.
#include <string>
#include <vector>

namespace wl {

// The old process is named by the environment variable below (set by the program when it starts
// the restarter); without it the restarter starts the program at once. Waits at most a minute.
// Returns an exit status only when the program could not be started.
constexpr const char* kRestartPidVariable = "WEEKLEAF_RESTART_PID";
int RestartProgram(const std::vector<std::string>& programArgs = {});

}  // namespace wl
