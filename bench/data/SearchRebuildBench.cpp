// Ten years of days: the local search (the first one, which makes every day's plain text, and the
// following ones) and the conversion of a store of RTF entries (both steps, with the save).
// Prints median figures next to their targets.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "TenYears.h"
#include "data/Json.h"
#include "data/SearchInStore.h"
#include "data/TRebuildDB.h"
#include "data/TWeekleaf.h"
#include "platform/DateText.h"

namespace {

using wl::bench::Clock;
using wl::bench::kDays;
using wl::bench::Median;
using wl::bench::Ms;

// About 1 KB of RTF as a rich edit control wrote it: Cyrillic as \'hh, paragraphs, formatting.
std::string DayRtf(int day) {
    static const char* kWords[] = {
        "\\'e2\\'f1\\'f2\\'f0\\'e5\\'f7\\'e0",      "\\'ea\\'f3\\'ef\\'e8\\'f2\\'fc",
        "\\'ec\\'ee\\'eb\\'ee\\'ea\\'ee",           "\\b \\'e2\\'f0\\'e0\\'f7\\b0",
        "\\u1078?\\u1076?\\u1072?\\u1090?\\u1100?", "\\'ef\\'f0\\'ee\\'e5\\'ea\\'f2"};
    std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049{\\fonttbl{\\f0\\fnil\\fcharset204 Tahoma;}}\r\n"
        "{\\colortbl ;\\red255\\green0\\blue0;}\r\n\\viewkind4\\uc1\\pard\\f0\\fs16 " +
        std::to_string(day) + "\\par\r\n";
    for (int i = 0; rtf.size() < 1000; ++i) {
        rtf += kWords[(day + i) % 6];
        rtf += i % 6 == 5 ? "\\par\r\n" : " ";
    }
    return rtf + "\\par\r\n}\r\n";
}

std::filesystem::path TempFolder() {
    std::string root = (std::filesystem::temp_directory_path() / "wl-bench-XXXXXX").string();
    if (!::mkdtemp(root.data())) std::exit(1);
    ::setenv("AppData", root.c_str(), 1);
    std::filesystem::create_directories(std::filesystem::path(root) / "Weekleaf");
    return root;
}

void WriteStore(const std::filesystem::path& file, const char* ver, std::string (*entry)(int)) {
    wl::JsonValue doc = wl::JsonValue::MakeObject();
    doc.Set("ver", wl::JsonValue(ver));
    doc.Set("note", wl::JsonValue(entry(kDays + 1)));
    doc.Set("template", wl::JsonValue(entry(kDays + 2)));
    const wl::Date first = wl::MakeDate(2015, 1, 1);
    for (int i = 0; i < kDays; ++i) doc.Set(wl::DateToStr(wl::AddDays(first, i)), wl::JsonValue(entry(i)));
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) std::exit(1);
    const std::string text = wl::SerializeJson(doc);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

void Search(const std::filesystem::path& file) {
    WriteStore(file, "HTML", wl::bench::DayHtml);
    const wl::TWeekleaf store(file);
    std::vector<double> firsts, laters;
    std::size_t hits = 0;
    for (int round = 0; round < 7; ++round) {
        wl::TStoreSearch search;
        auto t0 = Clock::now();
        hits = search.SearchInStore(store.JO, "ВРАЧ").size();
        firsts.push_back(Ms(Clock::now() - t0));
        t0 = Clock::now();
        hits = search.SearchInStore(store.JO, "Тренировка").size();
        laters.push_back(Ms(Clock::now() - t0));
    }
    std::printf("search, %d days of ~1 KB Cyrillic HTML (%zu hits):\n", kDays, hits);
    std::printf("  first search (median of 7): %7.2f ms   (makes every day's plain text)\n", Median(firsts));
    std::printf("  later search (median of 7): %7.2f ms   target < 20 ms\n", Median(laters));
}

void Rebuild(const std::filesystem::path& file) {
    std::vector<double> times;
    std::size_t sends = 0;
    for (int round = 0; round < 5; ++round) {
        WriteStore(file, "RTFv2", DayRtf);
        const auto t0 = Clock::now();
        wl::TWeekleaf store(file);
        wl::TRebuildDB rebuild(store);
        rebuild.mayBy_StartRebuildDB_ToHTML();
        wl::TRebuildSends send;
        sends = 0;
        send.SetNote = [&](const std::string&) { ++sends; };
        send.SetTemplate = [&](const std::string&) { ++sends; };
        send.SetDay = [&](wl::Date, const std::string&) { ++sends; };
        if (!rebuild.mayBy_EndRebuildDB_ToHTML(send)) std::exit(1);
        times.push_back(Ms(Clock::now() - t0));
    }
    std::printf(
        "conversion of %d RTF entries of ~1 KB (load, both steps, %zu sends, save): %7.1f ms"
        "   target < 1000 ms\n",
        kDays, sends, Median(times));
}

}  // namespace

int main() {
    const std::filesystem::path root = TempFolder();
    const std::filesystem::path file = root / "Weekleaf" / "Data.json";
    Search(file);
    Rebuild(file);
    std::filesystem::remove_all(root);
    return 0;
}
