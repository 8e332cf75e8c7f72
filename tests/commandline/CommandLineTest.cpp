// The three programs started as a user starts them from a terminal, with nothing of the caller's
// environment (no display above all: --help must not need one).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/WeekleafVersion.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

struct TRun {
    int status = -1;  // -1: killed, crashed or hung
    std::string out, err;
};

std::string ReadAll(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

class CommandLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("wl-command-line-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    // Runs `argv` with only PATH, HOME and a private data folder set; at most 20 s. With
    // `journal`, JOURNAL_STREAM names the file the program's standard error goes to, as systemd
    // sets it for a service whose output goes to the journal.
    TRun Run(std::vector<std::string> argv, bool journal = false) {
        const fs::path outPath = root_ / "out", errPath = root_ / "err";
        const int out = ::open(outPath.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
        std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + root_.string(),
                                        "AppData=" + root_.string()};
        if (journal) {
            struct stat st {};
            fstat(err, &st);
            env.push_back("JOURNAL_STREAM=" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino));
        }
        std::vector<char*> args, vars;
        for (std::string& a : argv) args.push_back(a.data());
        for (std::string& v : env) vars.push_back(v.data());
        args.push_back(nullptr);
        vars.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(out, STDOUT_FILENO);
            dup2(err, STDERR_FILENO);
            execve(args[0], args.data(), vars.data());
            _exit(127);
        }
        ::close(out);
        ::close(err);
        TRun run;
        run.status = Wait(pid);
        run.out = ReadAll(outPath);
        run.err = ReadAll(errPath);
        return run;
    }

    static int Wait(pid_t pid) {
        int status = 0;
        for (int i = 0; i < 1000; ++i) {
            if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }

    fs::path root_;
};

std::string Version(const std::string& program) {
    return program + " " + kWeekleafVersion + "\n";
}

TEST_F(CommandLineTest, HelpVersionAndMistypedOptionsAnswerWithoutStartingAnything) {
    struct Case {
        std::string binary, program;
        std::vector<std::string> args;
        int status;
        std::string out;  // exact, or contained when it ends with "..."
        std::string err;
    };
    const std::string app = WL_WEEKLEAF, render = WL_RENDER, sync = WL_SYNC_SERVER;
    const std::vector<Case> cases = {
        {app, "weekleaf", {"--version"}, 0, Version("weekleaf"), ""},
        {app, "weekleaf", {"/reg", "--help"}, 0, "Usage: weekleaf ...", ""},
        {app, "weekleaf", {"-h"}, 0, "Usage: weekleaf ...", ""},
        {app, "weekleaf", {"--x"}, 2, "", "weekleaf: unknown option '--x' (see --help)\n"},
        {app,
         "weekleaf",
         {"-platform", "offscreen", "--bogus=1"},
         2,
         "",
         "weekleaf: unknown option '--bogus=1' (see --help)\n"},
        {render, "weekleaf-render", {"--version"}, 0, Version("weekleaf-render"), ""},
        {render, "weekleaf-render", {"--help"}, 0, "usage: weekleaf-render ...", ""},
        {render,
         "weekleaf-render",
         {"--x", "1"},
         2,
         "",
         "weekleaf-render: unknown option '--x' (see --help)\n"},
        {render,
         "weekleaf-render",
         {"--size"},
         2,
         "",
         "weekleaf-render: --size needs a value (see --help)\n"},
        {sync, "weekleaf-sync", {"--version"}, 0, Version("weekleaf-sync"), ""},
        {sync, "weekleaf-sync", {"--help"}, 0, "Usage: weekleaf-sync ...", ""},
        {sync, "weekleaf-sync", {"--x"}, 2, "", "weekleaf-sync: unknown option '--x' (see --help)\n"},
        {sync,
         "weekleaf-sync",
         {"--listen", "3000"},
         2,
         "",
         "weekleaf-sync: --listen expects HOST:PORT, got \"3000\" (see --help)\n"},
    };
    for (const Case& c : cases) {
        if (c.binary.empty()) continue;  // not built in this configuration
        std::vector<std::string> argv = {c.binary};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const TRun run = Run(argv);
        const std::string what = c.program + " " + c.args.front();
        EXPECT_EQ(run.status, c.status) << what << "\n" << run.err;
        EXPECT_EQ(run.err, c.err) << what;
        if (c.out.ends_with("...")) {
            EXPECT_TRUE(run.out.starts_with(c.out.substr(0, c.out.size() - 3))) << what << "\n" << run.out;
            EXPECT_GT(run.out.size(), 200u) << what << ": the usage, not one line";
        } else {
            EXPECT_EQ(run.out, c.out) << what;
        }
    }
}

TEST_F(CommandLineTest, ServiceConfigFileErrorsNameFileAndLine) {
    if (std::string(WL_SYNC_SERVER).empty()) GTEST_SKIP() << "the service is not built";
    const fs::path conf = root_ / "weekleaf-sync.conf";
    std::ofstream(conf) << "# test\nlisten = 127.0.0.1:0\nsync = sometimes\n";
    const TRun run = Run({WL_SYNC_SERVER, "--config", conf.string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "weekleaf-sync: " + conf.string() +
                           ":3: sync expects full or normal, got \"sometimes\" (see --help)\n");
}

// A database that cannot be opened ends the service with status 1 and an error line, which the
// journal records as an error (priority 3) and a terminal shows plain.
TEST_F(CommandLineTest, ServiceErrorsReachTheJournalAsErrors) {
    if (std::string(WL_SYNC_SERVER).empty()) GTEST_SKIP() << "the service is not built";
    const std::vector<std::string> argv = {WL_SYNC_SERVER, "--listen", "127.0.0.1:0", "--db",
                                           (root_ / "no-such-folder" / "sync.db").string()};
    const TRun journal = Run(argv, true), terminal = Run(argv, false);
    EXPECT_EQ(journal.status, 1);
    EXPECT_TRUE(journal.err.starts_with("<3>weekleaf-sync: ")) << journal.err;
    EXPECT_EQ(terminal.status, 1);
    EXPECT_TRUE(terminal.err.starts_with("weekleaf-sync: ")) << terminal.err;
    EXPECT_EQ(terminal.err.substr(0, 100), journal.err.substr(3, 100));
}

}  // namespace
}  // namespace wl
