#pragma once
// The fallback desktop when no window system is reachable (a console, a test): it remembers the
// path it was given and reports a fixed screen size. Its "system copy" is the remembered picture.
#include <mutex>

#include "platform/Desktop.h"

namespace wl {

class MemoryDesktop : public IDesktop {
  public:
    explicit MemoryDesktop(ScreenSize screen = kDefaultScreen) : FScreen(screen) {}

    std::string CurrentWallpaperFile() override;
    void ShowWallpaper(const std::string& path) override;
    void ClearWallpaper() override;
    std::string SystemWallpaperCopyName() override;
    std::filesystem::path SaveSystemWallpaperCopy(const std::filesystem::path& folder) override;
    ScreenSize Screen() override;
    std::string Name() const override { return "memory"; }

    // Test hooks: change what the "desktop itself" shows, and the screen size.
    void SetScreen(ScreenSize screen);
    int ShowCount() const;

  private:
    mutable std::mutex FLock;
    ScreenSize FScreen;
    std::string FPath;
    int FShows = 0;
};

}  // namespace wl
