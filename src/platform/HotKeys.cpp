#include "platform/HotKeys.h"

#include <cstdlib>

#include "platform/GnomeHotKeys.h"
#include "platform/PortalHotKeys.h"
#include "platform/SwayHotKeys.h"
#include "platform/SwayIpc.h"
#include "platform/TextCase.h"
#include "platform/X11HotKeys.h"

namespace wl {
namespace {

// No window system to register with (offscreen, no DISPLAY): nothing is registered.
class TNoHotKeys : public IHotKeys {
  public:
    explicit TNoHotKeys(std::string why) : FWhy(std::move(why)) { Provides(THotKeyWay::Unavailable); }
    std::vector<int> Register(const HotKeyChars&) override {
        if (!FSaid) Report("HotKey.Register: " + FWhy + ", no hot keys");
        FSaid = true;
        return {};
    }
    void Unregister() override {}

  private:
    std::string FWhy;
    bool FSaid = false;
};

std::unique_ptr<IHotKeys> TrySway(const HotKeyCommand& remoteCommand) {
    const std::string socket = SwaySocketFromEnvironment();
    if (socket.empty() || !remoteCommand) return nullptr;
    try {
        return std::make_unique<SwayHotKeys>(socket, remoteCommand);
    } catch (const std::exception&) {
        return nullptr;
    }
}

bool GnomeWayland() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const std::string name = LowerText(desktop ? desktop : "");
    return name.find("gnome") != std::string::npos && wayland && *wayland;
}

// GNOME on Wayland: its settings daemon runs a custom shortcut's command whatever window has
// focus, while X11 grabs would fire only over Xwayland windows.
std::unique_ptr<IHotKeys> TryGnome(const HotKeyCommand& remoteCommand) {
    if (!remoteCommand || !GnomeWayland() || !GnomeHotKeys::Available()) return nullptr;
    return std::make_unique<GnomeHotKeys>(remoteCommand);
}

// Other Wayland desktops (KDE Plasma): the desktop portal's global shortcuts, where it offers them.
std::unique_ptr<IHotKeys> TryPortal() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!wayland || !*wayland) return nullptr;
    try {
        return std::make_unique<PortalHotKeys>();
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::unique_ptr<IHotKeys> X11OrNone() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return std::make_unique<TNoHotKeys>("no X display");
    try {
        return std::make_unique<X11HotKeys>();
    } catch (const std::exception& e) {
        return std::make_unique<TNoHotKeys>(e.what());
    }
}

}  // namespace

char32_t HotKeyFold(char32_t c) {
    return c >= U'a' && c <= U'z' ? c - U'a' + U'A' : c;
}

std::unique_ptr<IHotKeys> MakeHotKeys(std::function<void(const std::string&)> log,
                                      HotKeyCommand remoteCommand) {
    std::unique_ptr<IHotKeys> keys = TrySway(remoteCommand);
    if (!keys) keys = TryGnome(remoteCommand);
    if (!keys) keys = TryPortal();
    if (!keys) keys = X11OrNone();
    keys->Log = std::move(log);
    return keys;
}

}  // namespace wl
