// Autostart entry, update check and restart with real files and real companion programs (small
// scripts and copies of system tools standing in for the updater and the program).
#include "app/ShellDuties.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/Autostart.h"
#include "platform/Programs.h"

namespace wl {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

class ShellDutiesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "wl-shell-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path Script(const std::string& name, const std::string& body) {
        const fs::path p = root / name;
        std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(p, fs::perms::owner_all);
        return p;
    }
    fs::path Entry() const { return root / "config" / "autostart" / "weekleaf.desktop"; }

    fs::path root;
};

TEST(AutostartExec, QuotesAndEscapesByTheDesktopEntryRules) {
    struct Case {
        std::vector<std::string> command;
        std::string exec;
    };
    const Case cases[] = {
        {{"/usr/bin/weekleaf", "/reg"}, "/usr/bin/weekleaf /reg"},
        {{"/home/я/My Apps/weekleaf", "/reg"}, "\"/home/я/My Apps/weekleaf\" /reg"},
        {{"/opt/a\"b$c`d/weekleaf"}, "\"/opt/a\\\\\"b\\\\$c\\\\`d/weekleaf\""},
        {{"/opt/back\\slash/weekleaf"}, "\"/opt/back\\\\\\\\slash/weekleaf\""},
        {{"/opt/100%/weekleaf"}, "/opt/100%%/weekleaf"},
        {{"/opt/it's/weekleaf"}, "\"/opt/it's/weekleaf\""},
        {{"/opt/tab\there/weekleaf"}, "\"/opt/tab\\there/weekleaf\""},
    };
    for (const Case& c : cases) EXPECT_EQ(TXdgAutostart::ExecValue(c.command), c.exec) << c.command[0];
}

TEST_F(ShellDutiesTest, TheEntryRunsOurPathWithRegAndFollowsTheSetting) {
    EXPECT_EQ(TXdgAutostart::DefaultFolder(), root / "config" / "autostart");
    ApplyStartWithOS(true, "/opt/My Apps/weekleaf");
    const std::string entry = Read(Entry());
    EXPECT_NE(entry.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(entry.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(entry.find("\nExec=\"/opt/My Apps/weekleaf\" /reg\n"), std::string::npos) << entry;

    // Rewritten at every start while the option is on, even after the user deleted it.
    fs::remove(Entry());
    ApplyStartWithOS(true, "/usr/bin/weekleaf");
    EXPECT_NE(Read(Entry()).find("\nExec=/usr/bin/weekleaf /reg\n"), std::string::npos);

    // Saved off: our entry goes.
    ApplyStartWithOS(false);
    EXPECT_FALSE(fs::exists(Entry()));
}

TEST_F(ShellDutiesTest, AnEntryThatIsNotOursStaysWhenTheOptionIsOff) {
    fs::create_directories(Entry().parent_path());
    std::ofstream(Entry()) << "[Desktop Entry]\nType=Application\nExec=weekleaf --my-own\n";
    ApplyStartWithOS(false);
    EXPECT_TRUE(fs::exists(Entry()));
}

TEST_F(ShellDutiesTest, AnAutostartFolderThatCannotBeWrittenIsSkipped) {
    fs::create_directories(root / "config");
    std::ofstream(root / "config" / "autostart") << "a file where the folder should be";
    EXPECT_NO_THROW(ApplyStartWithOS(true, "/usr/bin/weekleaf"));
    EXPECT_FALSE(TXdgAutostart().Add({"/usr/bin/weekleaf"}));
    EXPECT_NO_THROW(ApplyStartWithOS(false));
}

TEST_F(ShellDutiesTest, TheUpdaterIsStartedWithItsParametersAndNotWaitedFor) {
    EXPECT_FALSE(CheckUpdate(root));  // no updater beside the program
    Script(kUpdaterName, "printf '%s|' \"$@\" > \"" + (root / "args").string() + ".tmp\"; sleep 2; mv \"" +
                             (root / "args").string() + ".tmp\" \"" + (root / "args").string() + "\"");
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(CheckUpdate(root));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1500ms);
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(root / "args"); }));
    EXPECT_EQ(Read(root / "args"), "https://weekleaf.org/update|Weekleaf 3.0.3|");
}

