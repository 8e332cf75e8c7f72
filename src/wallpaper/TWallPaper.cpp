#include "wallpaper/TWallPaper.h"

#include "diag/ErrLog.h"
#include "platform/DataDir.h"
#include "platform/DesktopFiles.h"
#include "wallpaper/ImageCodecs.h"

namespace wl {

namespace fs = std::filesystem;

namespace {

fs::path WppOldFile() {
    return DataDir() / "WppOld.bmp";
}
fs::path ModifiedFile() {
    return DataDir() / "Weekleaf-Modifed.bmp";
}
fs::path LibraryFolder() {
    return DataDir() / "Wpp";
}

}  // namespace

PictureFiles WallpaperPictureFiles() {
    PictureFiles files;
    files.loadStretched = [](const fs::path& file, int width, int height) {
        Image image = LoadImageFile(file);
        if (image.width != width || image.height != height) image = StretchImage(image, width, height);
        return std::move(image.pixels);
    };
    files.saveBmp = [](const fs::path& file, int width, int height, const PixelRows& pixels) {
        Image image;
        image.width = width;
        image.height = height;
        image.pixels = pixels;
        SaveBmp24(image, file);
    };
    return files;
}

std::unique_ptr<IDesktop> MakeDesktop() {
    return MakeDesktop(WallpaperPictureFiles());
}

std::string CurrentWallpaperPath(IDesktop& desktop) {
    const std::string path = desktop.CurrentWallpaperFile();
    if (IsPictureFile(path)) return path;
    return BackUpWpp(desktop);
}

std::string BackUpWpp(IDesktop& desktop) {
    const fs::path folder = LibraryFolder();
    try {
        return desktop.SaveSystemWallpaperCopy(folder).string();
    } catch (const std::exception& e) {
        ErrLog(std::string("BackUpWpp: ") + e.what());
    }
    try {
        return (folder / desktop.SystemWallpaperCopyName()).string();
    } catch (const std::exception&) {
        return (folder / "Wallpaper").string();
    }
}

void SetWallpaper(IDesktop& desktop) {
    const fs::path modified = ModifiedFile();
    if (IsPictureFile(modified)) {
        desktop.ShowWallpaper(modified.string());
        return;
    }
    const std::string backup = BackUpWpp(desktop);
    ErrLog("SetWallpaper: BackUpWpp/DefoultWpp=" + backup);
    desktop.ShowWallpaper(backup);
}

void SetWallpaperPath(IDesktop& desktop, const std::string& path) {
    desktop.ShowWallpaper(path);
}

template <class Change>
void WallpaperGate::MoveOn(Change change) {
    std::lock_guard lock(FLock);
    FGeneration.fetch_add(1, std::memory_order_acq_rel);
    change();
}

void WallpaperGate::Restore(IDesktop& desktop, const std::string& path) {
    MoveOn([&] { TWallPaper(desktop).SetWallpaper(path); });
}

void WallpaperGate::Clear(IDesktop& desktop) {
    MoveOn([&] { desktop.ClearWallpaper(); });
}

bool WallpaperGate::ShowIfCurrent(IDesktop& desktop, const std::string& path, uint64_t generation) {
    std::lock_guard lock(FLock);
    if (FGeneration.load(std::memory_order_acquire) != generation) return false;
    desktop.ShowWallpaper(path);
    return true;
}

void GuardedDesktop::ShowWallpaper(const std::string& path) {
    if (FGate.ShowIfCurrent(FDesktop, path, FGeneration)) {
        FApplied = path;
        return;
    }
    FApplied.clear();
    FDropped = true;
}

void SetWallpaperPath(IDesktop& desktop, WallpaperGate& gate, const std::string& path) {
    gate.Restore(desktop, path);
}

namespace {

// "WppOld.bmp" back on the desktop, or, when the desktop had no picture before ours, none at all.
bool PutUsersWallpaperBack(IDesktop& desktop, WallpaperGate& gate) {
    const fs::path old = WppOldFile();
    if (!IsPictureFile(old)) {
        gate.Clear(desktop);
        return false;
    }
    gate.Restore(desktop, old.string());
    return true;
}

}  // namespace

bool RestoreOnExit(IDesktop& desktop, WallpaperGate& gate) {
    return PutUsersWallpaperBack(desktop, gate);
}

void RestoreUserWallpaper(IDesktop& desktop, WallpaperGate& gate) {
    PutUsersWallpaperBack(desktop, gate);
}

}  // namespace wl
