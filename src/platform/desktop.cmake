# Desktop backends: the bare X11 root window (Xlib), GSettings desktops (GIO), XFCE (through the
# xfconf-query program), sway (its IPC socket) and the memory fallback, chosen at run time by
# MakeDesktop; putting the other windows away (X11OtherWindows); hot keys
# as sway bindings and GNOME custom shortcuts.
pkg_check_modules(WL_X11 REQUIRED IMPORTED_TARGET GLOBAL x11 xrandr)
pkg_check_modules(WL_GIO REQUIRED IMPORTED_TARGET GLOBAL gio-2.0)

add_library(wl_desktop STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Desktop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DesktopFiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MemoryDesktop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/X11Connection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/X11RootDesktop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GnomeDesktop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ShownLinks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XfceDesktop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RunCommand.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PlasmaDesktop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SwayIpc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SwayDesktop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SwayHotKeys.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GnomeHotKeys.cpp
  ${CMAKE_CURRENT_LIST_DIR}/X11OtherWindows.cpp
)
target_link_libraries(wl_desktop PUBLIC wl_platform_core Threads::Threads PRIVATE PkgConfig::WL_X11 PkgConfig::WL_GIO)
