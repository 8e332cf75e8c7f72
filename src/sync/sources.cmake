target_sources(wl_sync PRIVATE ${CMAKE_CURRENT_LIST_DIR}/WLSocketPlaceholder.cpp)
