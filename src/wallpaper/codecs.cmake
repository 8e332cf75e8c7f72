# Picture codecs: format detection, BMP/JPEG/PNG decoding, BMP writing, stretching, previews.
find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
target_sources(wl_wallpaper PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ImageCodecs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BmpCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JpegCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PngCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImageStretch.cpp
)
target_link_libraries(wl_wallpaper PRIVATE JPEG::JPEG PNG::PNG)
