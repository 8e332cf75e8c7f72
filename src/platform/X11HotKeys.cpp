#include "platform/X11HotKeys.h"

// Qt first: Xlib defines macros (Bool, Status, None) that clash with Qt's headers.
#include <QSocketNotifier>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>

#include "platform/X11Connection.h"

namespace wl {
namespace {

// The lock modifiers a key press may carry besides Ctrl.
std::vector<unsigned> LockVariants(unsigned numLockMask) {
    std::vector<unsigned> masks{0, LockMask};
    if (numLockMask != 0 && numLockMask != LockMask) {
        masks.push_back(numLockMask);
        masks.push_back(numLockMask | LockMask);
    }
    return masks;
}

unsigned FindNumLockMask(Display* d) {
    XModifierKeymap* map = XGetModifierMapping(d);
    if (!map) return 0;
    const KeyCode numLock = XKeysymToKeycode(d, XK_Num_Lock);
    unsigned mask = 0;
    for (int mod = 0; mod < 8 && numLock != 0; ++mod) {
        for (int k = 0; k < map->max_keypermod; ++k) {
            if (map->modifiermap[mod * map->max_keypermod + k] == numLock) mask = 1u << mod;
        }
    }
    XFreeModifiermap(map);
    return mask;
}

KeySym CharToKeySym(char32_t c) {
    // Latin-1 characters are their own key symbols; the rest use the Unicode range.
    return c < 0x100 ? KeySym(c) : KeySym(0x01000000 | c);
}

std::string CharText(char32_t c) {
    if (c >= 0x20 && c < 0x7f) return std::string(1, char(c));
    return "U+" + std::to_string(unsigned(c));
}

}  // namespace

X11HotKeys::X11HotKeys(const std::string& display) : FX(std::make_unique<X11Connection>(display)) {
    int fd = -1;
    FX->With("HotKeys", [&](Display* d) {
        fd = ConnectionNumber(d);
        FNumLockMask = FindNumLockMask(d);
    });
    FNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &X11HotKeys::Drain);
    // Beside a Wayland compositor the display is Xwayland: its grabs see only X11 windows' keys.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland) Provides(THotKeyWay::XwaylandOnly);
}

X11HotKeys::~X11HotKeys() {
    try {
        Unregister();
    } catch (const std::exception&) {
        // The server went away; its grabs went with it.
    }
}

std::string X11HotKeys::GrabAll(unsigned keycode) {
    std::vector<unsigned> done;
    for (unsigned locks : LockVariants(FNumLockMask)) {
        try {
            FX->With("XGrabKey", [&](Display* d) {
                XGrabKey(d, int(keycode), ControlMask | locks, DefaultRootWindow(d), False, GrabModeAsync,
                         GrabModeAsync);
            });
            done.push_back(locks);
        } catch (const X11Error&) {
            for (unsigned undo : done) {
                FX->With("XUngrabKey", [&](Display* d) {
                    XUngrabKey(d, int(keycode), ControlMask | undo, DefaultRootWindow(d));
                });
            }
            return "held by another program";
        }
    }
    return {};
}

void X11HotKeys::UngrabAll(unsigned keycode) {
    FX->With("XUngrabKey", [&](Display* d) {
        for (unsigned locks : LockVariants(FNumLockMask))
            XUngrabKey(d, int(keycode), ControlMask | locks, DefaultRootWindow(d));
    });
}

std::vector<int> X11HotKeys::Register(const HotKeyChars& keys) {
    std::vector<int> ids;
    for (int id = 0; id < int(keys.size()); ++id) {
        const char32_t c = HotKeyFold(keys[id]);
        const std::string name = "Ctrl+" + CharText(c) + " (" + std::to_string(id) + ")";
        if (c == 0) {
            Report("HotKey.Register: no key set for " + std::to_string(id) + ", skipped");
            continue;
        }
        unsigned keycode = 0;
        FX->With("XKeysymToKeycode", [&](Display* d) { keycode = XKeysymToKeycode(d, CharToKeySym(c)); });
        if (keycode == 0) {
            Report("HotKey.Register: " + name + " has no key on this keyboard, skipped");
            continue;
        }
        const bool taken =
            std::any_of(FGrabs.begin(), FGrabs.end(), [&](const Grab& g) { return g.keycode == keycode; });
        const std::string why = taken ? "already used for another hot key" : GrabAll(keycode);
        if (!why.empty()) {
            Report("HotKey.Register: " + name + " " + why + ", skipped");
            continue;
        }
        FGrabs.push_back({id, keycode});
        ids.push_back(id);
    }
    Drain();
    return ids;
}

void X11HotKeys::Unregister() {
    std::vector<Grab> grabs;
    grabs.swap(FGrabs);
    for (const Grab& g : grabs) UngrabAll(g.keycode);
    Drain();
}

void X11HotKeys::Drain() {
    // Any sync may already have read events into Xlib's queue, so the queue is emptied after
    // every use of the connection, not only when the socket has data.
    std::vector<int> pressed;
    const unsigned ignored = LockMask | FNumLockMask;
    FX->With("HotKeys.Events", [&](Display* d) {
        while (XPending(d) > 0) {
            XEvent ev;
            XNextEvent(d, &ev);
            if (ev.type != KeyPress) continue;
            if ((ev.xkey.state & ~ignored & 0xff) != ControlMask) continue;
            for (const Grab& g : FGrabs) {
                if (g.keycode == ev.xkey.keycode) pressed.push_back(g.id);
            }
        }
    });
    for (int id : pressed) {
        if (OnHotKey) OnHotKey(id);
    }
}

}  // namespace wl
