#pragma once
// sway (and compositors that speak its IPC): the picture goes up with the command
// `output * bg "<file>" stretch`. sway starts a new swaybg for every such command, so a file
// rewritten under the same name is shown again.
//
// sway cannot be asked which picture it shows, but swaybg's command line says it
// ("swaybg -o <output> -i <file> -m <mode> ..."): the user's own picture, for the backup, is the
// first picture of the user's running swaybg. Taking ours off the desktop (a session that showed
// no picture before us) ends the swaybg that shows it, which leaves the compositor's own
// background, as before.
//
// Screen size: the first active output's mode (GET_OUTPUTS), asked anew each time; kDefaultScreen
// when the compositor does not answer.
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Desktop.h"

namespace wl {

class SwayDesktop : public IDesktop {
  public:
    // Throws std::runtime_error when the compositor does not answer on `socketPath`.
    explicit SwayDesktop(std::string socketPath);

    std::string CurrentWallpaperFile() override;
    void ShowWallpaper(const std::string& path) override;
    std::string SystemWallpaperCopyName() override;
    std::filesystem::path SaveSystemWallpaperCopy(const std::filesystem::path& folder) override;
    void ClearWallpaper() override;
    ScreenSize Screen() override;
    std::string Name() const override { return "sway"; }

    // The command that shows `file` stretched on every output; throws std::invalid_argument for
    // a name that sway's command parser could split.
    static std::string ShowCommand(const std::filesystem::path& file);

    // The first picture a swaybg command line shows ("-i FILE" or "--image FILE"); empty when it
    // shows colours only.
    static std::string PictureOfSwaybg(const std::vector<std::string>& argv);

  private:
    std::string ShownPicture();  // what the user's swaybg shows now; empty when none runs

    std::string FSocket;
    std::mutex FLock;  // guards FShown
    std::string FShown;
};

}  // namespace wl
