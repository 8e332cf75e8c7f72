# Applying, backing up and restoring the wallpaper, the drawing thread, and the render tool.
target_sources(wl_wallpaper PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/TWallPaper.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TDrawTH.cpp
)
target_link_libraries(wl_wallpaper PUBLIC wl_desktop)

# weekleaf-render: draws a data folder's shown week onto a picture (benchmarks, README pictures).
add_executable(weekleaf-render ${PROJECT_SOURCE_DIR}/src/tools/WeekleafRender.cpp)
target_link_libraries(weekleaf-render PRIVATE wl_wallpaper)
