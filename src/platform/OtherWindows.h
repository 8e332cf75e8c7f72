#pragma once
// "Minimise the other windows": clears the desktop so the week drawn on the wallpaper shows.
// One small interface, a backend per window system (X11OtherWindows) and one that does nothing
// where there is no window system. No Qt.
#include <memory>
#include <string>
#include <vector>

namespace wl {

class IOtherWindows {
  public:
    virtual ~IOtherWindows() = default;
    // Asks the window manager to iconify every shown top-level window of other programs that has
    // a title and is not a dialog of another window; this process's windows stay. Returns the
    // titles of the windows asked, in stacking order.
    virtual std::vector<std::string> CollapseAllWindow() = 0;
    // Brings back the windows CollapseAllWindow put away since the last call, in their stacking
    // order, and forgets them. Only those still iconified: a window the user has restored or closed
    // meanwhile is left alone. Returns the titles of the windows asked.
    virtual std::vector<std::string> RestoreCollapsed() = 0;
};

// X11 when DISPLAY names a reachable server, otherwise a backend that does nothing.
std::unique_ptr<IOtherWindows> MakeOtherWindows();

}  // namespace wl
