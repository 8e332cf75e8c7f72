#pragma once
// Putting pictures on the desktop, backing up the system's copy of the wallpaper, and restoring
// the user's own picture. Runs on the drawing thread (SetWallpaper, BackUpWpp,
// CurrentWallpaperPath) and on the main thread (TWallPaper, SetWallpaperPath, the restores).
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Desktop.h"

namespace wl {

// The desktop backend for this session with the program's own decoders and BMP writer lent to it.
std::unique_ptr<IDesktop> MakeDesktop();
// Those decoders and that writer in the form the desktop layer takes them.
PictureFiles WallpaperPictureFiles();

// The picture on the desktop; when that file does not exist, the result of BackUpWpp.
std::string CurrentWallpaperPath(IDesktop& desktop);

// Copies the system's copy of the wallpaper into the library folder (DataDir()/Wpp) and returns
// the copy's path, whether or not the copy succeeded (a failure logs "BackUpWpp: <message>").
std::string BackUpWpp(IDesktop& desktop);

// End of every drawing: shows "Weekleaf-Modifed.bmp", or the backup when it is missing (logging
// "SetWallpaper: BackUpWpp/DefoultWpp=<path>"). A desktop that fails to show it throws.
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

// Orders the main thread's restores against the drawing thread's applies. Every restore moves the
// generation on; a drawing run remembers the generation of the moment it was requested and its
// picture is applied only while the generation is still that one. Restore and apply hold the same
// lock, so a restore can never fall between a run's check and its apply: once a restore returned,
// no run requested before it can put its picture up.
class WallpaperGate {
  public:
    uint64_t Generation() const { return FGeneration.load(std::memory_order_acquire); }

    // Main thread: moves the generation on and shows `path`; throws what the desktop throws.
    void Restore(IDesktop& desktop, const std::string& path);
    // Main thread: moves the generation on and takes our picture off the desktop.
    void Clear(IDesktop& desktop);
    // Drawing thread: shows `path` only when no restore happened since `generation`; returns
    // whether it did.
    bool ShowIfCurrent(IDesktop& desktop, const std::string& path, uint64_t generation);

  private:
    template <class Change>
    void MoveOn(Change change);

    std::mutex FLock;
    std::atomic<uint64_t> FGeneration{0};
};

// The desktop as a drawing run sees it: reads go to the real desktop, ShowWallpaper goes through
// the gate and is dropped silently when a restore happened since the run was requested.
class GuardedDesktop : public IDesktop {
  public:
    GuardedDesktop(IDesktop& desktop, WallpaperGate& gate, uint64_t generation)
        : FDesktop(desktop), FGate(gate), FGeneration(generation) {}

    std::string CurrentWallpaperFile() override { return FDesktop.CurrentWallpaperFile(); }
    void ShowWallpaper(const std::string& path) override;
    std::string SystemWallpaperCopyName() override { return FDesktop.SystemWallpaperCopyName(); }
    std::filesystem::path SaveSystemWallpaperCopy(const std::filesystem::path& folder) override {
        return FDesktop.SaveSystemWallpaperCopy(folder);
    }
    ScreenSize Screen() override { return FDesktop.Screen(); }
    std::string Name() const override { return FDesktop.Name(); }

    // The last path this run showed (empty when none, or when the gate dropped it).
    const std::string& Applied() const { return FApplied; }
    bool Dropped() const { return FDropped; }

  private:
    IDesktop& FDesktop;
    WallpaperGate& FGate;
    uint64_t FGeneration;
    std::string FApplied;
    bool FDropped = false;
};

// The options page's setter on the main thread (a library picture, the rotation): like a restore,
// it goes through the gate, so a drawing already going cannot cover the chosen picture with blocks
// drawn on the previous one (the next run then builds them on the chosen picture).
void SetWallpaperPath(IDesktop& desktop, WallpaperGate& gate, const std::string& path);

// Restore points (main thread). "WppOld.bmp" is missing when the desktop had no picture before
// ours (the drawing removes it then): the desktop then gets its own background back rather
// than a picture the program made up.
// Exit, after the drawing run has ended: shows "WppOld.bmp" when it exists and returns true;
// otherwise clears our picture and returns false. Throws what the desktop throws (the exit then
// ends the process at once).
bool RestoreOnExit(IDesktop& desktop, WallpaperGate& gate);
// Hiding the blocks, and the options page closed with OK (blocks off or the alpha changed): the
// same, so the desktop no longer shows our output and the next drawing rebuilds the block
// background. Throws what the desktop throws.
void RestoreUserWallpaper(IDesktop& desktop, WallpaperGate& gate);

}  // namespace wl
