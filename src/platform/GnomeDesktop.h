#pragma once
// GNOME and the desktops that read their background from GSettings the same way (Unity, Budgie,
// Pantheon; Cinnamon and MATE under their own schemas). The picture's URI (or path, for MATE) goes
// to the schema's keys, both the light and the dark one when the schema has both, and the
// picture option becomes "stretched".
//
// Showing the same file again: the shell caches a background by file, and setting a key to the
// value it already holds notifies nobody, so a rewritten "Weekleaf-Modifed.bmp" would not show.
// A re-show therefore names a fresh link of the file (ShownLinks.h); CurrentWallpaperFile() maps
// a link back to the file.
//
// Screen size comes from the X display when there is one (XWayland included), else
// kDefaultScreen.
#include <memory>
#include <mutex>
#include <optional>

#include "platform/Desktop.h"
#include "platform/X11Connection.h"

namespace wl {

struct GSettingsProfile {
    std::string name;           // for logs: "gnome", "cinnamon", "mate"
    std::string schema;         // "org.gnome.desktop.background"
    std::string pictureKey;     // "picture-uri"
    std::string darkKey;        // "picture-uri-dark"; empty or absent from the schema: not written
    std::string optionsKey;     // "picture-options"
    bool keyHoldsPath = false;  // MATE's "picture-filename" holds a path, not a URI
};

GSettingsProfile GnomeProfile();
GSettingsProfile CinnamonProfile();
GSettingsProfile MateProfile();

// True when the profile's schema is installed and has its picture and options keys.
bool GSettingsProfileAvailable(const GSettingsProfile& profile);

class GnomeDesktop : public IDesktop {
  public:
    // Throws std::runtime_error when the schema is not installed.
    explicit GnomeDesktop(GSettingsProfile profile = GnomeProfile());
    ~GnomeDesktop() override;

    std::string CurrentWallpaperFile() override;
    void ShowWallpaper(const std::string& path) override;
    std::string SystemWallpaperCopyName() override;
    std::filesystem::path SaveSystemWallpaperCopy(const std::filesystem::path& folder) override;
    ScreenSize Screen() override { return FScreen.Get(); }
    std::string Name() const override { return FProfile.name; }

    // The raw value of the picture key (a URI or a path), for tests and logs.
    std::string PictureKeyValue();

  private:
    struct Settings;
    std::string ShownFile();               // the file the key names, links not mapped back
    std::filesystem::path SystemSource();  // the picture to copy for a backup; empty when none
    void WritePicture(const std::filesystem::path& file);

    GSettingsProfile FProfile;
    std::unique_ptr<Settings> FSettings;
    std::mutex FLock;
    X11ScreenSize FScreen;
};

}  // namespace wl
