#pragma once
// One running program per user and display. The main window carries the X11 class "TfmMain" and
// the title "Weekleaf"; a new process finds such a window and sends it a private client message,
// on which the older program ends (without restoring the wallpaper) and the newer one proceeds.
// Without an X11 display (offscreen, Wayland without XWayland) these calls do nothing.
#include <functional>
#include <string>

class QWidget;

namespace wl {

inline constexpr const char* kMainWindowClass = "TfmMain";
inline constexpr const char* kMainWindowTitle = "Weekleaf";

// Looks for a top-level window of class kMainWindowClass titled kMainWindowTitle on the display
// named by DISPLAY and asks it to quit; returns at once whether one was asked. Plain Xlib: it
// runs before the application object exists.
bool AskRunningInstanceToQuit();

// Gives the widget's native window the class and title above and runs `onQuitRequest` (on the
// main thread) when another instance asks this one to quit. Call once the widget exists; the
// QApplication must be running on the xcb platform for the request to arrive.
void MarkInstanceWindow(QWidget& window, std::function<void()> onQuitRequest);

// The same search, for tests: the X11 id of the running instance's window, 0 when none.
unsigned long FindInstanceWindow();

}  // namespace wl
