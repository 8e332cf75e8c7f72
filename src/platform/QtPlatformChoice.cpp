#include "platform/QtPlatformChoice.h"

#include <cstdlib>

namespace wl {

namespace {

bool Set(const char* value) {
    return value && *value;
}

}  // namespace

std::string ChooseQtPlatform(const char* chosen, const char* display, const char* waylandDisplay,
                             const char* swaySocket) {
    if (Set(chosen)) return "";
    if (Set(swaySocket) && Set(waylandDisplay)) return Set(display) ? "wayland;xcb" : "wayland";
    if (Set(display)) return "xcb";
    if (Set(waylandDisplay)) return "wayland";
    return "";
}

void ChooseQtPlatformForThisSession() {
    const std::string platform = ChooseQtPlatform(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                                  std::getenv("WAYLAND_DISPLAY"), std::getenv("SWAYSOCK"));
    if (!platform.empty()) ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
}

bool PlacesWindowsExactly(const std::string& qtPlatform, const char* swaySocket) {
    if (Set(swaySocket)) return false;
    return qtPlatform.rfind("wayland", 0) != 0;
}

bool SessionPlacesWindows(const std::string& qtPlatform) {
    return PlacesWindowsExactly(qtPlatform, std::getenv("SWAYSOCK"));
}

}  // namespace wl
