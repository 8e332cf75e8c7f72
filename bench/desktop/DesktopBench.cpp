// Figures of the desktop side at 1920 x 1080:
//   - a tick with nothing changed: the main thread's snapshot, the run's thread and its check
//     that the desktop still shows the picture drawn from the same inputs, the termination
//     handler back on the main thread (target: under 1 ms);
//   - a tick with a changed entry (the real drawing, written and applied), and, for comparison, ImageMagick's
//     `convert` composing eight text blocks onto the same picture, as a user would script it;
//     our time is printed as a ratio of that.
// Runs on the desktop MakeDesktop() picks: under xvfb-run that is the bare X11 root window.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "data/HtmlToText.h"
#include "data/TWeekleaf.h"
#include "desktop/MainQueue.h"
#include "platform/AtomicFile.h"
#include "platform/DataDir.h"
#include "platform/RunCommand.h"
#include "wallpaper/Blender.h"
#include "wallpaper/ImageCodecs.h"
#include "wallpaper/TDrawTH.h"
#include "wallpaper/TWallPaper.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace wl {
namespace {

constexpr int kWidth = 1920, kHeight = 1080;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A week of realistic entries: a few paragraphs each, some formatting.
void WriteWeek(const fs::path& dataDir, Date today) {
    WriteFileAtomic(dataDir / "Data.json", "{}");
    TWeekleaf store(dataDir / "Data.json");
    store.Set("note",
              "<p><b>Неделя</b>: сдать отчёт, позвонить маме, купить подарок</p><p>Книга: 40 страниц</p>");
    for (int i = 1; i <= 7; ++i) {
        std::string html;
        for (int line = 0; line < 6; ++line)
            html += "<p>" + std::to_string(9 + line) + ":00 — встреча по проекту <u>Листок</u> №" +
                    std::to_string(i * 10 + line) + ", обсудить <i>план</i></p>";
        store.Set(BlockDate(i, today, 0), html);
    }
    store.SaveJSON();
}

// The user's picture: a smooth 1920 x 1080 gradient saved as BMP.
fs::path WriteWallpaper(const fs::path& folder) {
    Image image(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            image.at(x, y) = Rgb(static_cast<uint8_t>(40 + x * 150 / kWidth),
                                 static_cast<uint8_t>(90 + y * 100 / kHeight), static_cast<uint8_t>(160));
    const fs::path file = folder / "user-wallpaper.bmp";
    SaveBmp24(image, file);
    return file;
}

// One tick of the main window: request a drawing of the week (snapshot taken here) and wait,
// pumping the main thread's queue, until its termination handler ran. Returns milliseconds.
double Tick(DrawScheduler& scheduler, test::MainQueue& queue, const TWeekleaf& store, Date today) {
    const auto start = Clock::now();
    scheduler.RequestDrawing([&] {
        DrawRequest request;
        request.week = MakeWeekSnapshot(store, today, 0);
        return request;
    });
    while (!scheduler.DrawIdle()) queue.PumpOnce();
    return Ms(Clock::now() - start);
}

struct Figures {
    double rebuild = 0, changed = 0, unchanged = 0;
};

Figures Ticks(IDesktop& desktop, TWeekleaf& store, Date today) {
    test::MainQueue queue;
    DrawScheduler scheduler(desktop, queue.executor());
    const fs::path picture = DataDir() / "Weekleaf-Modifed.bmp";
    Figures f;
    f.rebuild = Tick(scheduler, queue, store, today);
    std::printf("first tick, block background built from the user's picture: %.1f ms\n", f.rebuild);

    const std::string key = BlockDate(3, today, 0);
    const std::string html = store.Get(key);
    std::vector<double> changed;
    for (int i = 0; i < 15; ++i) {
        store.Set(key, html + "<p>правка " + std::to_string(i) + "</p>");
        changed.push_back(Tick(scheduler, queue, store, today));
    }
    f.changed = Median(changed);
    std::printf("tick with a changed entry (draw, write, apply on %s): median %.1f ms of %zu\n",
                desktop.Name().c_str(), f.changed, changed.size());

    const auto drawn = IdentityOf(picture);
    std::vector<double> ticks;
    for (int i = 0; i < 300; ++i) ticks.push_back(Tick(scheduler, queue, store, today));
    std::sort(ticks.begin(), ticks.end());
    f.unchanged = Median(ticks);
    std::printf(
        "tick with nothing changed (%s): median %.3f ms, p99 %.3f ms, max %.3f ms; picture rewritten: %s "
        "(target < 1 ms, no)\n",
        desktop.Name().c_str(), f.unchanged, ticks[ticks.size() * 99 / 100], ticks.back(),
        IdentityOf(picture) == drawn ? "no" : "yes");
    return f;
}

// ImageMagick composing the same eight blocks: translucent bodies and header strips, bold titles
// and dates, and each entry's plain text wrapped into its block.
double ImageMagickRun(const fs::path& wallpaper, const TWeekleaf& store, Date today, const fs::path& out) {
    if (!ProgramInPath("convert")) return 0;
    const BlockRects rects = CalcBlockRects(kHeight - 250, kWidth - 360);
    std::vector<std::string> args = {"convert", wallpaper.string(), "-resize", "1920x1080!"};
    for (int i = 0; i < 8; ++i) {
        const BlockRect& r = rects[static_cast<size_t>(i)];
        const std::string header = i >= 6 ? "rgba(255,204,153,0.49)" : "rgba(25,174,132,0.49)";
        args.insert(args.end(), {"-fill", "rgba(255,255,255,0.49)", "-draw",
                                 "rectangle " + std::to_string(r.Left) + "," + std::to_string(r.Top + 35) +
                                     " " + std::to_string(r.Right) + "," + std::to_string(r.Bottom)});
        args.insert(args.end(), {"-fill", header, "-draw",
                                 "rectangle " + std::to_string(r.Left) + "," + std::to_string(r.Top) + " " +
                                     std::to_string(r.Right) + "," + std::to_string(r.Top + 35)});
        args.insert(args.end(),
                    {"-fill", "black", "-font", "DejaVu-Sans-Bold", "-pointsize", "11", "-annotate",
                     "+" + std::to_string(r.Left + 15) + "+" + std::to_string(r.Top + 22), BlockTitle(i),
                     "-annotate", "+" + std::to_string(r.Right - 90) + "+" + std::to_string(r.Top + 22),
                     i == 0 ? "" : BlockDate(i, today, 0)});
        // Text straight in the argument (ImageMagick's default policy refuses caption:@file);
        // '%' would start one of its escapes, and a leading '@' would name a file.
        std::string text;
        for (char c : HtmlToText(BlockContent(store, i, today, 0)))
            text += c == '%' ? std::string("%%") : std::string(1, c);
        if (!text.empty() && text[0] == '@') text.insert(0, " ");
        args.insert(args.end(),
                    {"(", "-size",
                     std::to_string(r.Right - r.Left - 20) + "x" + std::to_string(r.Bottom - r.Top - 55),
                     "-background", "none", "-fill", "black", "-font", "DejaVu-Sans", "-pointsize", "12",
                     "caption:" + text, ")", "-geometry",
                     "+" + std::to_string(r.Left + 10) + "+" + std::to_string(r.Top + 45), "-composite"});
    }
    args.push_back(out.string());
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        if (RunCommand(args).exitCode != 0) return 0;
        runs.push_back(Ms(Clock::now() - start));
    }
    return Median(runs);
}

}  // namespace
}  // namespace wl

