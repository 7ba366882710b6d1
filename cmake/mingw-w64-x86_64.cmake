# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix).
# FONTBIN_WINDOWS_DEPS names the prefix holding FreeType, libpng, HarfBuzz, the string libraries,
# cJSON and GoogleTest built for Windows (scripts/build-windows.sh makes it); zlib comes with the
# toolchain's own root.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FONTBIN_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix flavour: its C++ runtime has std::thread and std::mutex, which GoogleTest uses.
set(CMAKE_C_COMPILER ${FONTBIN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FONTBIN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${FONTBIN_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FONTBIN_MINGW_TRIPLE} ${FONTBIN_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static libraries only: the executables must run on a bare Windows with nothing beside them.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
# libz-mingw-w64-dev also has the import library libz.dll.a, which ends in ".a" too.
set(ZLIB_LIBRARY /usr/${FONTBIN_MINGW_TRIPLE}/lib/libz.a CACHE FILEPATH "zlib, static")
set(ZLIB_INCLUDE_DIR /usr/${FONTBIN_MINGW_TRIPLE}/include CACHE PATH "zlib headers")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test executables and test discovery run under Wine, through a wrapper that keeps Wine's
# state inside the build folder (see scripts/build-windows.sh).
if(FONTBIN_WINE_WRAPPER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${FONTBIN_WINE_WRAPPER})
endif()
