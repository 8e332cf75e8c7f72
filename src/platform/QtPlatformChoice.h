#pragma once
// Which Qt platform the program runs on is the program's choice, not whatever Qt finds installed:
// with qt6-wayland present Qt would pick native Wayland by itself on a Wayland desktop, where a
// window cannot be placed at the drawn blocks. Where an X display exists (X11, or Xwayland beside
// a Wayland compositor) the program runs on it; only a Wayland session without one runs natively.
// A platform the user chose (QT_QPA_PLATFORM) stays. No Qt here: this runs before Qt starts.
#include <string>

namespace wl {

// The QT_QPA_PLATFORM value to set for the session described by the three variables (nullptr:
// not set); empty when nothing should be set.
std::string ChooseQtPlatform(const char* chosen, const char* display, const char* waylandDisplay);

// Sets QT_QPA_PLATFORM from this process's environment as ChooseQtPlatform says.
void ChooseQtPlatformForThisSession();

}  // namespace wl
