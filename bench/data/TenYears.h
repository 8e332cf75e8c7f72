#pragma once
// What the benchmarks over ten years of days share: the days, their entries and the timing helpers.
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace wl::bench {

using Clock = std::chrono::steady_clock;
constexpr int kDays = 3650;

inline double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// About 1 KB of UTF-8 HTML for one day, mostly Cyrillic, different for every day.
inline std::string DayHtml(int day) {
    static const char* kWords[] = {"встреча", "купить",     "молоко", "позвонить", "маме",   "отчёт",
                                   "врач",    "тренировка", "проект", "срочно",    "завтра", "письмо"};
    std::string html = "<div><b>" + std::to_string(day) + "</b></div>";
    int i = 0;
    for (; html.size() < 1000; ++i) {
        html += i % 5 == 0 ? "<div>- " : " ";
        html += kWords[(day * 7 + i * 3) % 12];
        if (i % 5 == 4) html += "</div>";
    }
    // Well nested, as the editor writes it: the last line's <div> is closed only when still open.
    return i % 5 == 0 ? html : html + "</div>";
}

}  // namespace wl::bench
