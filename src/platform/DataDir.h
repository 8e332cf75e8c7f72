#pragma once
// Where the user's data lives. Portable: reads the environment only.
#include <filesystem>

namespace wl {

// The data folder, computed anew at every call from the environment:
// "$AppData/Weekleaf" when AppData is set (tests rely on this),
// otherwise "$XDG_DATA_HOME/Weekleaf", otherwise "$HOME/.local/share/Weekleaf".
std::filesystem::path DataDir();

}  // namespace wl
