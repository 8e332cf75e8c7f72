#pragma once
// The other windows of an X11 desktop: the window manager's client list in stacking order
// (_NET_CLIENT_LIST_STACKING, else _NET_CLIENT_LIST), each window iconified the ICCCM way
// (WM_CHANGE_STATE to the root window, XIconifyWindow). Windows whose _NET_WM_PID is this
// process, transient windows, docks and the desktop itself stay.
#include <memory>

#include "platform/OtherWindows.h"

namespace wl {

class X11Connection;

class X11OtherWindows : public IOtherWindows {
  public:
    // Own connection to `display` ($DISPLAY when empty); throws X11Error when unreachable.
    explicit X11OtherWindows(const std::string& display = "");
    ~X11OtherWindows() override;
    std::vector<std::string> CollapseAllWindow() override;

  private:
    std::unique_ptr<X11Connection> FX;
};

}  // namespace wl
