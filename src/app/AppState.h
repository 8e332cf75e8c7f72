#pragma once
// Process-wide state of the shell. Owner: the main thread; the drawing thread gets copies in its
// DrawRequest. DrawIdle belongs to the main window's DrawScheduler (TfmMain::DrawIdle()).
#include <cstdint>
#include <string>

namespace wl {

extern bool FirstStart;            // Config.ini had to be written at this start
extern bool BlocksVisible;         // the week blocks are drawn onto the wallpaper (ShowBloks)
extern std::string BlockFontName;  // Font
extern int32_t BlockFontSize;      // FontSize
extern int32_t BlockAlpha;         // ALPHABLEND_VALUE (low byte used)

}  // namespace wl
