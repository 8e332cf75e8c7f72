#include "platform/X11Connection.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>

namespace wl {

namespace {

std::mutex& XlibLock() {
    static std::mutex lock;
    return lock;
}

// Written by the error handler while XlibLock() is held by the thread that syncs.
int gLastErrorCode = 0;

int RecordXError(Display*, XErrorEvent* event) {
    if (gLastErrorCode == 0) gLastErrorCode = event->error_code;
    return 0;
}

std::string ErrorText(Display* display, int code) {
    char text[256] = {};
    XGetErrorText(display, code, text, sizeof text);
    return text;
}

}  // namespace

X11Connection::X11Connection(const std::string& displayName) {
    std::lock_guard lock(XlibLock());
    static std::once_flag installed;
    std::call_once(installed, [] { XSetErrorHandler(RecordXError); });
    FDisplay = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (!FDisplay) {
        const char* env = std::getenv("DISPLAY");
        throw X11Error("cannot open X display \"" +
                       (displayName.empty() ? std::string(env ? env : "") : displayName) + "\"");
    }
    FName = DisplayString(FDisplay);
}

X11Connection::~X11Connection() {
    std::lock_guard lock(XlibLock());
    XCloseDisplay(FDisplay);
}

void X11Connection::With(const char* what, const std::function<void(Display*)>& fn) {
    std::lock_guard lock(XlibLock());
    // Every call ends with a sync, so no error of an earlier call can still be on its way.
    gLastErrorCode = 0;
    std::exception_ptr failure;
    try {
        fn(FDisplay);
    } catch (...) {
        failure = std::current_exception();
    }
    XSync(FDisplay, False);
    const int code = gLastErrorCode;
    gLastErrorCode = 0;
    if (failure) std::rethrow_exception(failure);
    if (code != 0) throw X11Error(std::string(what) + ": X error " + ErrorText(FDisplay, code));
}

ScreenSize X11Connection::RootSize() {
    ScreenSize size;
    With("RootSize", [&](Display* d) {
        Window root = 0;
        int x = 0, y = 0;
        unsigned w = 0, h = 0, border = 0, depth = 0;
        if (XGetGeometry(d, DefaultRootWindow(d), &root, &x, &y, &w, &h, &border, &depth))
            size = {static_cast<int>(w), static_cast<int>(h)};
    });
    if (size.width <= 0 || size.height <= 0) throw X11Error("RootSize: no root window geometry");
    return size;
}

MonitorRect X11Connection::PrimaryMonitor() {
    const ScreenSize root = RootSize();
    MonitorRect primary{0, 0, root.width, root.height};
    With("PrimaryMonitor", [&](Display* d) {
        int event = 0, error = 0, major = 0, minor = 0;
        if (!XRRQueryExtension(d, &event, &error) || !XRRQueryVersion(d, &major, &minor)) return;
        if (major < 1 || (major == 1 && minor < 5)) return;
        int count = 0;
        XRRMonitorInfo* monitors = XRRGetMonitors(d, DefaultRootWindow(d), True, &count);
        if (!monitors) return;
        const XRRMonitorInfo* chosen = nullptr;
        for (int i = 0; i < count; ++i) {
            if (monitors[i].width <= 0 || monitors[i].height <= 0) continue;
            if (!chosen || (monitors[i].primary && !chosen->primary)) chosen = &monitors[i];
        }
        if (chosen) primary = {chosen->x, chosen->y, chosen->width, chosen->height};
        XRRFreeMonitors(monitors);
    });
    // A monitor reaching past the root (mid-change) is cut to it.
    primary.x = std::clamp(primary.x, 0, root.width - 1);
    primary.y = std::clamp(primary.y, 0, root.height - 1);
    primary.width = std::min(primary.width, root.width - primary.x);
    primary.height = std::min(primary.height, root.height - primary.y);
    return primary;
}

std::optional<ScreenSize> ProbeX11Screen() {
    const char* env = std::getenv("DISPLAY");
    if (!env || !*env) return std::nullopt;
    try {
        X11Connection connection;
        return connection.RootSize();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

ScreenSize X11ScreenSize::Get() {
    std::lock_guard lock(FLock);
    if (!FProbed) {
        FProbed = true;
        const char* display = std::getenv("DISPLAY");
        try {
            if (display && *display) FConnection = std::make_unique<X11Connection>();
        } catch (const std::exception&) {
        }
    }
    if (!FConnection) return kDefaultScreen;
    try {
        const MonitorRect primary = FConnection->PrimaryMonitor();
        return {primary.width, primary.height};
    } catch (const std::exception&) {
        return kDefaultScreen;
    }
}

}  // namespace wl
