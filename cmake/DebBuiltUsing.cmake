# CPack post-build script: adds the Built-Using field to the Debian package
# (CPack has no variable for it). Reads CPACK_DEBIAN_PACKAGE_BUILT_USING,
# e.g. "lodepng (= 0.0~git20220618.b4ed2cd-3)", and rebuilds each .deb with
# dpkg-deb, owned by root as CPack made it.
if(NOT CPACK_GENERATOR STREQUAL "DEB" OR NOT CPACK_DEBIAN_PACKAGE_BUILT_USING)
  return()
endif()
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
  set(tree "${package}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${package}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  file(READ "${tree}/DEBIAN/control" control)
  # Ahead of the description, which ends the paragraph by custom.
  string(REPLACE "\nDescription:"
         "\nBuilt-Using: ${CPACK_DEBIAN_PACKAGE_BUILT_USING}\nDescription:"
         control "${control}")
  file(WRITE "${tree}/DEBIAN/control" "${control}")
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz -b "${tree}" "${package}"
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
