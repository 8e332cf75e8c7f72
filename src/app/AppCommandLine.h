#pragma once
// What the weekleaf program makes of its command line before anything else starts: --help and
// --version answer and end at once (no display needed), a mistyped option is refused, and
// everything the program has always taken goes on as before: "/reg" as the first argument, other
// plain arguments (ignored), Qt's own options and the browser engine's --webEngineArgs.
#include <string>
#include <vector>

namespace wl {

struct TAppCommandLine {
    enum class TAction { Run, Help, Version, Refuse };
    TAction Action = TAction::Run;
    bool WaitAfterLogon = false;  // first argument "/reg": the autostart case
    std::string Text;             // Help, Version: for standard output; Refuse: the one error line
};

// Arguments without the program name.
TAppCommandLine ParseAppCommandLine(const std::vector<std::string>& args);

}  // namespace wl
