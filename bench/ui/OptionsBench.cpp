// Figures of the options page: opening it with 200 pictures in the library (built, filled from
// the settings, listed and painted: responsive), opening it again from the settings menu
// (LoadSettings), and selecting a 3840 x 2160 JPEG until its preview shows, with the longest
// stretch the main thread was kept from handling input meanwhile.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QListWidget>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "data/DataFiles.h"
#include "data/TSettings.h"
#include "ui/TfrOptions.h"
#include "wallpaper/ImageCodecs.h"

namespace fs = std::filesystem;

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A photo-like picture, so the file has an ordinary size for its resolution.
void WritePhoto(int w, int h, const fs::path& file) {
    QImage image(w, h, QImage::Format_RGB32);
    unsigned seed = 1;
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            seed = seed * 1103515245 + 12345;
            row[x] = qRgb(x * 255 / w, (y * 255 / h + int(seed >> 28)) & 0xff, ((x + y) / 8) & 0xff);
        }
    }
    image.save(QString::fromStdString(file.string()), "JPG", 90);
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const fs::path root = fs::temp_directory_path() / ("wl-options-bench-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    ::setenv("AppData", root.c_str(), 1);
    QApplication app(argc, argv);
    bool first = false;
    const wl::DataPaths paths = wl::CheckFiles(first);
    fs::create_directories(paths.WppPath);
    for (int i = 0; i < 199; ++i)
        wl::SaveBmp24(wl::Image(32, 18, 0x336699), paths.WppPath / ("pic" + std::to_string(i) + ".bmp"));
    WritePhoto(3840, 2160, paths.WppPath / "big.jpg");
    wl::TSettings settings(paths.ConfigPath);

    std::vector<double> open, reload, preview, stall;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer clock;
        clock.start();
        auto page = std::make_unique<wl::TfrOptions>(settings, paths.WppPath);
        page->show();
        QApplication::processEvents();
        open.push_back(clock.nsecsElapsed() / 1e6);
        if (page->WppBox->count() != 200) std::fprintf(stderr, "listed %d\n", page->WppBox->count());

        clock.restart();
        page->LoadSettings();
        QApplication::processEvents();
        reload.push_back(clock.nsecsElapsed() / 1e6);

        // A 1 ms heartbeat measures how long the main thread is held up while the preview is made.
        QElapsedTimer beat;
        double longest = 0;
        QTimer heart;
        heart.setInterval(1);
        QObject::connect(&heart, &QTimer::timeout, [&] {
            longest = std::max(longest, beat.nsecsElapsed() / 1e6);
            beat.restart();
        });
        const int shown = page->PreviewsShown();
        heart.start();
        beat.start();
        clock.restart();
        page->WppBox->setCurrentRow(0);  // "big.jpg" sorts first
        while (page->PreviewsShown() == shown && clock.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::AllEvents, 1);
        preview.push_back(clock.nsecsElapsed() / 1e6);
        longest = std::max(longest, beat.nsecsElapsed() / 1e6);
        heart.stop();
        stall.push_back(longest);
    }
    std::printf("options page, 200 pictures, built + filled + painted: median %.1f ms (target < 150)\n",
                Median(open));
    std::printf("options page, opened again from the menu (LoadSettings): median %.1f ms\n", Median(reload));
    std::printf("3840x2160 JPEG selected until its preview shows: median %.1f ms (target < 150)\n",
                Median(preview));
    std::printf("  longest main-thread stall meanwhile: median %.1f ms\n", Median(stall));
    fs::remove_all(root);
    return 0;
}
