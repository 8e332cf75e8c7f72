#include "platform/CommandLineText.h"

#include "platform/WeekleafVersion.h"

namespace wl {

std::string VersionText(std::string_view program) {
    return std::string(program) + " " + kWeekleafVersion + "\n";
}

std::string UnknownOptionLine(std::string_view program, std::string_view option) {
    return UsageErrorLine(program, "unknown option '" + std::string(option) + "'");
}

std::string UsageErrorLine(std::string_view program, std::string_view problem) {
    return std::string(program) + ": " + std::string(problem) + " (see --help)\n";
}

}  // namespace wl
