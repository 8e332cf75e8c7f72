#pragma once
// About 1 KB of UTF-8 HTML for one day, mostly Cyrillic, different for every day: the entries of
// the ten-year stores the benchmarks measure.
#include <string>

namespace wl::bench {

inline std::string DayHtml(int day) {
    static const char* kWords[] = {"встреча", "купить",     "молоко", "позвонить", "маме",   "отчёт",
                                   "врач",    "тренировка", "проект", "срочно",    "завтра", "письмо"};
    std::string html = "<div><b>" + std::to_string(day) + "</b></div>";
    for (int i = 0; html.size() < 1000; ++i) {
        html += i % 5 == 0 ? "<div>- " : " ";
        html += kWords[(day * 7 + i * 3) % 12];
        if (i % 5 == 4) html += "</div>";
    }
    return html + "</div>";
}

}  // namespace wl::bench
