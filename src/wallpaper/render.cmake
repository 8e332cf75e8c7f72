# The HTML layout engine (litehtml on cairo + pango) and the drawing run.
find_package(litehtml CONFIG QUIET)
if(TARGET litehtml)
  set(WL_LITEHTML litehtml)
else()
  find_library(WL_LITEHTML NAMES litehtml REQUIRED)
endif()
pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo)
target_sources(wl_wallpaper PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CairoContainer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HtmlElements.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HtmlRenderer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Drawing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextLook.cpp
)
target_link_libraries(wl_wallpaper PUBLIC ${WL_LITEHTML} PkgConfig::PANGOCAIRO)
