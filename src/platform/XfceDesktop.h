#pragma once
// XFCE: xfdesktop reads its backgrounds from the xfconf channel "xfce4-desktop", one
// ".../last-image" property per monitor and workspace with an "image-style" beside it
// (3 = stretched). Talks to xfconf through the xfconf-query program. Every existing last-image
// property gets the picture; on a fresh channel the first screen's first monitor and workspace
// is created. Re-showing the same file names a fresh link of it (ShownLinks.h), since xfdesktop
// keeps a picture it already shows. Screen size from the X display.
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Desktop.h"
#include "platform/X11Connection.h"

namespace wl {

class XfceDesktop : public IDesktop {
  public:
    // Throws std::runtime_error when xfconf-query is not in PATH.
    XfceDesktop();

    std::string CurrentWallpaperFile() override;
    void ShowWallpaper(const std::string& path) override;
    std::string SystemWallpaperCopyName() override;
    std::filesystem::path SaveSystemWallpaperCopy(const std::filesystem::path& folder) override;
    ScreenSize Screen() override { return FScreen.Get(); }
    std::string Name() const override { return "xfce"; }

  private:
    std::vector<std::string> ImageProperties();
    std::string ShownFile();

    X11ScreenSize FScreen;
};

}  // namespace wl
