include(${CMAKE_CURRENT_LIST_DIR}/WindowsResources.cmake)

# The Windows package: one folder to unpack anywhere, the tool beside its CodePage\ and font\
# folders (it finds them through its own path), with a configuration that runs as it is.
foreach(tool fontbin fontbin-inspect fontbin-embed)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION .)
  endif()
endforeach()
install(DIRECTORY ${FONTBIN_BIN_DIR}/CodePage ${FONTBIN_BIN_DIR}/font DESTINATION .)
# fontbin.exe without an argument reads FontConfig.json beside itself.
install(FILES ${PROJECT_SOURCE_DIR}/examples/windows-quickstart/FontConfig.json DESTINATION .)
# A README written for Windows at the top, and the documents beside it. The performance notes
# link to the benchmarks' sources, which the zip lacks: there those links become plain text.
install(FILES ${PROJECT_SOURCE_DIR}/docs/windows-zip/README.md DESTINATION .)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION docs FILES_MATCHING PATTERN "*.md" PATTERN "*.png"
        PATTERN windows-zip EXCLUDE PATTERN performance.md EXCLUDE)
install(CODE "set(SOURCE \"${PROJECT_SOURCE_DIR}/docs/performance.md\")
  set(DESTINATION \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/docs/performance.md\")
  include(\"${CMAKE_CURRENT_LIST_DIR}/PackageDocument.cmake\")")
# The examples the documents use, with their mapping files (gb2312.txt ...), without the outputs
# of earlier runs.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION examples
        PATTERN "*_font.bin" EXCLUDE PATTERN "*_adv.bin" EXCLUDE PATTERN "*_out.cst" EXCLUDE
        PATTERN "*_sheet.png" EXCLUDE PATTERN "*.tmp*" EXCLUDE PATTERN "sample" EXCLUDE)
install(FILES ${PROJECT_SOURCE_DIR}/reader/fontbin_reader.h ${PROJECT_SOURCE_DIR}/reader/fontbin_reader.c
              ${PROJECT_SOURCE_DIR}/reader/fontbin_text.h ${PROJECT_SOURCE_DIR}/reader/fontbin_text.c
        DESTINATION reader)
# The string table's reader (UI strings shaped at build time).
install(FILES ${PROJECT_SOURCE_DIR}/reader/fontbin_strings.h ${PROJECT_SOURCE_DIR}/reader/fontbin_strings.c
        DESTINATION reader)

include(${CMAKE_CURRENT_LIST_DIR}/InstallPackage.cmake)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME fontbin)
set(CPACK_PACKAGE_VENDOR "fontbin developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Scalable fonts to bitmap font data for embedded displays")
set(CPACK_PACKAGE_FILE_NAME fontbin-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
