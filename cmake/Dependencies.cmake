# Every dependency comes from a Debian -dev package; scripts/setup.sh installs them. The Windows
# build finds static builds of the same libraries in FONTBIN_WINDOWS_DEPS
# (scripts/build-windows.sh).
if(WIN32)
  find_package(PkgConfig QUIET)
else()
  find_package(PkgConfig REQUIRED)
endif()

# cJSON: its CMake package when present, pkg-config otherwise.
find_package(cJSON CONFIG QUIET)
if(TARGET cjson)
  add_library(fontbin::cjson ALIAS cjson)
  if(WIN32)
    # Linked statically and built without dllexport (scripts/build-windows.sh): declared so too.
    set_property(TARGET cjson APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS CJSON_HIDE_SYMBOLS)
  endif()
else()
  pkg_check_modules(CJSON REQUIRED IMPORTED_TARGET libcjson)
  add_library(fontbin::cjson ALIAS PkgConfig::CJSON)
endif()

find_package(PNG REQUIRED)
find_package(Freetype 2.12 REQUIRED)
if(WIN32)
  # A static FreeType needs the libraries it was built with.
  find_package(ZLIB REQUIRED)
  set_property(TARGET Freetype::Freetype APPEND PROPERTY INTERFACE_LINK_LIBRARIES PNG::PNG ZLIB::ZLIB)
endif()

# OpenCV core only, and only for the rasteriser's tests, which compare cells as matrices: the
# tool itself does not need it, and the Windows build goes without (its tests skip those). Debian ships OpenCVConfig.cmake in libopencv-dev, which pulls in every module
# (GDAL, HDF5, ...); libopencv-core-dev alone has the header and the library, so fall back to those.
find_package(OpenCV 4 QUIET COMPONENTS core)
if(OpenCV_FOUND)
  add_library(fontbin_opencv_core INTERFACE)
  target_link_libraries(fontbin_opencv_core INTERFACE opencv_core)
  target_include_directories(fontbin_opencv_core INTERFACE ${OpenCV_INCLUDE_DIRS})
elseif(NOT WIN32)
  find_path(OPENCV_CORE_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
  find_library(OPENCV_CORE_LIBRARY opencv_core REQUIRED)
  add_library(fontbin_opencv_core INTERFACE)
  target_include_directories(fontbin_opencv_core INTERFACE ${OPENCV_CORE_INCLUDE_DIR})
  target_link_libraries(fontbin_opencv_core INTERFACE ${OPENCV_CORE_LIBRARY})
endif()
if(TARGET fontbin_opencv_core)
  add_library(fontbin::opencv_core ALIAS fontbin_opencv_core)
endif()

# HarfBuzz reads a font's kerning (GPOS and the kern table). Its CMake package comes with Debian's
# libharfbuzz-dev and with the static Windows build; pkg-config otherwise.
# HarfBuzz's package links Threads::Threads, which it leaves to its user to define.
find_package(Threads REQUIRED)
find_package(harfbuzz CONFIG QUIET)
if(TARGET harfbuzz::harfbuzz)
  # The package of HarfBuzz's own CMake build names no include folder; the headers are in
  # include/harfbuzz under the prefix, as with Debian's package.
  find_path(FONTBIN_HARFBUZZ_INCLUDE_DIR hb.h PATH_SUFFIXES harfbuzz REQUIRED)
  add_library(fontbin_harfbuzz INTERFACE)
  target_link_libraries(fontbin_harfbuzz INTERFACE harfbuzz::harfbuzz)
  target_include_directories(fontbin_harfbuzz INTERFACE ${FONTBIN_HARFBUZZ_INCLUDE_DIR})
  add_library(fontbin::harfbuzz ALIAS fontbin_harfbuzz)
else()
  pkg_check_modules(HARFBUZZ REQUIRED IMPORTED_TARGET harfbuzz)
  add_library(fontbin::harfbuzz ALIAS PkgConfig::HARFBUZZ)
endif()

# Shaping of UI strings ("stringPaths"): FriBidi for the bidirectional algorithm, libunibreak and
# libthai (with libdatrie, which holds its dictionary) for line breaks. Linux takes Debian's
# packages through pkg-config; the Windows build finds the static builds in
# FONTBIN_WINDOWS_DEPS, libthai before the libdatrie it needs.
if(WIN32)
  # fontbin_static_library(NAME HEADER HEADER-SUBDIR LIBRARY...): fontbin::NAME.
  function(fontbin_static_library name header subdir)
    find_path(FONTBIN_${name}_INCLUDE_DIR ${header} PATH_SUFFIXES ${subdir} REQUIRED)
    add_library(fontbin_${name} INTERFACE)
    target_include_directories(fontbin_${name} INTERFACE ${FONTBIN_${name}_INCLUDE_DIR})
    foreach(lib ${ARGN})
      find_library(FONTBIN_${lib}_LIBRARY ${lib} REQUIRED)
      target_link_libraries(fontbin_${name} INTERFACE ${FONTBIN_${lib}_LIBRARY})
    endforeach()
    add_library(fontbin::${name} ALIAS fontbin_${name})
  endfunction()
  fontbin_static_library(fribidi fribidi.h fribidi fribidi)
  fontbin_static_library(unibreak linebreak.h "" unibreak)
  fontbin_static_library(thai thai/thbrk.h "" thai datrie)
  # libthai's dictionary of Thai words: Debian's libthai-data file (the one the Linux build reads),
  # shipped beside the programs, where they look for it (platform::thaiDictionaryPath).
  find_file(FONTBIN_THAI_DICTIONARY thbrk.tri PATHS ${FONTBIN_WINDOWS_DEPS}/share/libthai
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  configure_file(${FONTBIN_THAI_DICTIONARY} ${FONTBIN_BIN_DIR}/thbrk.tri COPYONLY)
else()
  pkg_check_modules(FRIBIDI REQUIRED IMPORTED_TARGET fribidi)
  pkg_check_modules(UNIBREAK REQUIRED IMPORTED_TARGET libunibreak)
  pkg_check_modules(LIBTHAI REQUIRED IMPORTED_TARGET libthai)
  add_library(fontbin::fribidi ALIAS PkgConfig::FRIBIDI)
  add_library(fontbin::unibreak ALIAS PkgConfig::UNIBREAK)
  add_library(fontbin::thai ALIAS PkgConfig::LIBTHAI)
endif()

if(UNIX AND NOT APPLE)
  pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
endif()
