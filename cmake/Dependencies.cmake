# Every dependency comes from a Debian -dev package; scripts/setup.sh installs them.
find_package(PkgConfig REQUIRED)

# cJSON: its CMake package when present, pkg-config otherwise.
find_package(cJSON CONFIG QUIET)
if(TARGET cjson)
  add_library(fontbin::cjson ALIAS cjson)
else()
  pkg_check_modules(CJSON REQUIRED IMPORTED_TARGET libcjson)
  add_library(fontbin::cjson ALIAS PkgConfig::CJSON)
endif()

find_package(Freetype 2.12 REQUIRED)
find_package(PNG REQUIRED)

# OpenCV core only. Debian ships OpenCVConfig.cmake in libopencv-dev, which pulls in every module
# (GDAL, HDF5, ...); libopencv-core-dev alone has the header and the library, so fall back to those.
find_package(OpenCV 4 QUIET COMPONENTS core)
if(OpenCV_FOUND)
  add_library(fontbin_opencv_core INTERFACE)
  target_link_libraries(fontbin_opencv_core INTERFACE opencv_core)
  target_include_directories(fontbin_opencv_core INTERFACE ${OpenCV_INCLUDE_DIRS})
else()
  find_path(OPENCV_CORE_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
  find_library(OPENCV_CORE_LIBRARY opencv_core REQUIRED)
  add_library(fontbin_opencv_core INTERFACE)
  target_include_directories(fontbin_opencv_core INTERFACE ${OPENCV_CORE_INCLUDE_DIR})
  target_link_libraries(fontbin_opencv_core INTERFACE ${OPENCV_CORE_LIBRARY})
endif()
add_library(fontbin::opencv_core ALIAS fontbin_opencv_core)

if(UNIX AND NOT APPLE)
  pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
endif()
