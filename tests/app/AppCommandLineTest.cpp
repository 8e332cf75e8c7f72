// What the program makes of its arguments: only --help, --version and mistyped options stop it;
// everything it took before still starts it, "/reg" first still waits.
#include <gtest/gtest.h>

#include "app/AppCommandLine.h"

namespace wl {
namespace {

using TAction = TAppCommandLine::TAction;

TEST(AppCommandLine, ArgumentsTheProgramHasAlwaysTakenStillStartIt) {
    struct Case {
        std::vector<std::string> args;
        bool wait;
    };
    const Case cases[] = {
        {{}, false},
        {{"/reg"}, true},
        {{"/REG"}, false},             // letter case differs: no wait, and no refusal either
        {{"restart", "/reg"}, false},  // only the first argument counts
        {{"/reg", "-platform", "offscreen"}, true},
        {{"-platform", "xcb", "-display", ":1", "-style=fusion", "-reverse"}, false},
        {{"--platform=offscreen", "--qwindowgeometry", "800x600"}, false},
        {{"--webEngineArgs", "--disable-gpu", "--remote-debugging-port=9222"}, false},
    };
    for (const Case& c : cases) {
        const TAppCommandLine line = ParseAppCommandLine(c.args);
        const std::string what = c.args.empty() ? "(none)" : c.args.front();
        EXPECT_EQ(line.Action, TAction::Run) << what << ": " << line.Text;
        EXPECT_EQ(line.WaitAfterLogon, c.wait) << what;
    }
}

// A start by hand shows the window, the autostart follows the setting, --hidden keeps it in the
// tray; a show option names one operation (the last one given wins) and leaves the rest as it is.
TEST(AppCommandLine, TheWindowModeAndTheShowOptions) {
    using TWindow = TAppCommandLine::TWindow;
    struct Case {
        std::vector<std::string> args;
        TWindow window;
        const char* operation;  // nullptr: none
    };
    const Case cases[] = {
        {{}, TWindow::Shown, nullptr},
        {{"/reg"}, TWindow::AsSet, nullptr},
        {{"--hidden"}, TWindow::Hidden, nullptr},
        {{"/reg", "--hidden"}, TWindow::Hidden, nullptr},
        {{"--show-window"}, TWindow::Shown, "show-window"},
        {{"--show-notes"}, TWindow::Shown, "show-notes"},
        {{"--show-template", "-platform", "xcb"}, TWindow::Shown, "show-template"},
        {{"--toggle-blocks"}, TWindow::Shown, "toggle-blocks"},
        {{"--show-notes", "--week-editor"}, TWindow::Shown, "week-editor"},
        {{"--webEngineArgs", "--show-notes"}, TWindow::Shown, nullptr},  // the engine's, not ours
    };
    for (const Case& c : cases) {
        const TAppCommandLine line = ParseAppCommandLine(c.args);
        const std::string what = c.args.empty() ? "(none)" : c.args.front();
        EXPECT_EQ(line.Action, TAction::Run) << what << ": " << line.Text;
        EXPECT_EQ(line.Window, c.window) << what;
        EXPECT_STREQ(line.Operation ? line.Operation->Name : nullptr, c.operation) << what;
    }
    // Each operation is its own hot key's, and --help names every option.
    const std::string help = ParseAppCommandLine({"--help"}).Text;
    for (int id = 0; id < int(std::size(kRemoteOperations)); ++id) {
        EXPECT_EQ(kRemoteOperations[id].HotKeyId, id);
        EXPECT_NE(help.find(std::string("--") + kRemoteOperations[id].Name + " "), std::string::npos);
    }
    EXPECT_NE(help.find("--hidden "), std::string::npos);
}

TEST(AppCommandLine, AHotKeyTheDesktopRunsIsTheShowOptionOfItsOperation) {
    const struct {
        const char* program;
        int id;
        const char* command;
    } cases[] = {
        {"/usr/libexec/weekleaf/weekleaf", 0, "\"/usr/libexec/weekleaf/weekleaf\" --show-window"},
        {"/home/u/Мои программы/weekleaf", 4, "\"/home/u/Мои программы/weekleaf\" --week-editor"},
        {"/opt/a\"b/weekleaf", 3, "\"weekleaf\" --toggle-blocks"},  // nothing may end the quotes early
        {"/opt/$HOME/weekleaf", 1, "\"weekleaf\" --show-notes"},    // nor expand in a shell
        {"", 2, "\"weekleaf\" --show-template"},
        {"/usr/bin/weekleaf", 5, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(RemoteHotKeyCommand(c.program, c.id), c.command) << c.program;
}

TEST(AppCommandLine, MistypedOptionsAreRefusedByName) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--verbose"}, "--verbose"},
        {{"--show-note"}, "--show-note"},
        {{"-hidden"}, "-hidden"},
        {{"/reg", "-x"}, "-x"},
        {{"-"}, "-"},
        {{"-platformx"}, "-platformx"},
        {{"--disable-gpu", "--webEngineArgs"}, "--disable-gpu"},  // engine flags only after the marker
    };
    for (const auto& [args, option] : cases) {
        const TAppCommandLine line = ParseAppCommandLine(args);
        EXPECT_EQ(line.Action, TAction::Refuse) << option;
        EXPECT_EQ(line.Text, "weekleaf: unknown option '" + option + "' (see --help)\n");
    }
}

TEST(AppCommandLine, HelpAndVersionAnswerUnlessAMistakeComesFirst) {
    EXPECT_EQ(ParseAppCommandLine({"/reg", "-platform", "xcb", "--help"}).Action, TAction::Help);
    EXPECT_EQ(ParseAppCommandLine({"--version", "--bogus"}).Action, TAction::Version);
    EXPECT_EQ(ParseAppCommandLine({"--bogus", "--version"}).Action, TAction::Refuse);
}

}  // namespace
}  // namespace wl
