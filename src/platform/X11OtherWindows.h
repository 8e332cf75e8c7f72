#pragma once
// The other windows of an X11 desktop: the window manager's client list in stacking order
// (_NET_CLIENT_LIST_STACKING, else _NET_CLIENT_LIST), each window iconified the ICCCM way
// (WM_CHANGE_STATE to the root window, XIconifyWindow) and brought back by mapping it again.
// Windows whose _NET_WM_PID is this process, transient windows, docks and the desktop itself
// stay. Titles are read from _NET_WM_NAME, else from the legacy WM_NAME in any of its encodings.
#include <memory>
#include <vector>

#include "platform/OtherWindows.h"

namespace wl {

class X11Connection;

class X11OtherWindows : public IOtherWindows {
  public:
    // Own connection to `display` ($DISPLAY when empty); throws X11Error when unreachable.
    explicit X11OtherWindows(const std::string& display = "");
    ~X11OtherWindows() override;
    std::vector<std::string> CollapseAllWindow() override;
    std::vector<std::string> RestoreCollapsed() override;

  private:
    std::unique_ptr<X11Connection> FX;
    std::vector<unsigned long> FCollapsed;  // in stacking order, bottom first
};

}  // namespace wl
