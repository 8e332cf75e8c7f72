#pragma once
// One Xlib connection used from any thread: every call goes through With(), which holds a lock
// shared by all connections of this process (Xlib keeps process-wide error state) and turns X
// protocol errors into exceptions instead of Xlib's default of ending the process.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/Desktop.h"

// Xlib's display type, declared here so this header does not pull in Xlib's macros.
struct _XDisplay;

namespace wl {

class X11Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class X11Connection {
  public:
    // Opens the display (empty name = $DISPLAY); throws X11Error when it cannot be reached.
    explicit X11Connection(const std::string& displayName = "");
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    // Runs fn(display) under the process-wide Xlib lock; any X error raised by the requests
    // fn makes (they are synced before returning) throws X11Error naming `what`.
    void With(const char* what, const std::function<void(_XDisplay*)>& fn);

    // Size of the default screen's root window, asked anew each time (resolution changes count).
    ScreenSize RootSize();
    // The primary monitor's place on the root window (RandR's monitor marked primary, else its
    // first), asked anew each time, so monitors added, removed or moved count; the whole root
    // when the server names no monitors.
    MonitorRect PrimaryMonitor();

    const std::string& DisplayName() const { return FName; }

  private:
    _XDisplay* FDisplay = nullptr;
    std::string FName;
};

// Size of the default screen of $DISPLAY, or nothing when no display is reachable.
std::optional<ScreenSize> ProbeX11Screen();

// The screen size for backends that set the picture elsewhere (GSettings, xfconf): the primary
// monitor of $DISPLAY, asked over one connection opened on first use; kDefaultScreen when there
// is no display.
class X11ScreenSize {
  public:
    ScreenSize Get();

  private:
    std::mutex FLock;
    bool FProbed = false;
    std::unique_ptr<X11Connection> FConnection;
};

}  // namespace wl
