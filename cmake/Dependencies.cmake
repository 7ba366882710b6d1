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
# libthai for line breaks. Required on Linux; the Windows build goes without them for now (its
# dependencies do not include them yet) and refuses the key.
if(PkgConfig_FOUND AND NOT WIN32)
  pkg_check_modules(FRIBIDI QUIET IMPORTED_TARGET fribidi)
  pkg_check_modules(UNIBREAK QUIET IMPORTED_TARGET libunibreak)
  pkg_check_modules(LIBTHAI QUIET IMPORTED_TARGET libthai)
endif()
if(FRIBIDI_FOUND AND UNIBREAK_FOUND AND LIBTHAI_FOUND)
  set(FONTBIN_WITH_STRINGS ON)
elseif(NOT WIN32)
  message(FATAL_ERROR "fontbin: FriBidi, libunibreak and libthai are needed (install "
                      "libfribidi-dev libunibreak-dev libthai-dev)")
endif()

if(UNIX AND NOT APPLE)
  pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
endif()
