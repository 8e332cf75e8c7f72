#pragma once
// File helpers shared by the desktop backends.
#include <filesystem>

namespace wl {

// Copies a picture file whole and atomically (a reader never sees half a picture); throws
// std::runtime_error naming the files on failure. Copying a file onto itself does nothing.
void CopyPictureFile(const std::filesystem::path& source, const std::filesystem::path& target);

// True when a regular file exists at `path` (an empty path is no file).
bool IsPictureFile(const std::filesystem::path& path);

}  // namespace wl
