// Ten years of days in the note store: load, one day's save (with the atomic rename), one lookup.
// Prints the median figures next to their targets.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "TenYears.h"
#include "data/Json.h"
#include "data/TWeekleaf.h"
#include "platform/DateText.h"

namespace {

using wl::bench::Clock;
using wl::bench::kDays;
using wl::bench::Median;
using wl::bench::Ms;

}  // namespace

int main() {
    namespace fs = std::filesystem;
    std::string root = (fs::temp_directory_path() / "wl-bench-XXXXXX").string();
    if (!::mkdtemp(root.data())) return 1;
    ::setenv("AppData", root.c_str(), 1);
    const fs::path file = fs::path(root) / "Weekleaf" / "Data.json";
    fs::create_directories(file.parent_path());

    std::vector<std::string> keys;
    {
        std::FILE* f = std::fopen(file.c_str(), "wb");
        std::fputs("{\"ver\":\"HTML\",\"note\":\"\",\"template\":\"\"}\r\n", f);
        std::fclose(f);
        wl::TWeekleaf store;
        const wl::Date first = wl::MakeDate(2015, 1, 1);
        for (int i = 0; i < kDays; ++i) {
            keys.push_back(wl::DateToStr(wl::AddDays(first, i)));
            store.Set(keys.back(), wl::bench::DayHtml(i));
        }
        store.SaveJSON();
    }
    const double fileMb = static_cast<double>(fs::file_size(file)) / (1 << 20);

    std::vector<double> loads;
    for (int i = 0; i < 15; ++i) {
        const auto t0 = Clock::now();
        wl::TWeekleaf store;
        loads.push_back(Ms(Clock::now() - t0));
    }

    wl::TWeekleaf store;
    std::vector<double> saves;
    for (int i = 0; i < 15; ++i) {
        const std::string html = wl::bench::DayHtml(i + 100000);
        const auto t0 = Clock::now();
        store.ToJSON_FromMainEditor(keys[static_cast<std::size_t>(i * 97) % keys.size()], html);
        saves.push_back(Ms(Clock::now() - t0));
    }

    // The part of a save that is not the disk's: serialising into the reused buffer.
    std::vector<double> serialises;
    std::string buffer;
    for (int i = 0; i < 15; ++i) {
        buffer.clear();
        const auto t0 = Clock::now();
        wl::SerializeJsonTo(store.JO, buffer);
        serialises.push_back(Ms(Clock::now() - t0));
    }

    std::mt19937 rng(42);
    std::vector<std::string> probes;
    for (int i = 0; i < 4096; ++i) probes.push_back(keys[rng() % keys.size()]);
    probes.push_back("01.01.1990");  // a missing day
    constexpr int kRounds = 200;
    std::size_t sink = 0;
    const auto t0 = Clock::now();
    for (int r = 0; r < kRounds; ++r)
        for (const auto& k : probes) sink += store.Get(k).size();
    const double lookupNs =
        std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / (kRounds * probes.size());

    std::printf("store: %d days, Data.json %.1f MB\n", kDays, fileMb);
    std::printf("load   (median of 15): %7.2f ms   target < 60 ms\n", Median(loads));
    std::printf("save   (median of 15): %7.2f ms   target < 30 ms  (serialise, write, fsync, rename)\n",
                Median(saves));
    std::printf("  of which serialising: %7.2f ms   (the rest is write, fsync and rename)\n",
                Median(serialises));
    std::printf("lookup (mean)        : %7.1f ns   target < 1000 ns  (checksum %zu)\n", lookupNs, sink % 10);
    if (!std::getenv("WL_BENCH_KEEP"))
        fs::remove_all(root);
    else
        std::printf("kept %s\n", root.c_str());
    return 0;
}
