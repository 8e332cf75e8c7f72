#pragma once
// The desktop's wallpaper and screen, behind one small interface so the drawing and the options
// never talk to a window system directly. Backends (X11 root window, GNOME settings, ...) are
// chosen at run time by MakeDesktop(). No Qt here.
#include <filesystem>
#include <memory>
#include <string>

namespace wl {

struct ScreenSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const ScreenSize&, const ScreenSize&) = default;
};

class IDesktop {
public:
    virtual ~IDesktop() = default;

    // Path of the picture the desktop shows, as last set through this interface or by the desktop
    // itself; empty when unknown.
    virtual std::string CurrentWallpaperFile() = 0;

    // Shows the picture stretched to the screen, untiled, and remembers its path where other
    // processes can read it. Showing the same path again after the file was rewritten must
    // show the new content. Throws std::runtime_error on failure.
    virtual void ShowWallpaper(const std::string& path) = 0;

    // Saves the system's own copy of the current wallpaper into `folder` and returns the file
    // written (its name is the backend's: the copy's own file name, or e.g. "RootWallpaper.png").
    // Throws std::runtime_error when there is no such copy or it cannot be written.
    virtual std::filesystem::path SaveSystemWallpaperCopy(const std::filesystem::path& folder) = 0;

    virtual ScreenSize Screen() = 0;

    // A short name for logs and the README ("x11-root", "gnome", ...).
    virtual std::string Name() const = 0;
};

// Picks the backend for the running session; falls back to a backend that only remembers
// the path (and reports a default screen size) when no desktop is reachable.
std::unique_ptr<IDesktop> MakeDesktop();

}  // namespace wl
