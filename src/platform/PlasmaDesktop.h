#pragma once
// KDE Plasma: the shell's scripting call (D-Bus org.kde.plasmashell /PlasmaShell
// org.kde.PlasmaShell.evaluateScript) sets every desktop's "org.kde.image" wallpaper to the
// picture with the stretch fill mode, and reads the first desktop's picture back. Re-showing the
// same file names a fresh link of it (ShownLinks.h), since the shell keeps a URL it already shows.
// Screen size from the X display (XWayland included).
#include <string>

#include "platform/Desktop.h"
#include "platform/X11Connection.h"

struct _GDBusConnection;

namespace wl {

class PlasmaDesktop : public IDesktop {
  public:
    // Throws std::runtime_error when there is no session bus or no Plasma shell on it.
    PlasmaDesktop();
    ~PlasmaDesktop() override;

    std::string CurrentWallpaperFile() override;
    void ShowWallpaper(const std::string& path) override;
    std::string SystemWallpaperCopyName() override;
    std::filesystem::path SaveSystemWallpaperCopy(const std::filesystem::path& folder) override;
    ScreenSize Screen() override { return FScreen.Get(); }
    std::string Name() const override { return "plasma"; }

    // The script that shows `file`; every text in it is a JSON string literal, so no file name
    // can end the string or add code.
    static std::string ShowScript(const std::filesystem::path& file);
    static std::string ReadScript();

  private:
    std::string Evaluate(const std::string& script);
    std::string ShownFile();

    _GDBusConnection* FBus = nullptr;
    X11ScreenSize FScreen;
};

}  // namespace wl
