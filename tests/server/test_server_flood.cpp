// The weekleaf-sync program under floods of pipelined requests from one client: its memory stays
// bounded whatever that client sends, the client that never reads is closed, and another client is
// still answered meanwhile.
#include <gtest/gtest.h>

#include <string>

#include "ServerFlood.h"
#include "TestStorage.h"

namespace wl {
namespace {

using namespace std::chrono_literals;
using test::TFloodCase;
using test::TFloodFigures;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kFiguresAreMeaningful = false;  // the sanitizer's bookkeeping swamps memory and time
#else
constexpr bool kFiguresAreMeaningful = true;
#endif

// A single client may cost the service at most this much memory.
constexpr long kMaxGrowthKb = 64 * 1024;

class ServerFlood : public testing::TestWithParam<std::tuple<TFloodCase, test::TStorageKind>> {};

TEST_P(ServerFlood, MemoryStaysBoundedAndOthersAreServed) {
    const TFloodCase& c = std::get<0>(GetParam());
    const test::TTestStorage storage(std::get<1>(GetParam()));
    // The address-space cap keeps a regression from taking the machine down with it.
    test::TServerProcess service(WL_SYNC_SERVER_BIN, storage.Db(),
                                 {"--sync", "normal", "--idle-timeout", "2"},
                                 kFiguresAreMeaningful ? std::size_t{3} << 30 : 0);
    ASSERT_NE(service.Port(), 0) << "weekleaf-sync did not report its port";

    const TFloodFigures f = test::RunFlood(c, service);
    const std::string figures = "base " + std::to_string(f.BaseKb) + " kB, peak " + std::to_string(f.PeakKb) +
                                " kB, settled " + std::to_string(f.SettledKb) + " kB after " +
                                std::to_string(f.BackAfterS) + " s; other client: slowest " +
                                std::to_string(f.OtherMaxMs) + " ms, " + std::to_string(f.OtherMissed) +
                                " unanswered; " + std::to_string(f.RequestsSent) + " requests sent, " +
                                std::to_string(f.Answers) + " answers read";
    EXPECT_GT(f.RequestsSent, 0) << figures;
    if (kFiguresAreMeaningful) {
        EXPECT_LT(f.PeakKb - f.BaseKb, kMaxGrowthKb) << figures;
        EXPECT_GE(f.BackAfterS, 0) << "the service did not come back near its base: " << figures;
        EXPECT_LT(f.OtherMaxMs, 1000) << figures;  // generous: a stalled service waits for seconds
    }
    EXPECT_EQ(f.OtherMissed, 0) << figures;
    if (c.Reads) {
        EXPECT_EQ(f.Answers, c.Requests) << figures;
    }
    if (c.Linger > 0ms) {
        EXPECT_TRUE(f.ClosedWhileLingering) << figures;
    }
    EXPECT_TRUE(f.WritesKept) << figures;
    EXPECT_EQ(service.Stop(), 0);
}

// A client that never reads lingers past the service's idle time-out of 2 s.
INSTANTIATE_TEST_SUITE_P(Floods, ServerFlood,
                         testing::Combine(testing::ValuesIn(test::FloodCases(5s)), test::AllStorages()),
                         [](const testing::TestParamInfo<std::tuple<TFloodCase, test::TStorageKind>>& info) {
                             return std::string(std::get<0>(info.param).Name) + "_" +
                                    test::KindName(std::get<1>(info.param));
                         });

}  // namespace
}  // namespace wl
