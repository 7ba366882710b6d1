include(${CMAKE_CURRENT_LIST_DIR}/WindowsResources.cmake)

# The Windows package: one folder to unpack anywhere, the tool beside its CodePage\ and font\
# folders (it finds them through its own path), with a configuration that runs as it is.
# The linker records what each program links in a map beside the program's build files (where
# it runs, so that the map's relative paths are relative to the map's folder); link-maps.txt
# lists the maps. The third-party notices are made from that record, so that a library linked
# in later cannot ship without its notice.
set(FONTBIN_LINK_MAPS "")
foreach(tool fontbin fontbin-inspect fontbin-embed fontbin-studio)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION .)
    get_target_property(dir ${tool} BINARY_DIR)
    target_link_options(${tool} PRIVATE -Wl,-Map=${dir}/${tool}.map)
    string(APPEND FONTBIN_LINK_MAPS "${dir}/${tool}.map\n")
  endif()
endforeach()
file(WRITE ${CMAKE_BINARY_DIR}/link-maps.txt "${FONTBIN_LINK_MAPS}")
install(DIRECTORY ${FONTBIN_BIN_DIR}/CodePage ${FONTBIN_BIN_DIR}/font DESTINATION .)
install(FILES ${FONTBIN_BIN_DIR}/thbrk.tri DESTINATION .)
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
        PATTERN "*_compact.bin" EXCLUDE PATTERN "*_strings.bin" EXCLUDE
        PATTERN "*_sheet.png" EXCLUDE PATTERN "*.tmp*" EXCLUDE PATTERN "sample" EXCLUDE
        PATTERN ".gitignore" EXCLUDE)
install(FILES ${FONTBIN_READER_FILES} DESTINATION reader)

include(${CMAKE_CURRENT_LIST_DIR}/InstallPackage.cmake)

# fontbin's licence, and the licences of the libraries linked into the programs and of the fonts
# in font\ (cmake/Notices.cmake). The libraries' texts come from the sources
# scripts/build-windows.sh built them from, beside the prefix.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
get_filename_component(FONTBIN_DEPS_SOURCES "${FONTBIN_WINDOWS_DEPS}/../src" ABSOLUTE)
install(CODE "execute_process(COMMAND \"${CMAKE_COMMAND}\" -DFORMAT=text
    \"-DMAP_LIST=${CMAKE_BINARY_DIR}/link-maps.txt\" \"-DBUILD_DIR=${CMAKE_BINARY_DIR}\"
    \"-DDEPS_PREFIX=${FONTBIN_WINDOWS_DEPS}\" \"-DDEPS_SRC=${FONTBIN_DEPS_SOURCES}\" \"-DFONT_DIR=${FONTBIN_BIN_DIR}/font\"
    -DSHIPPED=thbrk.tri \"-DOUTPUT=\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/THIRD-PARTY-NOTICES.txt\"
    -P \"${CMAKE_CURRENT_LIST_DIR}/Notices.cmake\" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR \"THIRD-PARTY-NOTICES.txt could not be made\")
  endif()")
# Last, when every text file is in place: CR LF line ends.
install(CODE "set(ROOT \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  include(\"${CMAKE_CURRENT_LIST_DIR}/WindowsLineEnds.cmake\")")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME fontbin)
set(CPACK_PACKAGE_VENDOR "fontbin developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Scalable fonts to bitmap font data for embedded displays")
set(CPACK_PACKAGE_FILE_NAME fontbin-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
