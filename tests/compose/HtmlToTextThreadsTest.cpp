#include "data/HtmlToText.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace wl {
namespace {

// Search and the sync handlers convert entries on several threads at once.
TEST(HtmlToTextThreads, ConcurrentCallsGiveTheSameTextAsSequentialOnes) {
    std::vector<std::string> entries;
    for (int i = 0; i < 64; ++i)
        entries.push_back("<p>День " + std::to_string(i) + "</p><ul><li>a&amp;b</li></ul><script>x</script>" +
                          std::string(static_cast<std::size_t>(i), ' ') + "<br>конец");
    std::vector<std::string> expected;
    for (const auto& e : entries) expected.push_back(HtmlToText(e));

    std::vector<std::vector<std::string>> results(4);
    std::vector<std::thread> threads;
    for (auto& result : results)
        threads.emplace_back([&entries, &result] {
            for (int round = 0; round < 20; ++round)
                for (const auto& e : entries) result.push_back(HtmlToText(e));
        });
    for (auto& t : threads) t.join();
    for (const auto& result : results)
        for (std::size_t i = 0; i < result.size(); ++i) ASSERT_EQ(result[i], expected[i % entries.size()]);
}

}  // namespace
}  // namespace wl
