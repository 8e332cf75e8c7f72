// The channel between instances: a request reaches the running instance and its answer comes back,
// the socket is named after the session and lives in XDG_RUNTIME_DIR, no answer is given when
// nothing (or a dead instance's leftover file) is there, a silent listener costs only the time-out,
// and the running instance takes over a stale file and gives the name up when it closes.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>

#include "app/InstanceRequests.h"
#include "platform/InstanceChannel.h"
#include "ui/UiTestSupport.h"

namespace wl {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class InstanceChannelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        runtime = fs::temp_directory_path() / ("wl-channel-" + std::to_string(::getpid()));
        fs::remove_all(runtime);
        fs::create_directories(runtime);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("DISPLAY", ":47", 1);
    }
    void TearDown() override { fs::remove_all(runtime); }

    // Asks from another thread while this one runs the event loop, as two processes would.
    static std::optional<std::string> Ask(const std::string& request, int timeoutMs = 3000) {
        auto answer = std::async(std::launch::async, [&] { return AskRunningInstance(request, timeoutMs); });
        test::WaitFor([&] { return answer.wait_for(0ms) == std::future_status::ready; }, timeoutMs + 2000);
        return answer.get();
    }

    // A socket file as a killed instance leaves it: bound, then closed without removing it.
    static void LeaveStaleSocket(const std::string& path) {
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strcpy(a.sun_path, path.c_str());
        ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ::close(s);
    }

    fs::path runtime;
};

TEST_F(InstanceChannelTest, TheSocketIsNamedAfterTheSessionsDisplay) {
    struct Case {
        const char* wayland;
        const char* display;
        const char* name;
    };
    const Case cases[] = {
        {nullptr, ":47", "weekleaf-_47.socket"},
        {"wayland-1", ":47", "weekleaf-wayland_1.socket"},  // the Wayland session, XWayland or not
        {"", ":0.0", "weekleaf-_0_0.socket"},
        {nullptr, nullptr, "weekleaf-nodisplay.socket"},
    };
    for (const Case& c : cases) {
        c.wayland ? ::setenv("WAYLAND_DISPLAY", c.wayland, 1) : ::unsetenv("WAYLAND_DISPLAY");
        c.display ? ::setenv("DISPLAY", c.display, 1) : ::unsetenv("DISPLAY");
        EXPECT_EQ(InstanceChannelPath(), (runtime / c.name).string());
    }
}

TEST_F(InstanceChannelTest, RequestsReachTheRunningInstanceAndItsAnswersComeBack) {
    TInstanceChannel channel;
    std::vector<std::string> heard;
    ASSERT_TRUE(channel.Listen([&](const std::string& request) {
        heard.push_back(request);
        return request == "quit" ? "shown" : "ok";
    }));
    EXPECT_TRUE(fs::exists(InstanceChannelPath()));
    EXPECT_EQ(
        fs::status(InstanceChannelPath()).permissions() & (fs::perms::group_all | fs::perms::others_all),
        fs::perms::none);
    EXPECT_EQ(Ask("show-notes"), "ok");
    EXPECT_EQ(Ask("quit"), "shown");
    EXPECT_EQ(heard, (std::vector<std::string>{"show-notes", "quit"}));

    // A request that never ends its line is dropped without an answer.
    EXPECT_EQ(Ask(std::string(1000, 'x'), 1500), std::nullopt);
    EXPECT_EQ(heard.size(), 2u);

    channel.Close();
    EXPECT_FALSE(fs::exists(InstanceChannelPath())) << "the name is not free for a newer instance";
    EXPECT_EQ(Ask("quit"), std::nullopt);
}

TEST_F(InstanceChannelTest, NobodyThereOrADeadInstancesFileGivesNoAnswerAtOnce) {
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(AskRunningInstance("quit"), std::nullopt);
    LeaveStaleSocket(InstanceChannelPath());
    EXPECT_EQ(AskRunningInstance("quit"), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);

    // The next instance takes the name over.
    TInstanceChannel channel;
    ASSERT_TRUE(channel.Listen([](const std::string&) { return "ok"; }));
    EXPECT_EQ(Ask("show-window"), "ok");
}

