#pragma once
// Hot keys on an X11 display: each key is grabbed on the root window with Ctrl, and again with
// Ctrl + Caps Lock, Ctrl + Num Lock and Ctrl + both, so it works in every lock state. The key
// presses arrive on the backend's own connection, which the Qt event loop watches, so OnHotKey
// runs on the main thread. A key that another client has grabbed first is skipped.
#include <QObject>
#include <memory>

#include "platform/HotKeys.h"

class QSocketNotifier;

namespace wl {

class X11Connection;

class X11HotKeys : public QObject, public IHotKeys {
    Q_OBJECT
  public:
    // Opens its own connection to `display` ($DISPLAY when empty); throws X11Error when the
    // server cannot be reached. Needs a running QCoreApplication for the key presses.
    explicit X11HotKeys(const std::string& display = "");
    ~X11HotKeys() override;

    std::vector<int> Register(const HotKeyChars& keys) override;
    void Unregister() override;

  private:
    struct Grab {
        int id;
        unsigned keycode;
    };
    // Grabs the key with every lock variant, or none of them; an empty text on success, else why not.
    std::string GrabAll(unsigned keycode);
    void UngrabAll(unsigned keycode);
    // Reads the events waiting on the connection and reports the hot keys among them.
    void Drain();

    std::unique_ptr<X11Connection> FX;
    QSocketNotifier* FNotifier = nullptr;
    unsigned FNumLockMask = 0;
    std::vector<Grab> FGrabs;
};

}  // namespace wl
