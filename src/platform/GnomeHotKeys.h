#pragma once
// Hot keys in a GNOME Wayland session: GNOME gives no program a global key of its own (no
// shortcut portal before GNOME 48), but its settings daemon runs the command of a custom keyboard
// shortcut whatever window has focus. Each key becomes one such shortcut (GSettings
// org.gnome.settings-daemon.plugins.media-keys, relocatable custom-keybinding under
// ".../custom-keybindings/weekleaf-<id>/") whose command is this program's remote control for it.
//
// Only entries named weekleaf-<id> are ever written or removed; the user's own shortcuts stay as
// they are, and a key one of them already uses is skipped with one line to Log. Unregister (the
// option turned off, the program ending) removes exactly our entries, so nothing is left behind
// that would run a program no longer there.
#include <functional>
#include <string>
#include <vector>

#include "platform/HotKeys.h"

namespace wl {

class GnomeHotKeys : public IHotKeys {
  public:
    // `command(id)` is the shell command that key `id` runs. Throws std::runtime_error when the
    // settings daemon's schemas are not installed.
    explicit GnomeHotKeys(std::function<std::string(int id)> command);
    ~GnomeHotKeys() override;

    std::vector<int> Register(const HotKeyChars& keys) override;
    void Unregister() override;

    // GNOME's accelerator for Ctrl + c ("<Control>6"); empty for a character it cannot name here.
    static std::string Accelerator(char32_t c);
    // True when two accelerators name the same keys ("<Primary>w" and "<Ctrl>W" do).
    static bool SameAccelerator(const std::string& a, const std::string& b);
    // The settings path of key `id`'s entry.
    static std::string EntryPath(int id);

    static bool Available();

  private:
    std::function<std::string(int)> FCommand;
};

}  // namespace wl
