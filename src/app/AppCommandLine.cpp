#include "app/AppCommandLine.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/CommandLineText.h"

namespace wl {
namespace {

constexpr const char* kProgram = "weekleaf";

// The options QApplication and its X11 plugin read themselves; each may come with one or two
// dashes and, for those with a value, "=VALUE" or the value as the next argument.
constexpr std::array<std::string_view, 19> kQtOptions = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",      "qmljsdebugger", "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "display",     "geometry",      "name",
    "style",       "stylesheet",         "reverse",       "widgetcount", "nograb",        "dograb",
    "sync"};

// Everything after it belongs to the browser engine of the editors.
constexpr std::string_view kWebEngineArgs = "--webEngineArgs";

bool IsQtOption(std::string_view arg) {
    arg.remove_prefix(arg.starts_with("--") ? 2 : 1);
    arg = arg.substr(0, arg.find('='));
    for (std::string_view name : kQtOptions)
        if (arg == name) return true;
    return false;
}

std::string Usage() {
    std::string operations;
    for (const TRemoteOperation& op : kRemoteOperations) {
        std::string option = std::string("  --") + op.Name;
        option.resize(18, ' ');
        operations += option + op.Help + "\n";
    }
    return "Usage: weekleaf [/reg | --hidden] [--help] [--version] [Qt options]\n"
           "       weekleaf --show-window | --show-notes | --show-template | --toggle-blocks | "
           "--week-editor\n"
           "Weekleaf: a weekly planner that draws the shown week onto the desktop wallpaper and keeps\n"
           "every entry in sync through a Weekleaf sync service.\n\n"
           "  /reg            wait 10 seconds, then start hidden in the tray when the settings say so\n"
           "                  (how the autostart entry starts it)\n"
           "  --hidden        start with the window hidden in the tray\n"
           "  --help, -h      this text\n"
           "  --version       the program's version\n\n"
           "Started by hand, the window shows. A running weekleaf of the same session is ended when\n"
           "another one starts; the new one shows the window when the old one had it shown.\n\n"
           "These ask the running weekleaf to do one thing, and start it first when none runs:\n" +
           operations +
           "\nQt's own options (-platform NAME, -display DISPLAY, -style NAME, ...) are passed on to Qt,\n"
           "and everything after --webEngineArgs to the editors' browser engine.\n\n"
           "Files: $AppData/Weekleaf when AppData is set, otherwise $XDG_DATA_HOME/Weekleaf\n"
           "(~/.local/share/Weekleaf): Config.ini, Data.json, ErrLog.txt and the wallpaper library.\n";
}

const TRemoteOperation* RemoteOperation(std::string_view arg) {
    if (!arg.starts_with("--")) return nullptr;
    arg.remove_prefix(2);
    for (const TRemoteOperation& op : kRemoteOperations)
        if (arg == op.Name) return &op;
    return nullptr;
}

}  // namespace

TAppCommandLine ParseAppCommandLine(const std::vector<std::string>& args) {
    using TAction = TAppCommandLine::TAction;
    TAppCommandLine result;
    result.WaitAfterLogon = !args.empty() && args.front() == "/reg";
    if (result.WaitAfterLogon) result.Window = TAppCommandLine::TWindow::AsSet;
    const auto answer = [](TAction action, std::string text) {
        TAppCommandLine line;
        line.Action = action;
        line.Text = std::move(text);
        return line;
    };
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") return answer(TAction::Help, Usage());
        if (arg == "--version") return answer(TAction::Version, VersionText(kProgram));
        if (arg == kWebEngineArgs) break;
        if (arg == kHiddenOption) {
            result.Window = TAppCommandLine::TWindow::Hidden;
            continue;
        }
        if (const TRemoteOperation* op = RemoteOperation(arg)) {
            result.Operation = op;
            continue;
        }
        if (!arg.starts_with('-') || IsQtOption(arg)) continue;
        return answer(TAction::Refuse, UnknownOptionLine(kProgram, arg));
    }
    return result;
}

std::string RemoteHotKeyCommand(const std::string& program, int id) {
    for (const TRemoteOperation& op : kRemoteOperations) {
        if (op.HotKeyId != id) continue;
        const bool quotable = !program.empty() && std::none_of(program.begin(), program.end(), [](char c) {
            return c == '"' || c == '\\' || c == '$' || c == '`' || static_cast<unsigned char>(c) < 0x20;
        });
        return "\"" + (quotable ? program : std::string("weekleaf")) + "\" --" + op.Name;
    }
    return "";
}

}  // namespace wl
