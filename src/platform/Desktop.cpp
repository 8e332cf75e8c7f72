// MakeDesktop: which backend serves the running session.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>

#include "platform/Desktop.h"
#include "platform/GnomeDesktop.h"
#include "platform/MemoryDesktop.h"
#include "platform/PlasmaDesktop.h"
#include "platform/SwayDesktop.h"
#include "platform/SwayIpc.h"
#include "platform/X11RootDesktop.h"
#include "platform/XfceDesktop.h"

namespace wl {

namespace {

std::string LowerEnv(const char* name) {
    const char* value = std::getenv(name);
    std::string text = value ? value : "";
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::unique_ptr<IDesktop> TryGSettings(const GSettingsProfile& profile) {
    if (!GSettingsProfileAvailable(profile)) return nullptr;
    try {
        return std::make_unique<GnomeDesktop>(profile);
    } catch (const std::exception&) {
        return nullptr;
    }
}

// XDG_CURRENT_DESKTOP is a colon-separated list such as "ubuntu:GNOME".
std::unique_ptr<IDesktop> TryEnvironmentDesktop() {
    const std::string desktop = LowerEnv("XDG_CURRENT_DESKTOP");
    const auto names = [&](std::initializer_list<const char*> list) {
        return std::any_of(list.begin(), list.end(),
                           [&](const char* n) { return desktop.find(n) != std::string::npos; });
    };
    if (names({"gnome", "unity", "budgie", "pantheon"})) return TryGSettings(GnomeProfile());
    if (names({"cinnamon"})) return TryGSettings(CinnamonProfile());
    if (names({"mate"})) return TryGSettings(MateProfile());
    if (names({"kde"})) {
        try {
            return std::make_unique<PlasmaDesktop>();
        } catch (const std::exception&) {
        }
    }
    if (names({"xfce"})) {
        try {
            return std::make_unique<XfceDesktop>();
        } catch (const std::exception&) {
        }
    }
    return nullptr;
}

// sway tells its clients where its IPC socket is; under sway an X display, when there is one, is
// Xwayland's, whose root window the compositor never shows.
std::unique_ptr<IDesktop> TrySway() {
    const std::string socket = SwaySocketFromEnvironment();
    if (socket.empty()) return nullptr;
    try {
        return std::make_unique<SwayDesktop>(socket);
    } catch (const std::exception&) {
        return nullptr;
    }
}

}  // namespace

std::unique_ptr<IDesktop> MakeDesktop(PictureFiles files) {
    if (auto desktop = TryEnvironmentDesktop()) return desktop;
    if (auto desktop = TrySway()) return desktop;
    const char* display = std::getenv("DISPLAY");
    if (display && *display) {
        try {
            return std::make_unique<X11RootDesktop>(std::move(files));
        } catch (const std::exception&) {
        }
    }
    return std::make_unique<MemoryDesktop>();
}

}  // namespace wl
