# Qt-facing platform pieces, built only with the desktop app.
find_package(Qt6 REQUIRED COMPONENTS Core)
add_library(wl_platform_qt STATIC ${CMAKE_CURRENT_LIST_DIR}/QtWebEngineSetup.cpp)
target_include_directories(wl_platform_qt PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(wl_platform_qt PUBLIC Qt6::Core)
