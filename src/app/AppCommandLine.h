#pragma once
// What the weekleaf program makes of its command line before anything else starts: --help and
// --version answer and end at once (no display needed), a mistyped option is refused, and
// everything the program has always taken goes on as before: "/reg" as the first argument, other
// plain arguments (ignored), Qt's own options and the browser engine's --webEngineArgs. A show
// option asks the running program to do that one thing (and starts the program when none runs).
#include <string>
#include <vector>

namespace wl {

// The show operations another start can ask of the running program; the option is "--" + Name,
// the request on the instance channel is Name, and HotKeyId is the operation's hot-key identifier.
struct TRemoteOperation {
    const char* Name;
    int HotKeyId;
    const char* Help;
};
inline constexpr TRemoteOperation kRemoteOperations[] = {
    {"show-window", 0, "show the main window with the day page"},
    {"show-notes", 1, "show the notes page"},
    {"show-template", 2, "show the day template page"},
    {"toggle-blocks", 3, "switch the week's blocks on the wallpaper off or on"},
    {"week-editor", 4, "open the week editor on the desktop, or end it when it is open"},
};

struct TAppCommandLine {
    enum class TAction { Run, Help, Version, Refuse };
    // How the window comes up: a start by hand shows it, the autostart follows "Скрывать в трей
    // при запуске", and --hidden (the periodic restart of a hidden window) keeps it in the tray.
    enum class TWindow { Shown, AsSet, Hidden };
    TAction Action = TAction::Run;
    bool WaitAfterLogon = false;  // first argument "/reg": the autostart case
    TWindow Window = TWindow::Shown;
    const TRemoteOperation* Operation = nullptr;  // a show option, the last one given
    std::string Text;  // Help, Version: for standard output; Refuse: the one error line
};

constexpr const char* kHiddenOption = "--hidden";

// Arguments without the program name.
TAppCommandLine ParseAppCommandLine(const std::vector<std::string>& args);

// The command a desktop runs for hot key `id` where it runs commands instead of telling the
// program (sway's bindings, GNOME's custom shortcuts): `program` with the key's show option, the
// program quoted for both (a program path a double quote could not hold becomes "weekleaf", found
// through PATH); empty for an identifier without an operation.
std::string RemoteHotKeyCommand(const std::string& program, int id);

}  // namespace wl
