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

TEST(AppCommandLine, MistypedOptionsAreRefusedByName) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--verbose"}, "--verbose"},
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
