#include "platform/DataDir.h"

#include <cstdlib>

namespace wl {

namespace {

// An unset variable and an empty one mean the same: nothing usable.
const char* EnvOrNull(const char* name) {
    const char* v = std::getenv(name);
    return (v && *v) ? v : nullptr;
}

}  // namespace

std::filesystem::path DataDir() {
    if (const char* appData = EnvOrNull("AppData")) return std::filesystem::path(appData) / "Weekleaf";
    if (const char* xdg = EnvOrNull("XDG_DATA_HOME")) return std::filesystem::path(xdg) / "Weekleaf";
    if (const char* home = EnvOrNull("HOME"))
        return std::filesystem::path(home) / ".local" / "share" / "Weekleaf";
    // No home at all (a bare service account): the working folder is the only place left.
    return std::filesystem::path("Weekleaf");
}

}  // namespace wl
