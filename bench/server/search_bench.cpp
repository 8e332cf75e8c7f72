// The service's answer to a search over ten years of one account's days (SQLite store on disk):
// GET_SEARCH handled and committed, for a word in most days (the answer stops at the cap, newest
// first) and for one that only a single day holds (every day is read).
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "../data/TenYears.h"
#include "ClientRequests.h"
#include "TSqliteStore.h"
#include "TSyncService.h"
#include "platform/DateText.h"

namespace {

using wl::bench::Clock;
using wl::bench::kDays;
using wl::bench::Median;
using wl::bench::Ms;

double AnswerMs(wl::TSyncService& service, const std::string& query, std::size_t& bytes) {
    const auto start = Clock::now();
    service.Handle(1, wl::test::SearchRequest("bench", query));
    const std::vector<wl::TOutMessage> out = service.Commit();
    const double ms = Ms(Clock::now() - start);
    bytes = out.empty() ? 0 : out.back().Text->size();
    return ms;
}

}  // namespace

int main() {
    const std::filesystem::path db =
        std::filesystem::temp_directory_path() / ("wl-search-bench-" + std::to_string(::getpid()) + ".db");
    {
        wl::TSqliteStore store(db.string(), wl::TSyncStore::TDurability::Normal);
        wl::TSyncService service(store);
        const wl::Date first = wl::MakeDate(2015, 1, 1);
        for (int i = 0; i < kDays; ++i)
            service.Handle(1, wl::test::SetDayRequest("bench", wl::DateToStr(wl::AddDays(first, i)),
                                                      wl::bench::DayHtml(i), 1));
        service.Commit();
        std::printf("service search, %d days of ~1 KB Cyrillic HTML in SQLite (median of 5):\n", kDays);
        for (const char* query : {"ВРАЧ", "1234"}) {
            std::vector<double> times;
            std::size_t bytes = 0;
            for (int round = 0; round < 5; ++round) times.push_back(AnswerMs(service, query, bytes));
            std::printf("  \"%s\": %7.1f ms, answer %zu bytes\n", query, Median(times), bytes);
        }
    }
    std::filesystem::remove(db);
    for (const char* suffix : {"-wal", "-shm"}) std::filesystem::remove(db.string() + suffix);
    return 0;
}
