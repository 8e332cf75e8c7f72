#pragma once
// File helpers shared by the desktop backends.
#include <filesystem>

namespace wl {

// Copies a picture file whole and atomically (a reader never sees half a picture); throws
// std::runtime_error naming the files on failure. Copying a file onto itself does nothing.
void CopyPictureFile(const std::filesystem::path& source, const std::filesystem::path& target);

// True when a regular file exists at `path` (an empty path is no file).
bool IsPictureFile(const std::filesystem::path& path);

// Desktops whose "system copy" is simply the picture their settings name (`shown`, possibly a
// re-show link, which is copied under its original's name): the copy's file name ("Wallpaper"
// when nothing is named), and the copy itself into `folder` (throws when the picture is gone).
std::string ShownPictureName(const std::filesystem::path& shown);
std::filesystem::path CopyShownPicture(const std::filesystem::path& shown,
                                       const std::filesystem::path& folder);

}  // namespace wl
