#pragma once
// The look of the week's text, shared by the wallpaper drawing and the desktop editor overlay's
// block editors: when the overlay opens, the drawn blocks turn into editable fields, so both lay
// out the entries in the same face, size and line height, and draw the headers in the same face.
// A font that is not installed falls back to one face for every part of the program.
//
// Threads: any (fonts are looked up through the thread's own font map).
#include <string>

namespace wl {

// The entries' text size and line height (a multiple of the size: 16 px text on 20 px lines).
inline constexpr int kWeekTextPx = 16;
inline constexpr const char* kWeekLineHeight = "1.25";

// The installed family for `wanted` (matched regardless of case, spelled as installed). When it is
// empty or not installed, the program's sans: its design face, else a look-alike, else the
// system's sans-serif face.
std::string InstalledFace(const std::string& wanted);

// A header font size in points as pixels at the screen's 96 dpi (rounded), the same for the
// drawing and the editors.
int PointsToPx(int points);

// Style rules that give the body the program's sans at the week's text size and line height.
std::string WeekTextCss();

}  // namespace wl
