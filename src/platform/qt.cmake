# Qt-facing platform pieces, built only with the desktop app: the browser's process set-up and
# Qt's own texts in Russian.
find_package(Qt6 REQUIRED COMPONENTS Core)
add_library(wl_platform_qt STATIC
  ${CMAKE_CURRENT_LIST_DIR}/QtWebEngineSetup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/QtTranslations.cpp
)
target_include_directories(wl_platform_qt PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(wl_platform_qt PUBLIC Qt6::Core)

# The shell's platform pieces: the channel between instances, single instance over X11, session
# end and termination signals, logind's sleep signal over D-Bus, opening a web address in the
# user's browser, the global hot keys (X11 grabs, the desktop portal's global shortcuts), KWin's
# scripting for putting the other windows away, Qt's screen of a monitor named by the window system.
find_package(Qt6 REQUIRED COMPONENTS Widgets DBus Network)
pkg_check_modules(WL_SHELL_X REQUIRED IMPORTED_TARGET x11 xcb)
add_library(wl_platform_shell STATIC
  ${CMAKE_CURRENT_LIST_DIR}/InstanceChannel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SessionWatch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OpenInBrowser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HotKeys.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MemoryHotKeys.cpp
  ${CMAKE_CURRENT_LIST_DIR}/X11HotKeys.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PortalHotKeys.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KWinOtherWindows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/QtScreens.cpp
)
set_target_properties(wl_platform_shell PROPERTIES AUTOMOC ON)
target_include_directories(wl_platform_shell PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(wl_platform_shell PUBLIC Qt6::Widgets Qt6::DBus Qt6::Network wl_desktop PRIVATE PkgConfig::WL_SHELL_X)
