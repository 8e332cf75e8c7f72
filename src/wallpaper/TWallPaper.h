#pragma once
// Putting pictures on the desktop, backing up the system's copy of the wallpaper, and restoring
// the user's own picture. Runs on the drawing thread (SetWallpaper, BackUpWpp,
// CurrentWallpaperPath) and on the main thread (TWallPaper, SetWallpaperPath).
#include <string>

#include "platform/Desktop.h"

namespace wl {

// The picture on the desktop; when that file does not exist, the result of BackUpWpp.
std::string CurrentWallpaperPath(IDesktop& desktop);

// Copies the system's copy of the wallpaper into the library folder (DataDir()/Wpp) and returns
// the copy's path, whether or not the copy succeeded (a failure logs "BackUpWpp: <message>").
std::string BackUpWpp(IDesktop& desktop);

// End of every drawing: shows "Weekleaf-Modifed.bmp", or the backup when it is missing (logging
// "SetWallpaper: BackUpWpp/DefoultWpp=<path>").
void SetWallpaper(IDesktop& desktop);

// The options page's setter: shows the given picture unconditionally.
void SetWallpaperPath(IDesktop& desktop, const std::string& path);

// One write of Wallpaper shows the picture (used for the restore points).
class TWallPaper {
public:
    explicit TWallPaper(IDesktop& desktop) : FDesktop(desktop) {}
    std::string Wallpaper() const { return FDesktop.CurrentWallpaperFile(); }
    void SetWallpaper(const std::string& path) { FDesktop.ShowWallpaper(path); }

private:
    IDesktop& FDesktop;
};

}  // namespace wl
