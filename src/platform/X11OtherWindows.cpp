#include "platform/X11OtherWindows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/X11Connection.h"

namespace wl {
namespace {

// The values of a 32-bit list property (windows, atoms, cardinals); empty when missing.
std::vector<unsigned long> ListProperty(Display* d, Window w, const char* name, Atom type) {
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> out;
    const Atom prop = XInternAtom(d, name, False);
    if (XGetWindowProperty(d, w, prop, 0, 65536, False, type, &actual, &format, &count, &after, &data) ==
            Success &&
        data && format == 32) {
        const auto* values = reinterpret_cast<unsigned long*>(data);
        out.assign(values, values + count);
    }
    if (data) XFree(data);
    return out;
}

std::string Title(Display* d, Window w) {
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    // Read as much as the original's buffer of 257 characters would show, in UTF-8.
    if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), 0, 257, False, utf8, &actual, &format,
                           &count, &after, &data) == Success &&
        data) {
        title.assign(reinterpret_cast<char*>(data), count);
    }
    if (data) XFree(data);
    if (!title.empty()) return title;
    // The legacy WM_NAME, as STRING (Latin-1), COMPOUND_TEXT or UTF8_STRING: converted to UTF-8.
    XTextProperty name{};
    if (!XGetWMName(d, w, &name) || !name.value) return title;
    char** list = nullptr;
    int lines = 0;
    if (name.nitems > 0 && Xutf8TextPropertyToTextList(d, &name, &list, &lines) >= Success && list &&
        lines > 0 && list[0]) {
        title = list[0];
    }
    if (list) XFreeStringList(list);
    XFree(name.value);
    return title;
}

bool Iconic(Display* d, Window w) {
    const auto state = ListProperty(d, w, "WM_STATE", XInternAtom(d, "WM_STATE", False));
    return !state.empty() && state[0] == IconicState;
}

bool Viewable(Display* d, Window w) {
    XWindowAttributes a{};
    return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
}

bool Transient(Display* d, Window w) {
    Window owner = 0;
    return XGetTransientForHint(d, w, &owner) && owner != 0;
}

bool Ours(Display* d, Window w) {
    const auto pid = ListProperty(d, w, "_NET_WM_PID", XA_CARDINAL);
    return !pid.empty() && pid[0] == static_cast<unsigned long>(::getpid());
}

// Docks, panels and the desktop window are part of the desktop, not windows to put away.
bool PartOfDesktop(Display* d, Window w) {
    for (unsigned long type : ListProperty(d, w, "_NET_WM_WINDOW_TYPE", XA_ATOM)) {
        char* name = XGetAtomName(d, type);
        const std::string n = name ? name : "";
        if (name) XFree(name);
        if (n == "_NET_WM_WINDOW_TYPE_DOCK" || n == "_NET_WM_WINDOW_TYPE_DESKTOP") return true;
    }
    return false;
}

std::vector<unsigned long> Clients(Display* d) {
    const Window root = DefaultRootWindow(d);
    auto list = ListProperty(d, root, "_NET_CLIENT_LIST_STACKING", XA_WINDOW);
    if (list.empty()) list = ListProperty(d, root, "_NET_CLIENT_LIST", XA_WINDOW);
    if (!list.empty()) return list;
    // No window manager: the root's children, bottom to top.
    Window r = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    if (XQueryTree(d, root, &r, &parent, &children, &n) && children) {
        list.assign(children, children + n);
        XFree(children);
    }
    return list;
}

class TNoOtherWindows : public IOtherWindows {
  public:
    std::vector<std::string> CollapseAllWindow() override { return {}; }
    std::vector<std::string> RestoreCollapsed() override { return {}; }
};

}  // namespace

X11OtherWindows::X11OtherWindows(const std::string& display) : FX(std::make_unique<X11Connection>(display)) {}
X11OtherWindows::~X11OtherWindows() = default;

std::vector<std::string> X11OtherWindows::CollapseAllWindow() {
    std::vector<std::string> asked;
    std::vector<unsigned long> windows;
    FX->With("CollapseAllWindow", [&](Display* d) { windows = Clients(d); });
    for (unsigned long w : windows) {
        // One window at a time: a window that goes away meanwhile costs only itself.
        try {
            FX->With("CollapseAllWindow", [&](Display* d) {
                if (!Viewable(d, w) || Transient(d, w) || Ours(d, w) || PartOfDesktop(d, w)) return;
                const std::string title = Title(d, w);
                if (title.empty()) return;
                XIconifyWindow(d, w, DefaultScreen(d));
                asked.push_back(title);
                if (std::find(FCollapsed.begin(), FCollapsed.end(), w) == FCollapsed.end())
                    FCollapsed.push_back(w);
            });
        } catch (const X11Error&) {
        }
    }
    return asked;
}

std::vector<std::string> X11OtherWindows::RestoreCollapsed() {
    std::vector<std::string> asked;
    const std::vector<unsigned long> windows = std::move(FCollapsed);
    FCollapsed.clear();
    for (unsigned long w : windows) {
        // A window closed meanwhile is gone: the error costs only that window.
        try {
            FX->With("RestoreCollapsed", [&](Display* d) {
                if (!Iconic(d, w)) return;
                // Mapping an iconified window asks the window manager to show it again.
                XMapWindow(d, w);
                asked.push_back(Title(d, w));
            });
        } catch (const X11Error&) {
        }
    }
    return asked;
}

std::unique_ptr<IOtherWindows> MakeOtherWindows() {
    const char* display = std::getenv("DISPLAY");
    if (display && *display) {
        try {
            return std::make_unique<X11OtherWindows>();
        } catch (const std::exception&) {
        }
    }
    return std::make_unique<TNoOtherWindows>();
}

}  // namespace wl
