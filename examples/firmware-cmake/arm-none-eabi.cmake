# A toolchain file for Debian's gcc-arm-none-eabi (with libnewlib-arm-none-eabi):
#
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=arm-none-eabi.cmake \
#         -DCMAKE_PREFIX_PATH=/where/fontbin/is/installed [-DFIRMWARE_CPU=cortex-m0plus]
#
# It roots every search in the target's sysroot, as cross toolchain files do; the example's
# find_package(fontbin REQUIRED CMAKE_FIND_ROOT_PATH_BOTH) still finds the tool of the build machine.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-none-eabi-gcc)
# No board to run a test program on while configuring.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
if(NOT FIRMWARE_CPU)
  set(FIRMWARE_CPU cortex-m4)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES FIRMWARE_CPU)
set(CMAKE_C_FLAGS_INIT "-mcpu=${FIRMWARE_CPU} -mthumb -ffunction-sections -fdata-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--gc-sections")
set(CMAKE_FIND_ROOT_PATH /usr/lib/arm-none-eabi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
