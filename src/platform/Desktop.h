#pragma once
// The desktop's wallpaper and screen, behind one small interface so the drawing and the options
// never talk to a window system directly. Backends (X11 root window, GNOME settings, ...) are
// chosen at run time by MakeDesktop(PictureFiles); the wallpaper layer offers MakeDesktop() with
// the program's own picture codecs filled in (wallpaper/TWallPaper.h). No Qt here.
//
// Threads: a backend may be called from the main thread and the drawing thread at the same time;
// every backend serialises its own access to the window system.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace wl {

struct ScreenSize {
    int width = 0;  // in device pixels: the drawn picture's size
    int height = 0;
    // Device pixels per logical pixel (2 on a "scale 2" output): the week is laid out for the
    // logical size and drawn at the device's.
    double scale = 1.0;
    friend bool operator==(const ScreenSize&, const ScreenSize&) = default;
};

// Where one monitor sits on the whole desktop, in pixels.
struct MonitorRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const MonitorRect&, const MonitorRect&) = default;
};

// The screen size a backend reports when it cannot ask a display.
inline constexpr ScreenSize kDefaultScreen{1920, 1080};

class IDesktop {
  public:
    virtual ~IDesktop() = default;

    // Path of the picture the desktop shows, as last set through this interface or by the desktop
    // itself; empty when unknown (for example another program has put its own picture up since).
    virtual std::string CurrentWallpaperFile() = 0;

    // Shows the picture stretched to the screen, untiled, and remembers its path where other
    // processes can read it. Showing the same path again after the file was rewritten must
    // show the new content. Throws std::runtime_error on failure.
    virtual void ShowWallpaper(const std::string& path) = 0;

    // File name (no folder) SaveSystemWallpaperCopy writes, e.g. "RootWallpaper.bmp"; known even
    // when there is nothing to copy, so a failed backup still has a destination to report.
    virtual std::string SystemWallpaperCopyName() = 0;

    // Saves the system's own copy of the current wallpaper into `folder` under
    // SystemWallpaperCopyName() and returns the file written. Throws std::runtime_error when
    // there is no such copy or it cannot be written.
    virtual std::filesystem::path SaveSystemWallpaperCopy(const std::filesystem::path& folder) = 0;

    // Takes the picture shown through this interface off the desktop and leaves the desktop's own
    // background, as it is when no picture was ever set: for a desktop that had no picture before
    // ours. A picture another program has put up since stays. Throws std::runtime_error on
    // failure. The default does nothing, for desktops that always show a picture of their own.
    virtual void ClearWallpaper() {}

    // The size the week is drawn at: the primary monitor's, so that on a desktop of several
    // monitors the blocks stay on the one the user works on.
    virtual ScreenSize Screen() = 0;

    // The window system's name of the monitor the week is drawn on ("HEADLESS-1", "DP-2"); empty
    // when that is the primary monitor whatever its name.
    virtual std::string OutputName() { return ""; }

    // A short name for logs and the README ("x11-root", "gnome", ...).
    virtual std::string Name() const = 0;
};

// Pixels cross this boundary as 0x00RRGGBB, top row first, width * height of them.
using PixelRows = std::vector<uint32_t>;

// The program's own picture decoders and BMP writer, lent to backends that must draw or save
// pictures themselves (the bare X11 root window), so this layer needs no picture library.
struct PictureFiles {
    // Decodes a picture file stretched to exactly width x height; throws on any failure.
    std::function<PixelRows(const std::filesystem::path&, int width, int height)> loadStretched;
    // Writes the pixels as a 24-bit BMP, atomically; throws on failure.
    std::function<void(const std::filesystem::path&, int width, int height, const PixelRows&)> saveBmp;
};

// Picks the backend for the running session from XDG_CURRENT_DESKTOP, SWAYSOCK and DISPLAY; falls back to
// a backend that only remembers the path (and reports kDefaultScreen) when no desktop is
// reachable.
std::unique_ptr<IDesktop> MakeDesktop(PictureFiles files);

}  // namespace wl
