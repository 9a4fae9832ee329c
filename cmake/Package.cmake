# The files a Debian package needs besides the programs, and the CPack
# settings that make one: a machine-readable copyright file covering tib,
# the artwork and the lodepng code compiled in, a compressed changelog and
# compressed man pages.

# The Expat licence of tib, in the copyright file's indented form.
file(READ "${PROJECT_SOURCE_DIR}/LICENSE" expat_text)
string(REGEX REPLACE "^Copyright[^\n]*\n\n" "" expat_text "${expat_text}")
string(REGEX REPLACE "\n+$" "" expat_text "${expat_text}")
string(REPLACE "\n\n" "\n.\n" expat_text "${expat_text}")
string(REPLACE "\n" "\n " expat_text "${expat_text}")
set(EXPAT_TEXT " ${expat_text}")

set(LODEPNG_STANZA "")
if(TIB_LODEPNG_STATIC)
  # The programs embed lodepng: its copyright and licence come from the
  # source package they were compiled from.
  file(READ "${TIB_LODEPNG_SOURCE_DIR}/debian/copyright" lodepng_copyright)
  string(REGEX MATCH "\nLicense: Zlib\n( [^\n]*\n)+" zlib_text "${lodepng_copyright}")
  string(REGEX MATCH "Files: \\*\nCopyright: ([^\n]*)" ignored "${lodepng_copyright}")
  set(LODEPNG_STANZA
      "\nFiles: usr/bin/tib usr/bin/tib-server usr/bin/tib-game\nCopyright: 2026 the tib developers;\n ${CMAKE_MATCH_1}\nLicense: Expat and Zlib\nComment: The programs embed lodepng, compiled from Debian's source package\n lodepng (= ${TIB_LODEPNG_VERSION}), which is under the Zlib licence.\n${zlib_text}")
endif()
configure_file("${PROJECT_SOURCE_DIR}/packaging/copyright.in"
               "${PROJECT_BINARY_DIR}/copyright" @ONLY)

# Compressed the way Debian compresses documentation: no name, no time.
set(compressed "")
foreach(source doc/tib.1 doc/tib-server.1 doc/tib-game.1 packaging/changelog)
  get_filename_component(name "${source}" NAME)
  set(output "${PROJECT_BINARY_DIR}/${name}.gz")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND gzip -9n -c "${PROJECT_SOURCE_DIR}/${source}" > "${output}"
    DEPENDS "${PROJECT_SOURCE_DIR}/${source}" VERBATIM)
  list(APPEND compressed "${output}")
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${compressed})

install(FILES "${PROJECT_BINARY_DIR}/tib.1.gz" "${PROJECT_BINARY_DIR}/tib-server.1.gz"
              "${PROJECT_BINARY_DIR}/tib-game.1.gz"
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES "${PROJECT_BINARY_DIR}/copyright" "${PROJECT_BINARY_DIR}/changelog.gz"
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME tib)
set(CPACK_PACKAGE_CONTACT "tib developers <tib@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "chess diagram generator: FEN in, PNG out")
set(CPACK_PACKAGE_DESCRIPTION "tib renders a chess position given in Forsyth-Edwards Notation as a PNG
diagram: it blends piece sprites onto a board picture, marks the side to
move and resamples to the size asked for. The same arguments and artwork
always give the same bytes.
.
tib-server serves the very same diagrams over HTTP, with the artwork
decoded once; a systemd unit is included but not enabled.
.
tib-game reads chess games in PGN and prints their positions or draws the
diagram of any move, with the arrows and coloured squares of its comment,
or prints one diagram of every game of a file as a PDF sheet.
.
The cburnett piece set on three board themes is included.")
# Dependencies from dpkg-shlibdeps (cairo and librsvg for the sheets among
# them): liblodepng0 and the C++ runtime only where they are linked as
# shared libraries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The player bars' text: DejaVu Sans always, Noto CJK for Han, kana and
# hangul names.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
if(TIB_LODEPNG_STATIC)
  set(CPACK_DEBIAN_PACKAGE_BUILT_USING "lodepng (= ${TIB_LODEPNG_VERSION})")
  set(CPACK_POST_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/DebBuiltUsing.cmake")
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
