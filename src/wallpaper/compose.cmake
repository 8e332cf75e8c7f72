target_sources(wl_wallpaper PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Blender.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WppLibrary.cpp
)
