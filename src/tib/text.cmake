# The text layer: player bars, clocks and move glyphs drawn with FreeType,
# HarfBuzz and fontconfig (libfreetype-dev, libharfbuzz-dev,
# libfontconfig-dev; fonts-dejavu-core, fonts-noto-cjk for Han, kana and
# hangul names).
pkg_check_modules(TEXT_LIBS REQUIRED IMPORTED_TARGET freetype2 harfbuzz fontconfig)
add_library(tib_text STATIC
  ${CMAKE_CURRENT_LIST_DIR}/move_glyphs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/player_bars.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_faces.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_runs.cpp)
target_include_directories(tib_text PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tib_text PUBLIC tib_chess Threads::Threads PRIVATE PkgConfig::TEXT_LIBS)