TEST_F(InstanceChannelTest, AListenerThatNeverAnswersCostsOnlyTheTimeOut) {
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strcpy(a.sun_path, InstanceChannelPath().c_str());
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(s, 4), 0);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(AskRunningInstance("quit", 700), std::nullopt);
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(took, 600ms);
    EXPECT_LT(took, 3s);
    ::close(s);
}

const TRemoteOperation& WeekEditor() {
    return kRemoteOperations[4];
}

// The desktop's tokens travel with a show request as one-word fields after the operation's name;
// a token that could break the line or overflow the channel stays behind, the request still goes.
TEST(ShowRequestTest, TokensTravelAsFieldsAfterTheNameOnlyWhenTheyAreOneShortWord) {
    const std::string longToken(250, 'a');
    const struct {
        TActivationTokens tokens;
        std::string line;
    } cases[] = {
        {{}, "week-editor"},
        {{"8f0c", ""}, "week-editor xdg-activation-token=8f0c"},
        {{"", "host-42-_TIME123"}, "week-editor desktop-startup-id=host-42-_TIME123"},
        {{"8f0c", "id1"}, "week-editor xdg-activation-token=8f0c desktop-startup-id=id1"},
        {{"two words", "id1"}, "week-editor desktop-startup-id=id1"},
        {{"line\nbreak", ""}, "week-editor"},
        {{"ca\xc3\xa9", ""}, "week-editor"},  // not ASCII
        {{longToken, "id1"}, "week-editor desktop-startup-id=id1"},
    };
    for (const auto& c : cases) {
        const std::string line = ShowRequest(WeekEditor(), c.tokens);
        EXPECT_EQ(line, c.line);
        EXPECT_LE(line.size(), 256u);
        const auto back = ParseShowRequest(line);
        ASSERT_TRUE(back) << line;
        EXPECT_EQ(back->Operation, &WeekEditor());
    }
    const auto both =
        ParseShowRequest("week-editor later-field=1 xdg-activation-token=t1 desktop-startup-id=s1");
    ASSERT_TRUE(both);
    EXPECT_EQ(both->Tokens, (TActivationTokens{"t1", "s1"}));
    for (const char* notOne : {"", "quit", "week-editorx", " ", "xdg-activation-token=t1"})
        EXPECT_FALSE(ParseShowRequest(notOne)) << notOne;
}

// A running instance from before the tokens knows only the bare name: the newer start asks again.
TEST_F(InstanceChannelTest, AShowRequestWithTokensReachesOlderAndNewerInstances) {
    ::setenv("XDG_ACTIVATION_TOKEN", "tok-1", 1);
    ::unsetenv("DESKTOP_STARTUP_ID");
    const struct {
        bool older;
        std::vector<std::string> seen;
    } cases[] = {
        {false, {"week-editor xdg-activation-token=tok-1"}},
        {true, {"week-editor xdg-activation-token=tok-1", "week-editor"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> seen;
        TInstanceChannel channel;
        ASSERT_TRUE(channel.Listen([&](const std::string& request) -> std::string {
            seen.push_back(request);
            const bool known = c.older ? request == "week-editor" : ParseShowRequest(request).has_value();
            return known ? kDoneAnswer : kUnknownAnswer;
        }));
        auto shown = std::async(std::launch::async, [] { return AskRunningInstanceToShow(WeekEditor()); });
        test::WaitFor([&] { return shown.wait_for(0ms) == std::future_status::ready; }, 8000);
        EXPECT_TRUE(shown.get()) << (c.older ? "older" : "newer");
        EXPECT_EQ(seen, c.seen);
    }
    ::unsetenv("XDG_ACTIVATION_TOKEN");
}

}  // namespace
}  // namespace wl
