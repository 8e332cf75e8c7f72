#pragma once
// Runs a program with an argument list (no shell, so nothing in an argument is ever interpreted)
// and collects its standard output.
#include <string>
#include <vector>

namespace wl {

struct CommandResult {
    int exitCode = -1;  // -1 when the program could not be started or did not exit normally
    std::string out;
};

// argv[0] is looked up in PATH. Standard error is discarded; output beyond maxOut is dropped.
CommandResult RunCommand(const std::vector<std::string>& argv, std::size_t maxOut = 1 << 20);

// True when `program` is found in PATH.
bool ProgramInPath(const std::string& program);

}  // namespace wl
