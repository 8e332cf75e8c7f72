#pragma once
// Qt's screen for a monitor the window system names. Natively on Wayland the screen Qt calls
// primary is merely the first output it learnt of, which need not be the one the week is drawn on;
// Qt's Wayland plugin names each screen as the compositor names the output.
#include <string>

class QScreen;

namespace wl {

// The screen called `name`; the primary screen when the name is empty or no screen has it
// (nullptr only when Qt has no screen at all).
QScreen* ScreenNamed(const std::string& name);

}  // namespace wl
