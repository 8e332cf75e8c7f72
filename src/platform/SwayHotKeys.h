#pragma once
// Hot keys in a sway session: sway gives no client a global key, but it runs a command bound to
// a key whatever window has focus. Each key is bound at run time through sway's IPC
// (`bindsym --no-repeat Ctrl+<key> exec <command>`), where the command is this program's remote
// control for that key's identifier; Unregister takes exactly those bindings away again.
//
// A key the user's own configuration already binds is left alone (skipped with one line to Log):
// binding over it would replace the user's binding, and unbinding later would lose it.
#include <functional>
#include <string>
#include <vector>

#include "platform/HotKeys.h"

namespace wl {

class SwayHotKeys : public IHotKeys {
  public:
    // `command(id)` is the shell command that key `id` runs. Throws std::runtime_error when the
    // compositor does not answer on `socketPath`.
    SwayHotKeys(std::string socketPath, std::function<std::string(int id)> command);
    ~SwayHotKeys() override;

    std::vector<int> Register(const HotKeyChars& keys) override;
    void Unregister() override;

    // sway's name of Ctrl + c ("Ctrl+6", "Ctrl+w"); empty for a character sway cannot bind here.
    static std::string Combo(char32_t c);
    // True when `config` (sway's configuration text) binds `combo` itself, in any spelling
    // ("Control+w", "ctrl+W", "$mod+w" with `set $mod Ctrl`).
    static bool ConfigBinds(const std::string& config, const std::string& combo);

  private:
    std::string FSocket;
    std::function<std::string(int)> FCommand;
    std::vector<std::string> FBound;  // the combos this object bound
};

}  // namespace wl
