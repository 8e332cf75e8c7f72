#include "platform/SingleInstance.h"

// Qt first: Xlib defines macros (Bool, Status, None) that clash with Qt's headers.
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <xcb/xcb.h>

namespace wl {
namespace {

constexpr const char* kQuitAtom = "_WEEKLEAF_INSTANCE_QUIT";
// Frames of reparenting window managers put client windows a level or two below the root.
constexpr int kSearchDepth = 3;

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

DisplayPtr OpenDisplay() {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return nullptr;
    return DisplayPtr(XOpenDisplay(name));
}

// Ignores errors of windows that vanish while they are looked at.
int IgnoreXErrors(Display*, XErrorEvent*) {
    return 0;
}

bool HasClass(Display* d, Window w) {
    XClassHint hint{};
    if (!XGetClassHint(d, w, &hint)) return false;
    const bool match = hint.res_class && std::strcmp(hint.res_class, kMainWindowClass) == 0;
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return match;
}

bool HasTitle(Display* d, Window w) {
    const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool match = false;
    if (XGetWindowProperty(d, w, netName, 0, 256, False, utf8, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        match = std::string(reinterpret_cast<char*>(data), count) == kMainWindowTitle;
        XFree(data);
        if (type == utf8) return match;
    }
    char* name = nullptr;
    if (XFetchName(d, w, &name) && name) {
        match = std::strcmp(name, kMainWindowTitle) == 0;
        XFree(name);
    }
    return match;
}

Window Search(Display* d, Window parent, int depth) {
    Window root = 0, up = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, parent, &root, &up, &children, &count)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        if (HasClass(d, children[i]) && HasTitle(d, children[i])) found = children[i];
    }
    for (unsigned int i = 0; i < count && !found && depth > 1; ++i) found = Search(d, children[i], depth - 1);
    if (children) XFree(children);
    return found;
}

Window FindOn(Display* d) {
    auto* previous = XSetErrorHandler(IgnoreXErrors);
    const Window w = Search(d, DefaultRootWindow(d), kSearchDepth);
    XSync(d, False);
    XSetErrorHandler(previous);
    return w;
}

// Receives the quit request among the xcb events of the application's own connection.
class QuitFilter : public QAbstractNativeEventFilter {
  public:
    QuitFilter(uint32_t atom, std::function<void()> onQuit) : FAtom(atom), FOnQuit(std::move(onQuit)) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        auto* ev = static_cast<xcb_generic_event_t*>(message);
        if ((ev->response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
        auto* cm = reinterpret_cast<xcb_client_message_event_t*>(ev);
        if (cm->type != FAtom) return false;
        // Leave the event handler first: the request may end the event loop.
        QMetaObject::invokeMethod(qApp, FOnQuit, Qt::QueuedConnection);
        return true;
    }

  private:
    uint32_t FAtom;
    std::function<void()> FOnQuit;
};

}  // namespace

unsigned long FindInstanceWindow() {
    DisplayPtr d = OpenDisplay();
    return d ? FindOn(d.get()) : 0;
}

bool AskRunningInstanceToQuit() {
    DisplayPtr d = OpenDisplay();
    if (!d) return false;
    const Window w = FindOn(d.get());
    if (!w) return false;
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = XInternAtom(d.get(), kQuitAtom, False);
    ev.xclient.format = 32;
    auto* previous = XSetErrorHandler(IgnoreXErrors);
    XSendEvent(d.get(), w, False, NoEventMask, &ev);
    XSync(d.get(), False);
    XSetErrorHandler(previous);
    return true;
}

void MarkInstanceWindow(QWidget& window, std::function<void()> onQuitRequest) {
    window.setWindowTitle(kMainWindowTitle);
    if (QGuiApplication::platformName() != "xcb") return;
    DisplayPtr d = OpenDisplay();
    if (!d) return;
    const Window w = static_cast<Window>(window.winId());
    // Qt names the class after the executable; the running program is found by this one.
    std::string name = kMainWindowClass;
    XClassHint hint{name.data(), name.data()};
    XSetClassHint(d.get(), w, &hint);
    const Atom atom = XInternAtom(d.get(), kQuitAtom, False);
    XSync(d.get(), False);
    // Lives as long as the application: the main window is never destroyed before the end.
    static QuitFilter* filter = nullptr;
    if (filter) return;
    filter = new QuitFilter(static_cast<uint32_t>(atom), std::move(onQuitRequest));
    qApp->installNativeEventFilter(filter);
}

}  // namespace wl
