// The command line of weekleaf-sync.
#include <gtest/gtest.h>

#include "TServerOptions.h"

namespace wl {
namespace {

TEST(ServerOptions, DefaultsListenOnLoopbackPort3000) {
    const auto parsed = ParseServerOptions({});
    ASSERT_TRUE(parsed.Error.empty());
    EXPECT_EQ(parsed.Options.Host, "127.0.0.1");
    EXPECT_EQ(parsed.Options.Port, 3000);
    EXPECT_FALSE(parsed.Options.DbPath.empty());
}

TEST(ServerOptions, ReadsEveryOptionInBothSpellings) {
    const auto parsed = ParseServerOptions({"--listen", "0.0.0.0:4000", "--db=/tmp/x.db", "--max-message",
                                            "1024", "--max-queue=4096", "--idle-timeout", "5",
                                            "--max-connections", "7", "--sync", "normal"});
    ASSERT_EQ(parsed.Error, "");
    EXPECT_EQ(parsed.Options.Host, "0.0.0.0");
    EXPECT_EQ(parsed.Options.Port, 4000);
    EXPECT_EQ(parsed.Options.DbPath, "/tmp/x.db");
    EXPECT_EQ(parsed.Options.MaxMessageBytes, 1024u);
    EXPECT_EQ(parsed.Options.MaxQueueBytes, 4096u);
    EXPECT_EQ(parsed.Options.IdleTimeout, std::chrono::seconds(5));
    EXPECT_EQ(parsed.Options.MaxConnections, 7u);
    EXPECT_EQ(parsed.Options.Durability, TSyncStore::TDurability::Normal);
}

TEST(ServerOptions, HelpWins) {
    EXPECT_TRUE(ParseServerOptions({"--db", "x", "--help"}).Help);
}

TEST(ServerOptions, BadCommandLinesAreExplained) {
    const std::vector<std::vector<std::string>> bad = {
        {"--listen", "3000"},
        {"--listen", "host:70000"},
        {"--listen", ":3000"},
        {"--listen"},
        {"--db", ""},
        {"--max-message", "0"},
        {"--max-message", "12k"},
        {"--idle-timeout", "-1"},
        {"--bogus", "1"},
        {"stray"},
        {"--max-message", "2000", "--max-queue", "1000"},
        {"--sync", "off"},
    };
    for (const auto& args : bad) EXPECT_FALSE(ParseServerOptions(args).Error.empty()) << args[0];
}

TEST(ServerOptions, UsageNamesEveryOption) {
    const std::string usage = ServerUsage();
    for (const char* option : {"--listen", "--db", "--max-message", "--max-queue", "--idle-timeout",
                               "--max-connections", "--sync", "--help"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace wl
