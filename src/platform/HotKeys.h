#pragma once
// The five global hot keys: Ctrl plus one character each, identifiers 0 to 4 (main window, notes,
// template, blocks on/off, desktop editor). One small interface, a backend per window system
// (X11HotKeys grabs the keys on the root window) and a memory backend for tests. No Qt, no Xlib.
//
// Threads: every call and every OnHotKey call happen on the main thread.
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace wl {

// The characters of identifiers 0..4 in order; 0 (no character) leaves that identifier out.
using HotKeyChars = std::array<char32_t, 5>;

// How the keys reach the program, so the options page can tell the user.
enum class THotKeyWay {
    Grabbed,         // the program grabs them from the window system itself (X11)
    SwayBindings,    // bindings added to sway at run time
    GnomeShortcuts,  // custom shortcuts of GNOME's keyboard settings
    Portal,          // the desktop portal's global shortcuts, changeable in the desktop's settings
    XwaylandOnly,    // X11 grabs in a Wayland session: only while an X11 window has focus
    Unavailable,     // nothing here can register them, or the registration failed
};

class IHotKeys {
  public:
    virtual ~IHotKeys() = default;

    // Registers Ctrl + keys[id] for id 0..4 in order. A key that cannot be used (no character, no
    // key for it on this keyboard, already held by another program) is skipped with one line to
    // Log; the others still work. Returns the identifiers that were registered.
    virtual std::vector<int> Register(const HotKeyChars& keys) = 0;
    // Removes every key this object registered; harmless when none is.
    virtual void Unregister() = 0;
    std::vector<int> ReRegister(const HotKeyChars& keys) {
        Unregister();
        return Register(keys);
    }

    // How this backend provides the keys; Unavailable once a registration failed as a whole.
    THotKeyWay Way() const { return FFailed ? THotKeyWay::Unavailable : FWay; }

    // Called with the identifier of a pressed key, on the main thread.
    std::function<void(int id)> OnHotKey;
    // Where skipped keys are reported (the error log in the program).
    std::function<void(const std::string&)> Log;

  protected:
    void Report(const std::string& line) const {
        if (Log) Log(line);
    }
    void Provides(THotKeyWay way) { FWay = way; }
    void Failed(bool failed) { FFailed = failed; }

  private:
    THotKeyWay FWay = THotKeyWay::Grabbed;
    bool FFailed = false;
};

// The keys' character as the key to grab: letters a..z count as A..Z.
char32_t HotKeyFold(char32_t c);

// The key's name where a desktop names keys by their Latin character (sway, GNOME, the portal):
// a lower-case letter or a digit; 0 for any other character.
inline char LatinKey(char32_t c) {
    if (c >= U'A' && c <= U'Z') c = c - U'A' + U'a';
    const bool plain = (c >= U'a' && c <= U'z') || (c >= U'0' && c <= U'9');
    return plain ? static_cast<char>(c) : 0;
}

// The shell command that makes the running program act on hot key `id` (its remote control),
// for sessions where the compositor runs a command for a key instead of telling the program.
using HotKeyCommand = std::function<std::string(int id)>;

// The backend of the running session. Where the compositor runs a command for a key and a remote
// command is given: sway's bindings when SWAYSOCK names a running sway, GNOME custom shortcuts in
// a GNOME Wayland session (X11 grabs there fire only while an Xwayland window has focus). Other
// Wayland sessions: the desktop portal's global shortcuts where it offers them (KDE Plasma).
// Otherwise X11 grabs when DISPLAY names a reachable server, else one that registers nothing (and
// says so once through Log).
std::unique_ptr<IHotKeys> MakeHotKeys(std::function<void(const std::string&)> log,
                                      HotKeyCommand remoteCommand = {});

}  // namespace wl
