// Drawing-run figures: a run with changed entries at 1920x1080 and 3840x2160 (cached background
// reused, as on every tick after the first), a run that rebuilds the cache from a 1920x1080 JPEG,
// and the layout engine alone on the week document. Every run writes its files for real.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/DataDir.h"
#include "wallpaper/Drawing.h"
#include "wallpaper/HtmlRenderer.h"

namespace wl {
namespace {

namespace fs = std::filesystem;

class BenchDesktop : public IDesktop {
  public:
    std::string current;
    ScreenSize screen;
    std::string CurrentWallpaperFile() override { return current; }
    void ShowWallpaper(const std::string& path) override { current = path; }
    std::string SystemWallpaperCopyName() override { return "SystemCopy.bmp"; }
    fs::path SaveSystemWallpaperCopy(const fs::path&) override { throw std::runtime_error("none"); }
    ScreenSize Screen() override { return screen; }
    std::string Name() const override { return "bench"; }
};

// A photo-like picture (smooth gradients with some noise) so the JPEG is of ordinary size.
void WriteJpeg(int w, int h, const fs::path& file) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    FILE* out = std::fopen(file.c_str(), "wb");
    jpeg_stdio_dest(&c, out);
    c.image_width = w;
    c.image_height = h;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(size_t(w) * 3);
    unsigned seed = 1;
    while (c.next_scanline < c.image_height) {
        const int y = int(c.next_scanline);
        for (int x = 0; x < w; ++x) {
            seed = seed * 1103515245 + 12345;
            row[x * 3] = static_cast<unsigned char>(x * 255 / w);
            row[x * 3 + 1] = static_cast<unsigned char>((y * 255 / h + (seed >> 28)) & 0xff);
            row[x * 3 + 2] = static_cast<unsigned char>(((x + y) / 8) & 0xff);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(out);
}

DrawRequest WeekRequest(const fs::path& dataDir) {
    DrawRequest request;
    const Date monday = MakeDate(2026, 12, 7);
    request.week.today = AddDays(monday, 2);
    request.week.dates[0] = DateToStr(request.week.today);
    for (int i = 1; i < 8; ++i) {
        request.week.dates[i] = DateToStr(AddDays(monday, i - 1));
        request.week.entries[i] =
            "<div><b>9:00</b> планёрка</div><div><font color=\"#0000ff\">позвонить</font> в банк</div>"
            "<div><br></div><ul><li>купить хлеб</li><li><u><strike>молоко</strike></u></li></ul>"
            "<p><font size=\"5\">Важно:</font> отправить отчёт до пятницы, проверить почту.</p>";
    }
    request.week.entries[0] = "<p>Заметки недели</p><ol><li>первое</li><li>второе</li></ol>";
    request.dataDir = dataDir;
    return request;
}

struct Setup {
    fs::path root;
    BenchDesktop desktop;
    DrawRequest request;
    fs::path jpeg;

    explicit Setup(ScreenSize screen) {
        root = fs::temp_directory_path() /
               ("weekleaf-render-bench-" + std::to_string(screen.width) + "-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "Weekleaf" / "Wpp");
        setenv("AppData", root.c_str(), 1);
        jpeg = root / "photo.jpg";
        WriteJpeg(screen.width, screen.height, jpeg);
        desktop.screen = screen;
        desktop.current = jpeg.string();
        request = WeekRequest(DataDir());
    }
    ~Setup() { fs::remove_all(root); }
};

void ChangedRun(benchmark::State& state, ScreenSize screen) {
    Setup setup(screen);
    TDrawContext context;
    DrawHTML(setup.request, setup.desktop, context);  // builds the cache, puts our picture up
    int n = 0;
    for (auto _ : state) {
        setup.request.week.entries[3] = "<p>правка " + std::to_string(++n) + "</p>";
        DrawHTML(setup.request, setup.desktop, context);
    }
}

void BM_ChangedRun_1920x1080(benchmark::State& state) {
    ChangedRun(state, {1920, 1080});
}
void BM_ChangedRun_3840x2160(benchmark::State& state) {
    ChangedRun(state, {3840, 2160});
}

void BM_CacheRebuildFromJpeg_1920x1080(benchmark::State& state) {
    Setup setup({1920, 1080});
    TDrawContext context;
    DrawHTML(setup.request, setup.desktop, context);
    for (auto _ : state) {
        setup.desktop.current = setup.jpeg.string();  // the user's picture is up again
        DrawHTML(setup.request, setup.desktop, context);
    }
}

void BM_DrawBlockOnlyFromJpeg_1920x1080(benchmark::State& state) {
    Setup setup({1920, 1080});
    TDrawContext context;
    for (auto _ : state) DrawBlockOnly(setup.request, setup.jpeg.string(), {1920, 1080}, context);
}

void BM_LayoutAndPaintWeek_1920x1080(benchmark::State& state) {
    const DrawRequest request = WeekRequest("/nonexistent");
    const std::string html = ComposeWeekHtml(request.week, "/nonexistent/HTML_TempBitmap.bmp", 1920, 1080);
    HtmlRenderer renderer;
    renderer.SetImage("/nonexistent/HTML_TempBitmap.bmp",
                      std::make_shared<const Image>(1920, 1080, 0x406080));
    Image target(1920, 1080);
    for (auto _ : state) {
        renderer.Load(html);
        renderer.Paint(target, 1920);
    }
}

BENCHMARK(BM_ChangedRun_1920x1080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ChangedRun_3840x2160)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CacheRebuildFromJpeg_1920x1080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DrawBlockOnlyFromJpeg_1920x1080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LayoutAndPaintWeek_1920x1080)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace wl

BENCHMARK_MAIN();