TEST_F(ShellDutiesTest, TheRestarterGetsRestartAndOurPidAndARunningUpdaterIsAskedToClose) {
    // A running updater: a copy of sleep under the updater's name.
    fs::copy_file("/bin/sleep", root / kUpdaterName);
    ASSERT_TRUE(StartDetached(root / kUpdaterName, {"30"}));
    Script(kRestarterName, "echo \"$* $WEEKLEAF_RESTART_PID\" > \"" + (root / "restarter").string() + "\"");
    EXPECT_TRUE(StartRestarter(root));
    ASSERT_TRUE(WaitUntil([&] { return !Read(root / "restarter").empty(); }));
    EXPECT_EQ(Read(root / "restarter"), "restart " + std::to_string(::getpid()) + "\n");
    // A hidden window stays hidden: the new instance is told so.
    fs::remove(root / "restarter");
    EXPECT_TRUE(StartRestarter(root, true));
    ASSERT_TRUE(WaitUntil([&] { return !Read(root / "restarter").empty(); }));
    EXPECT_EQ(Read(root / "restarter"), "restart --hidden " + std::to_string(::getpid()) + "\n");
    EXPECT_TRUE(WaitUntil([&] { return AskProgramsToClose(kUpdaterName) == 0; })) << "the updater still runs";
}

TEST_F(ShellDutiesTest, AMissingOrBrokenRestarterIsReported) {
    EXPECT_FALSE(StartRestarter(root));
    std::ofstream(root / kRestarterName) << "not a program";
    fs::permissions(root / kRestarterName, fs::perms::owner_all);
    EXPECT_FALSE(StartRestarter(root));
}

// The period, and the quiet spell the restart waits for: three minutes, or the shorter period.
TEST(RestartInterval, ComesFromTheEnvironmentWhenItIsAPositiveNumber) {
    struct Case {
        const char* value;
        int period, quiet;
    };
    const Case cases[] = {
        {nullptr, 7000000, 180000},       {"3000", 3000, 3000},       {"", 7000000, 180000},
        {"0", 7000000, 180000},           {"-5", 7000000, 180000},    {"12x", 7000000, 180000},
        {"99999999999", 7000000, 180000}, {"600000", 600000, 180000},
    };
    for (const Case& c : cases) {
        if (c.value)
            ::setenv("WEEKLEAF_RESTART_MS", c.value, 1);
        else
            ::unsetenv("WEEKLEAF_RESTART_MS");
        EXPECT_EQ(RestartIntervalMs(), c.period) << (c.value ? c.value : "(unset)");
        EXPECT_EQ(RestartQuietMs(), c.quiet) << (c.value ? c.value : "(unset)");
    }
    ::unsetenv("WEEKLEAF_RESTART_MS");
}

TEST_F(ShellDutiesTest, TheRestarterWaitsForTheOldProcessThenStartsTheProgramBesideIt) {
    fs::copy_file(WL_RESTARTER, root / kRestarterName);
    const fs::path started = root / "started";
    Script("weekleaf", "echo \"$# $* ${WEEKLEAF_RESTART_PID:-none}\" > \"" + started.string() + "\"");
    const pid_t old = ::fork();
    if (old == 0) {
        ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    ASSERT_TRUE(StartDetached(root / kRestarterName, {"restart", "--hidden"},
                              {{"WEEKLEAF_RESTART_PID", std::to_string(old)}}));
    std::this_thread::sleep_for(700ms);
    EXPECT_FALSE(fs::exists(started)) << "started while the old process still ran";
    ::kill(old, SIGKILL);  // a zombie until collected: already ended for the restarter
    ASSERT_TRUE(WaitUntil([&] { return !Read(started).empty(); }));
    EXPECT_EQ(Read(started), "1 --hidden none\n");  // the arguments after "restart" go along
    ::waitpid(old, nullptr, 0);
}

}  // namespace
}  // namespace wl
