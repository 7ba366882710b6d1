# The CMake package for firmware projects: fontbin::reader (the device reader, compiled by the
# firmware's own compiler from the installed source) and fontbin_add_font. Its files find
# everything relative to their own folder, so the tree stays usable wherever it is unpacked.
include(CMakePackageConfigHelpers)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/fontbinConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion
                                 ARCH_INDEPENDENT)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/package/fontbinConfig.cmake
              ${PROJECT_SOURCE_DIR}/cmake/package/FontbinGenerate.cmake
              ${CMAKE_BINARY_DIR}/fontbinConfigVersion.cmake
        DESTINATION lib/cmake/fontbin)
