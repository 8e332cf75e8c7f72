// The service's log lines: the level filter and the journal's priority prefix.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ServerLog.h"

namespace wl {
namespace {

TEST(ServerLog, TheJournalGetsThePriorityPlainStderrDoesNot) {
    EXPECT_EQ(FormatServerLogLine(TLogLevel::Error, "rollback failed: x", true),
              "<3>weekleaf-sync: rollback failed: x\n");
    EXPECT_EQ(FormatServerLogLine(TLogLevel::Warning, "accept: y", true), "<4>weekleaf-sync: accept: y\n");
    EXPECT_EQ(FormatServerLogLine(TLogLevel::Info, "stopped", true), "<6>weekleaf-sync: stopped\n");
    EXPECT_EQ(FormatServerLogLine(TLogLevel::Debug, "connection 1 open", true),
              "<7>weekleaf-sync: connection 1 open\n");
    EXPECT_EQ(FormatServerLogLine(TLogLevel::Error, "stopped", false), "weekleaf-sync: stopped\n");
}

// JOURNAL_STREAM must name the very file behind the descriptor: systemd leaves the variable to
// children whose standard error was redirected elsewhere.
TEST(ServerLog, JournalStreamMustNameTheDescriptorsFile) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("wl-journal-" + std::to_string(::getpid()))).string();
    const int fd = ::open(path.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    struct stat st {};
    ASSERT_EQ(fstat(fd, &st), 0);
    const std::string dev = std::to_string(st.st_dev), ino = std::to_string(st.st_ino);
    const std::string otherIno = std::to_string(st.st_ino + 1), otherDev = std::to_string(st.st_dev + 1);
    struct Case {
        const char* value;
        bool journal;
    };
    const std::string same = dev + ":" + ino, wrongIno = dev + ":" + otherIno,
                      wrongDev = otherDev + ":" + ino, trailing = same + ":", noDev = ":" + ino,
                      noIno = dev + ":", spaced = dev + ": " + ino;
    const Case cases[] = {
        {same.c_str(), true},      {nullptr, false},          {"", false},
        {"garbage", false},        {wrongIno.c_str(), false}, {wrongDev.c_str(), false},
        {trailing.c_str(), false}, {noDev.c_str(), false},    {noIno.c_str(), false},
        {spaced.c_str(), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsJournalStream(c.value, fd), c.journal) << (c.value ? c.value : "unset");
    ::close(fd);
    ::unlink(path.c_str());
}

// Standard error redirected into a file for the lifetime of the object.
class StderrToFile {
  public:
    StderrToFile()
        : path_((std::filesystem::temp_directory_path() / ("wl-stderr-" + std::to_string(::getpid())))
                    .string()) {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int fd = ::open(path_.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~StderrToFile() {
        Restore();
        ::unlink(path_.c_str());
    }
    std::string Text() {
        Restore();
        std::ostringstream text;
        text << std::ifstream(path_).rdbuf();
        return text.str();
    }

  private:
    void Restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }
    std::string path_;
    int saved_ = -1;
};

TEST(ServerLog, LinesMoreDetailedThanTheLevelAreDropped) {
    ::unsetenv("JOURNAL_STREAM");  // plain lines, whatever runs the test
    StderrToFile captured;
    SetServerLogLevel(TLogLevel::Warning);
    ServerLog(TLogLevel::Debug, "d");
    ServerLog(TLogLevel::Info, "i");
    ServerLog("plain");
    ServerLog(TLogLevel::Warning, "w");
    ServerLog(TLogLevel::Error, "e");
    SetServerLogLevel(TLogLevel::Info);
    EXPECT_EQ(captured.Text(), "weekleaf-sync: w\nweekleaf-sync: e\n");
}

}  // namespace
}  // namespace wl
