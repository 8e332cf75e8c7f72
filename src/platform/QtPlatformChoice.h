#pragma once
// Which Qt platform the program runs on is the program's choice, not whatever Qt finds installed:
// with qt6-wayland present Qt would pick native Wayland by itself on a Wayland desktop, where a
// window cannot be placed at the drawn blocks. Where an X display exists (X11, or Xwayland beside
// GNOME or KWin, which place its windows exactly) the program runs on it. sway places no window
// where a program asks, X11 or not, so there the program runs natively (falling back to Xwayland
// when Qt's Wayland plugin is missing), as does a Wayland session without an X display. A platform
// the user chose (QT_QPA_PLATFORM) stays. No Qt here: this runs before Qt starts.
#include <string>

namespace wl {

// The QT_QPA_PLATFORM value to set for the session described by the variables QT_QPA_PLATFORM,
// DISPLAY, WAYLAND_DISPLAY and SWAYSOCK (nullptr: not set); empty when nothing should be set.
std::string ChooseQtPlatform(const char* chosen, const char* display, const char* waylandDisplay,
                             const char* swaySocket = nullptr);

// Sets QT_QPA_PLATFORM from this process's environment as ChooseQtPlatform says.
void ChooseQtPlatformForThisSession();

// Whether a top-level window of the Qt platform `qtPlatform` (the running one's name) lands exactly
// where the program puts it, shaped as asked, in the session described by SWAYSOCK: true on X11
// and under Xwayland beside GNOME or KWin; false natively on Wayland (xdg-shell has no positions)
// and anywhere in sway, which tiles or centres windows itself. Where it is false the desktop
// editor is one full-screen window instead of windows over the blocks.
bool PlacesWindowsExactly(const std::string& qtPlatform, const char* swaySocket);
bool SessionPlacesWindows(const std::string& qtPlatform);

}  // namespace wl
