#include "platform/QtPlatformChoice.h"

#include <cstdlib>

namespace wl {

namespace {

bool Set(const char* value) {
    return value && *value;
}

}  // namespace

std::string ChooseQtPlatform(const char* chosen, const char* display, const char* waylandDisplay) {
    if (Set(chosen)) return "";
    if (Set(display)) return "xcb";
    if (Set(waylandDisplay)) return "wayland";
    return "";
}

void ChooseQtPlatformForThisSession() {
    const std::string platform = ChooseQtPlatform(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                                  std::getenv("WAYLAND_DISPLAY"));
    if (!platform.empty()) ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
}

}  // namespace wl
