#pragma once
// The program's entry in the desktop session's autostart: on Linux desktops the XDG autostart
// entry "$XDG_CONFIG_HOME/autostart/weekleaf.desktop" (~/.config when XDG_CONFIG_HOME is unset).
#include <filesystem>
#include <string>
#include <vector>

namespace wl {

class TXdgAutostart {
  public:
    // The entry file in `folder`; the session's autostart folder by default.
    explicit TXdgAutostart(std::filesystem::path folder = DefaultFolder());
    static std::filesystem::path DefaultFolder();

    // Writes the entry that runs `command` (program path and its arguments) at logon; the file is
    // written atomically and marks itself as ours. A folder that cannot be written is skipped
    // silently; returns whether the entry was written.
    bool Add(const std::vector<std::string>& command) const;
    // Removes the entry when it is ours (an entry the user or a package put there stays).
    // Returns whether one was removed.
    bool Remove() const;

    std::filesystem::path EntryFile() const { return FFolder / "weekleaf.desktop"; }

    // The Exec value for a command, quoted and escaped by the desktop-entry rules, so paths with
    // spaces, quotes, backslashes or "%" run as they are.
    static std::string ExecValue(const std::vector<std::string>& command);

  private:
    std::filesystem::path FFolder;
};

}  // namespace wl
