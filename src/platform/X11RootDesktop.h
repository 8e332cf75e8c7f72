#pragma once
// The bare X11 desktop (no desktop environment drawing its own background; also Xvfb): the
// picture becomes the root window's background pixmap, published through _XROOTPMAP_ID and
// ESETROOT_PMAP_ID the way standalone setters do, so compositors and pseudo-transparent
// terminals pick it up. The pixmap is created on a short-lived connection whose resources the
// server keeps after it closes (RetainPermanent); the previous retained pixmap is released.
//
// The path shown is kept on the root window in _WEEKLEAF_WALLPAPER_PATH (UTF8_STRING) together
// with the pixmap it was drawn into (_WEEKLEAF_WALLPAPER_PIXMAP); when another program has put
// its own pixmap up since, the path no longer describes the desktop and is reported as unknown.
// The system's copy of the wallpaper is the root pixmap itself, read back and saved as a BMP;
// a root without a published pixmap has none, and ClearWallpaper gives it its own back.
//
// Several monitors: the picture goes onto the primary monitor's part of the root only, and the
// other monitors keep what the root showed there; the system's copy is the primary monitor's part.
#include <memory>

#include "platform/Desktop.h"
#include "platform/X11Connection.h"

namespace wl {

class X11RootDesktop : public IDesktop {
  public:
    // Throws X11Error when the display cannot be opened.
    explicit X11RootDesktop(PictureFiles files, const std::string& displayName = "");

    std::string CurrentWallpaperFile() override;
    void ShowWallpaper(const std::string& path) override;
    // Our pixmap, its properties and the path go; the root gets the server's default background.
    void ClearWallpaper() override;
    std::string SystemWallpaperCopyName() override { return "RootWallpaper.bmp"; }
    std::filesystem::path SaveSystemWallpaperCopy(const std::filesystem::path& folder) override;
    ScreenSize Screen() override;
    std::string Name() const override { return "x11-root"; }

    // Reads the root window's current background pixmap (0x00RRGGBB rows); throws X11Error when
    // the root has none.
    PixelRows ReadRootPicture(ScreenSize& size);

  private:
    // The picture at `path` stretched onto the primary monitor's part of the whole root, whose
    // size goes to `size`.
    PixelRows WholeRoot(const std::string& path, ScreenSize& size);

    PictureFiles FFiles;
    X11Connection FConnection;
};

}  // namespace wl
