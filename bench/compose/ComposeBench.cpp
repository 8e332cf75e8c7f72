// HtmlToText over ten years of day entries (search converts every entry), and the week document.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "data/HtmlToText.h"
#include "data/HtmlToTextParts.h"
#include "wallpaper/Blender.h"

namespace {

// About 1 KB of Cyrillic HTML the way the editing surface writes it.
std::string DayEntry(int day) {
    std::string html = "<p><strong>День " + std::to_string(day) + "</strong></p>";
    html += "<p>Позвонить&nbsp;маме, купить хлеб &amp; молоко.</p>";
    html += "<ul><li>Встреча в 10:00</li><li>Обед <em>с коллегами</em></li><li>Спортзал</li></ul>";
    html += "<p style=\"color: #19ae84\">Прочитать главу книги, написать отчёт за неделю.</p>";
    html += "<div><span>Заметка: не забыть ключи</span><br>и зонтик</div>";
    html += "<p>Ещё немного текста, чтобы запись была размером около килобайта. Вечером прогулка.</p>";
    html += "<p><span style=\"font-size: 10pt\">Список покупок: яблоки, сыр, кофе, чай, сахар.</span></p>";
    html +=
        "<ol><li>Проверить почту</li><li>Ответить Ивану</li></ol><p>&laquo;Итог дня&raquo; &mdash; хорошо, "
        "завтра продолжить.</p>";
    html += "<div>Напоминание: оплатить счёт за интернет до пятницы.</div>";
    return html;
}

void BM_HtmlToText_3650Entries(benchmark::State& state) {
    std::vector<std::string> entries;
    std::size_t bytes = 0;
    for (int i = 0; i < 3650; ++i) {
        entries.push_back(DayEntry(i));
        bytes += entries.back().size();
    }
    for (auto _ : state)
        for (const auto& e : entries) benchmark::DoNotOptimize(wl::HtmlToText(e));
    state.counters["entry_bytes"] = static_cast<double>(bytes) / static_cast<double>(entries.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_HtmlToText_3650Entries)->Unit(benchmark::kMillisecond);

// The same entries through the full parse alone, for comparison.
void BM_HtmlToTextFull_3650Entries(benchmark::State& state) {
    std::vector<std::string> entries;
    for (int i = 0; i < 3650; ++i) entries.push_back(DayEntry(i));
    for (auto _ : state)
        for (const auto& e : entries) benchmark::DoNotOptimize(wl::HtmlToTextFull(e));
}
BENCHMARK(BM_HtmlToTextFull_3650Entries)->Unit(benchmark::kMillisecond);

void BM_ComposeWeekHtml(benchmark::State& state) {
    wl::WeekSnapshot week;
    for (int i = 0; i < 8; ++i) week.entries[static_cast<std::size_t>(i)] = DayEntry(i);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            wl::ComposeWeekHtml(week, "/home/user/.local/share/Weekleaf/HTML_TempBitmap.bmp", 1920, 1080));
}
BENCHMARK(BM_ComposeWeekHtml)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
