// weekleaf-render: draws a data folder's shown week onto a wallpaper picture for a given screen
// size, exactly as the app's drawing does, and writes the result as a BMP. The app's own files
// are never touched: the drawing runs in a private copy of the data folder.
//
//   weekleaf-render --data DIR --wallpaper PICTURE --out FILE.bmp [--size 1920x1080]
//                   [--today dd.mm.yyyy] [--offset DAYS] [--font NAME] [--font-size PT]
//                   [--alpha 0..255] [--repeat N]
//
// DIR holds Data.json (and optionally Config.ini, whose Font, FontSize and ALPHABLEND_VALUE are
// the defaults of the three options). --repeat draws N times and prints the median time.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "data/TSettings.h"
#include "data/TWeekleaf.h"
#include "platform/AtomicFile.h"
#include "platform/CommandLineText.h"
#include "platform/DataDir.h"
#include "platform/DateText.h"
#include "platform/MemoryDesktop.h"
#include "wallpaper/Blender.h"
#include "wallpaper/Drawing.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kProgram = "weekleaf-render";
constexpr const char* kUsage =
    "usage: weekleaf-render --data DIR --wallpaper PICTURE --out FILE.bmp [--size WxH]\n"
    "                       [--today dd.mm.yyyy] [--offset DAYS] [--font NAME] [--font-size PT]\n"
    "                       [--alpha 0..255] [--repeat N]\n"
    "       weekleaf-render --help | --version\n"
    "Draws the week shown for DIR (a Weekleaf data folder with Data.json and optionally Config.ini)\n"
    "onto PICTURE as the planner does and writes a BMP; DIR itself is never changed.\n"
    "  --size WxH        screen size (default 1920x1080)\n"
    "  --today DATE      the day taken as today (default: today)\n"
    "  --offset DAYS     shown week relative to today's, in days (7 = next week)\n"
    "  --font NAME, --font-size PT, --alpha 0..255\n"
    "                    the blocks' font and opacity (default: Config.ini's, else Tahoma 8, 125)\n"
    "  --repeat N        draw N times and print the median time\n";

const std::set<std::string> kValueOptions = {"--data",   "--wallpaper", "--out",       "--size",  "--today",
                                             "--offset", "--font",      "--font-size", "--alpha", "--repeat"};

struct Options {
    fs::path data, wallpaper, out;
    wl::ScreenSize size{1920, 1080};
    std::optional<wl::Date> today;
    int offset = 0;
    std::optional<std::string> font;
    std::optional<int> fontSize, alpha;
    int repeat = 1;
};

// Code 2 is a command line that was not understood: one line pointing at --help.
[[noreturn]] void Fail(const std::string& message, int code = wl::kUsageExitCode) {
    if (code == wl::kUsageExitCode)
        std::fputs(wl::UsageErrorLine(kProgram, message).c_str(), stderr);
    else
        std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    std::exit(code);
}

[[noreturn]] void Answer(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::exit(0);
}

int ParseInt(const std::string& text, const char* what, int low, int high) {
    try {
        size_t used = 0;
        const int value = std::stoi(text, &used);
        if (used == text.size() && value >= low && value <= high) return value;
    } catch (const std::exception&) {
    }
    Fail(std::string("bad ") + what + ": \"" + text + "\"");
}

wl::ScreenSize ParseSize(const std::string& text) {
    const size_t x = text.find('x');
    if (x == std::string::npos) Fail("bad --size: \"" + text + "\" (want WxH)");
    return {ParseInt(text.substr(0, x), "--size width", 400, 16384),
            ParseInt(text.substr(x + 1), "--size height", 300, 16384)};
}

