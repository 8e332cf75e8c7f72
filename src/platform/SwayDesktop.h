#pragma once
// sway (and compositors that speak its IPC): the picture goes onto the primary output (the focused
// one, where the user works) with the command `output "<name>" bg "<file>" stretch`; the other
// outputs keep their own picture. sway starts a new swaybg for every such command, so a file
// rewritten under the same name is shown again.
//
// sway cannot be asked which picture it shows, but swaybg's command line says it
// ("swaybg -o <output> -i <file> -m <mode> ..."): the user's own picture, for the backup, is the
// one the running swaybg shows on the primary output.
//
// Taking ours off the desktop (a session that showed no picture there before us) ends the swaybg
// that shows it, which leaves the compositor's own background, as before; when the same swaybg
// draws other outputs' pictures, the primary output gets black instead.
//
// Screen size: the primary output's mode (GET_OUTPUTS), asked anew each time, so outputs added,
// removed or changed count, with its scale (the week is laid out for the logical size and drawn
// at the mode's); kDefaultScreen when the compositor does not answer.
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
    std::string OutputName() override;
    std::string Name() const override { return "sway"; }

    // The command that shows `file` stretched on `output`; throws std::invalid_argument for a
    // name that sway's command parser could split.
    static std::string ShowCommand(const std::string& output, const std::filesystem::path& file);

    // The picture a swaybg command line shows on `output` ("-o NAME|* -i FILE ..."; a picture for
    // the output itself wins over one for every output, "*"); empty when it shows a colour there.
    static std::string PictureOfSwaybg(const std::vector<std::string>& argv, const std::string& output);

  private:
    std::string Primary();       // the primary output's name; empty when the compositor names none
    std::string ShownPicture();  // what swaybg shows on it now; empty when none runs

    std::string FSocket;
    std::mutex FLock;  // guards FShown
    std::string FShown;
};

}  // namespace wl
