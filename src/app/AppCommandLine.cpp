#include "app/AppCommandLine.h"

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
    return "Usage: weekleaf [/reg] [--help] [--version] [Qt options]\n"
           "Weekleaf: a weekly planner that draws the shown week onto the desktop wallpaper and keeps\n"
           "every entry in sync through a Weekleaf sync service.\n\n"
           "  /reg          wait 10 seconds before starting (how the autostart entry starts it)\n"
           "  --help, -h    this text\n"
           "  --version     the program's version\n\n"
           "Qt's own options (-platform NAME, -display DISPLAY, -style NAME, ...) are passed on to Qt,\n"
           "and everything after --webEngineArgs to the editors' browser engine.\n"
           "A running weekleaf on the same display is ended when another one starts.\n\n"
           "Files: $AppData/Weekleaf when AppData is set, otherwise $XDG_DATA_HOME/Weekleaf\n"
           "(~/.local/share/Weekleaf): Config.ini, Data.json, ErrLog.txt and the wallpaper library.\n";
}

}  // namespace

TAppCommandLine ParseAppCommandLine(const std::vector<std::string>& args) {
    TAppCommandLine result;
    result.WaitAfterLogon = !args.empty() && args.front() == "/reg";
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") return {TAppCommandLine::TAction::Help, false, Usage()};
        if (arg == "--version") return {TAppCommandLine::TAction::Version, false, VersionText(kProgram)};
        if (arg == kWebEngineArgs) break;
        if (!arg.starts_with('-') || IsQtOption(arg)) continue;
        return {TAppCommandLine::TAction::Refuse, false, UnknownOptionLine(kProgram, arg)};
    }
    return result;
}

}  // namespace wl
