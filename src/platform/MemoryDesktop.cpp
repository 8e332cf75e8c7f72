#include "platform/MemoryDesktop.h"

#include <stdexcept>

#include "platform/DesktopFiles.h"

namespace wl {

std::string MemoryDesktop::CurrentWallpaperFile() {
    std::lock_guard lock(FLock);
    return FPath;
}

void MemoryDesktop::ShowWallpaper(const std::string& path) {
    std::lock_guard lock(FLock);
    FPath = path;
    ++FShows;
}

void MemoryDesktop::ClearWallpaper() {
    std::lock_guard lock(FLock);
    FPath.clear();
}

std::string MemoryDesktop::SystemWallpaperCopyName() {
    std::lock_guard lock(FLock);
    const std::string name = std::filesystem::path(FPath).filename().string();
    return name.empty() ? "Wallpaper.bmp" : name;
}

std::filesystem::path MemoryDesktop::SaveSystemWallpaperCopy(const std::filesystem::path& folder) {
    const std::string source = CurrentWallpaperFile();
    if (!IsPictureFile(source)) throw std::runtime_error("no wallpaper picture to copy: \"" + source + "\"");
    const std::filesystem::path target = folder / SystemWallpaperCopyName();
    CopyPictureFile(source, target);
    return target;
}

ScreenSize MemoryDesktop::Screen() {
    std::lock_guard lock(FLock);
    return FScreen;
}

void MemoryDesktop::SetScreen(ScreenSize screen) {
    std::lock_guard lock(FLock);
    FScreen = screen;
}

int MemoryDesktop::ShowCount() const {
    std::lock_guard lock(FLock);
    return FShows;
}

}  // namespace wl
