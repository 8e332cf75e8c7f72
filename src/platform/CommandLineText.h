#pragma once
// The lines every Weekleaf program prints about its own command line, so that weekleaf,
// weekleaf-render and weekleaf-sync answer --version and a mistyped option alike.
#include <string>
#include <string_view>

namespace wl {

// Exit status of a command line that was not understood (the usual one for usage errors).
inline constexpr int kUsageExitCode = 2;

// "PROGRAM VERSION\n".
std::string VersionText(std::string_view program);

// "PROGRAM: unknown option 'OPTION' (see --help)\n".
std::string UnknownOptionLine(std::string_view program, std::string_view option);

// "PROGRAM: PROBLEM (see --help)\n": one line, the usage itself stays behind --help.
std::string UsageErrorLine(std::string_view program, std::string_view problem);

}  // namespace wl