Options Parse(int argc, char** argv) {
    Options o;
    std::map<std::string, std::string> given;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "-h" || name == "--help") Answer(kUsage);
        if (name == "--version") Answer(wl::VersionText(kProgram));
        if (!name.starts_with('-')) Fail("unexpected argument '" + name + "'");
        if (!kValueOptions.contains(name)) Fail("unknown option '" + name + "'");
        if (i + 1 >= argc) Fail(name + " needs a value");
        given[name] = argv[++i];
    }
    for (const auto& [name, value] : given) {
        if (name == "--data")
            o.data = value;
        else if (name == "--wallpaper")
            o.wallpaper = value;
        else if (name == "--out")
            o.out = value;
        else if (name == "--size")
            o.size = ParseSize(value);
        else if (name == "--today") {
            o.today = wl::StrToDate(value);
            if (!o.today) Fail("bad --today: \"" + value + "\" (want dd.mm.yyyy)");
        } else if (name == "--offset")
            o.offset = ParseInt(value, "--offset", -36500, 36500);
        else if (name == "--font")
            o.font = value;
        else if (name == "--font-size")
            o.fontSize = ParseInt(value, "--font-size", 1, 200);
        else if (name == "--alpha")
            o.alpha = ParseInt(value, "--alpha", 0, 255);
        else if (name == "--repeat")
            o.repeat = ParseInt(value, "--repeat", 1, 10000);
    }
    if (o.data.empty() || o.wallpaper.empty() || o.out.empty())
        Fail("--data, --wallpaper and --out are required");
    return o;
}

// A private data folder holding copies of the user's Data.json and Config.ini.
fs::path PrepareWorkFolder(const Options& o) {
    if (!fs::is_regular_file(o.data / "Data.json")) Fail("no Data.json in \"" + o.data.string() + "\"", 1);
    const fs::path root = fs::temp_directory_path() / ("weekleaf-render-" + std::to_string(::getpid()));
    fs::create_directories(root / "Weekleaf" / "Wpp");
    setenv("AppData", root.c_str(), 1);
    for (const char* name : {"Data.json", "Config.ini"})
        if (fs::is_regular_file(o.data / name))
            wl::WriteFileAtomic(wl::DataDir() / name, wl::ReadWholeFile(o.data / name));
    return root;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    if (!fs::is_regular_file(o.wallpaper)) Fail("no picture at \"" + o.wallpaper.string() + "\"", 1);
    const fs::path root = PrepareWorkFolder(o);
    int status = 0;
    try {
        std::string font = "Tahoma";
        int fontSize = 8, alpha = 125;
        if (fs::is_regular_file(wl::DataDir() / "Config.ini")) {
            const wl::TSettings settings;
            font = settings.Font();
            fontSize = settings.FontSize();
            alpha = settings.ALPHABLEND_VALUE();
        }
        const wl::TWeekleaf store;
        const wl::Date today = o.today.value_or(wl::Today());
        wl::DrawRequest request;
        request.week = wl::MakeWeekSnapshot(store, today, o.offset);
        request.fontName = o.font.value_or(font);
        request.fontSize = o.fontSize.value_or(fontSize);
        request.alpha = o.alpha.value_or(alpha);
        request.screen = o.size;
        wl::MemoryDesktop desktop(o.size);
        desktop.ShowWallpaper(fs::absolute(o.wallpaper).string());

        // The first run builds the block background from the picture; later ones (--repeat)
        // reuse it, as the app's runs do while the desktop shows the drawn picture.
        wl::TDrawContext context;
        std::vector<double> times;
        for (int i = 0; i < o.repeat; ++i) {
            const auto start = std::chrono::steady_clock::now();
            wl::DrawHTML(request, desktop, context);
            times.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
        const fs::path drawn = wl::DataDir() / "Weekleaf-Modifed.bmp";
        if (!fs::is_regular_file(drawn)) throw std::runtime_error("the drawing produced no picture");
        wl::WriteFileAtomic(o.out, wl::ReadWholeFile(drawn));
        if (o.repeat > 1) {
            const double first = times.front();
            std::sort(times.begin() + 1, times.end());
            std::printf("%d runs at %dx%d: first (background built) %.2f ms, then median %.2f ms\n", o.repeat,
                        o.size.width, o.size.height, first, times[1 + (times.size() - 1) / 2]);
        }
        // Whatever the drawing logged (an unreadable picture, a document it could not load).
        if (fs::is_regular_file(wl::DataDir() / "ErrLog.txt"))
            std::fprintf(stderr, "%s", wl::ReadWholeFile(wl::DataDir() / "ErrLog.txt").c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "weekleaf-render: %s\n", e.what());
        status = 1;
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    return status;
}