int main() {
    using namespace wl;
    const fs::path root = fs::temp_directory_path() / ("wl-desktop-bench-" + std::to_string(::getpid()));
    fs::create_directories(root / "Weekleaf" / "Wpp");
    setenv("AppData", root.c_str(), 1);
    const Date today = Today();
    WriteWeek(DataDir(), today);
    TWeekleaf store;  // the main thread's store; edits below are in memory only
    const fs::path wallpaper = WriteWallpaper(root);

    auto desktop = MakeDesktop();
    const ScreenSize screen = desktop->Screen();
    std::printf("desktop: %s, screen %dx%d\n", desktop->Name().c_str(), screen.width, screen.height);
    desktop->ShowWallpaper(wallpaper.string());

    const Figures f = Ticks(*desktop, store, today);

    const double magick = ImageMagickRun(wallpaper, store, today, root / "imagemagick.bmp");
    if (magick <= 0) {
        std::printf("ImageMagick convert: not available, no ratio\n");
    } else {
        std::printf("ImageMagick convert, eight text blocks onto the 1920x1080 picture: median %.1f ms\n",
                    magick);
        std::printf("our changed tick / ImageMagick: %.3f (%.0fx faster)\n", f.changed / magick,
                    magick / f.changed);
    }

    // WL_BENCH_KEEP=1 leaves the pictures (ours and ImageMagick's) for a look.
    if (const char* keep = std::getenv("WL_BENCH_KEEP"); keep && *keep == '1') {
        std::printf("pictures kept in %s\n", root.c_str());
        return 0;
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
