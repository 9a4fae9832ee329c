# lodepng, the PNG codec, as the target lodepng::lodepng.
#
# TIB_LODEPNG selects how it is built:
#   auto    (default) Debian's source package lodepng, compiled here into a
#           static library, whenever its source can be had (fetched with
#           `apt-get source` into TIB_DEPS_DIR when missing); otherwise
#           Debian's shared liblodepng, with a one-line notice.
#   source  the static library from Debian's source package, or fail.
#   system  Debian's shared liblodepng.
# The source version is the one of the installed liblodepng-dev, so both
# ways build the very same code. The static library is compiled with the
# project's CMAKE_CXX_FLAGS (sanitizers and fuzzing instrument it too), at
# -O3 in optimised builds, without the project's warnings.
#
# Sets TIB_LODEPNG_STATIC, TIB_LODEPNG_VERSION (the Debian source version)
# and TIB_LODEPNG_SOURCE_DIR; defines lodepng::shared as well when Debian's
# shared library is installed.

set(TIB_LODEPNG auto CACHE STRING "lodepng: auto, source (static, from Debian's source package) or system (shared)")
set_property(CACHE TIB_LODEPNG PROPERTY STRINGS auto source system)
set(TIB_DEPS_DIR "${PROJECT_SOURCE_DIR}/.deps" CACHE PATH "Where fetched dependency sources are kept (shared by all build folders)")
if(NOT TIB_LODEPNG MATCHES "^(auto|source|system)$")
  message(FATAL_ERROR "TIB_LODEPNG must be auto, source or system, not '${TIB_LODEPNG}'")
endif()

find_path(LODEPNG_INCLUDE_DIR lodepng.h)
find_library(LODEPNG_LIBRARY lodepng)
if(LODEPNG_INCLUDE_DIR AND LODEPNG_LIBRARY)
  add_library(lodepng::shared UNKNOWN IMPORTED)
  set_target_properties(lodepng::shared PROPERTIES
    IMPORTED_LOCATION "${LODEPNG_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${LODEPNG_INCLUDE_DIR}")
endif()

# Leaves the unpacked source folder in ${out_dir}, or sets ${out_reason}.
function(tib_fetch_lodepng_source out_dir out_reason)
  set(${out_dir} "" PARENT_SCOPE)
  execute_process(
    COMMAND dpkg-query -W "-f=\${source:Version}" liblodepng-dev
    RESULT_VARIABLE status OUTPUT_VARIABLE version ERROR_QUIET)
  if(NOT status EQUAL 0 OR version STREQUAL "")
    set(${out_reason} "liblodepng-dev is not installed, so the version to build is unknown" PARENT_SCOPE)
    return()
  endif()
  set(TIB_LODEPNG_VERSION "${version}" PARENT_SCOPE)
  string(REGEX REPLACE "[^A-Za-z0-9.+-]" "_" folder_version "${version}")
  set(dir "${TIB_DEPS_DIR}/lodepng-${folder_version}")
  file(MAKE_DIRECTORY "${TIB_DEPS_DIR}")
  # One fetch for all build folders, even when configured at once.
  file(LOCK "${TIB_DEPS_DIR}/lodepng.lock" GUARD FUNCTION TIMEOUT 600)
  if(EXISTS "${dir}/lodepng.cpp" AND EXISTS "${dir}/debian/copyright")
    set(${out_dir} "${dir}" PARENT_SCOPE)
    return()
  endif()
  find_program(TIB_APT_GET apt-get)
  find_program(TIB_DPKG_SOURCE dpkg-source)
  if(NOT TIB_APT_GET OR NOT TIB_DPKG_SOURCE)
    set(${out_reason} "apt-get source needs apt and dpkg-dev" PARENT_SCOPE)
    return()
  endif()
  file(RELATIVE_PATH shown "${PROJECT_SOURCE_DIR}" "${dir}")
  if(shown MATCHES "^\\.\\.")
    set(shown "${dir}")
  endif()
  message(STATUS "lodepng: fetching Debian's source package lodepng (= ${version}) into ${shown} with apt-get source")
  set(partial "${dir}.partial")
  file(REMOVE_RECURSE "${partial}")
  file(MAKE_DIRECTORY "${partial}")
  execute_process(
    COMMAND "${TIB_APT_GET}" source --only-source -qq "lodepng=${version}"
    WORKING_DIRECTORY "${partial}"
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  file(GLOB unpacked LIST_DIRECTORIES true "${partial}/lodepng-*")
  list(FILTER unpacked INCLUDE REGEX "/lodepng-[^/]*$")
  if(status EQUAL 0 AND unpacked AND EXISTS "${unpacked}/lodepng.cpp")
    file(RENAME "${unpacked}" "${dir}")
    file(REMOVE_RECURSE "${partial}")
    set(${out_dir} "${dir}" PARENT_SCOPE)
    return()
  endif()
  file(REMOVE_RECURSE "${partial}")
  # The first error line of apt-get says why (say, no deb-src entry).
  string(REGEX MATCH "E: [^\n]*" reason "${errors}")
  if(reason STREQUAL "")
    set(reason "apt-get source lodepng=${version} failed")
  endif()
  set(${out_reason} "${reason}" PARENT_SCOPE)
endfunction()

set(TIB_LODEPNG_STATIC OFF)
set(TIB_LODEPNG_SOURCE_DIR "")
if(NOT TIB_LODEPNG STREQUAL "system")
  tib_fetch_lodepng_source(TIB_LODEPNG_SOURCE_DIR reason)
  if(TIB_LODEPNG_SOURCE_DIR)
    set(TIB_LODEPNG_STATIC ON)
  elseif(TIB_LODEPNG STREQUAL "source")
    message(FATAL_ERROR "lodepng: cannot have Debian's source package: ${reason} (tools/install-deps.sh sets up what apt-get source needs)")
  else()
    message(NOTICE "lodepng: using Debian's shared liblodepng, the slower build: no source (${reason}); tools/install-deps.sh sets up apt-get source")
  endif()
endif()

if(TIB_LODEPNG_STATIC)
  add_library(lodepng_static STATIC "${TIB_LODEPNG_SOURCE_DIR}/lodepng.cpp")
  target_include_directories(lodepng_static SYSTEM PUBLIC "${TIB_LODEPNG_SOURCE_DIR}")
  # Third-party code: no warnings of ours; -O3 where we optimise.
  target_compile_options(lodepng_static PRIVATE -w $<$<CONFIG:Release,RelWithDebInfo>:-O3>)
  set_target_properties(lodepng_static PROPERTIES OUTPUT_NAME lodepng)
  add_library(lodepng::lodepng ALIAS lodepng_static)
  message(STATUS "lodepng: static, from Debian's source package lodepng (= ${TIB_LODEPNG_VERSION})")
elseif(TARGET lodepng::shared)
  add_library(lodepng::lodepng ALIAS lodepng::shared)
  message(STATUS "lodepng: Debian's shared library ${LODEPNG_LIBRARY}")
else()
  message(FATAL_ERROR "lodepng: neither its source nor Debian's liblodepng-dev is available; run tools/install-deps.sh")
endif()
