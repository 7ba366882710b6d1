# Installation: the tool lives in <prefix>/lib/fontbin/ with its CodePage/ and font/ folders and
# is reached through the link <prefix>/bin/fontbin (it finds its folders through its real path).
# The helper tools go straight to <prefix>/bin.
include(GNUInstallDirs)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/InstallWindows.cmake)
  return()
endif()

if(TARGET fontbin)
  install(TARGETS fontbin RUNTIME DESTINATION lib/fontbin)
  install(DIRECTORY ${FONTBIN_BIN_DIR}/CodePage ${FONTBIN_BIN_DIR}/font DESTINATION lib/fontbin)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-link)
  file(CREATE_LINK ../lib/fontbin/fontbin ${CMAKE_BINARY_DIR}/install-link/fontbin SYMBOLIC)
  install(FILES ${CMAKE_BINARY_DIR}/install-link/fontbin DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
foreach(tool fontbin-inspect fontbin-codepage fontbin-embed)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The device reader is for firmware projects to copy: its files (the reader and its text API),
# and the format it reads.
install(FILES ${FONTBIN_READER_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/fontbin/reader)
# Beside README as docs/, so its links and pictures work in the installed copy too.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
        FILES_MATCHING PATTERN "*.md" PATTERN "*.png")
# The examples that README and the cookbook link to, without the outputs of earlier runs.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        PATTERN "*_font.bin" EXCLUDE PATTERN "*_compact.bin" EXCLUDE PATTERN "*_out.cst" EXCLUDE
        PATTERN "*_adv.bin" EXCLUDE PATTERN "*_strings.bin" EXCLUDE PATTERN "*_sheet.png" EXCLUDE
        PATTERN "*.tmp*" EXCLUDE PATTERN ".gitignore" EXCLUDE)
# Debian's copyright file, in its machine-readable format: fontbin's licence, the fallback
# font's, and the C++ runtime's when fontbin links it in (cmake/Notices.cmake).
set(FONTBIN_STATIC_RUNTIME "")
if(TARGET fontbin)
  get_target_property(options fontbin LINK_OPTIONS)
  if("-static-libstdc++" IN_LIST options)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++.a
                    OUTPUT_VARIABLE FONTBIN_STATIC_RUNTIME OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
endif()
install(CODE "execute_process(COMMAND \"${CMAKE_COMMAND}\" -DFORMAT=debian
    \"-DSOURCE_DIR=${PROJECT_SOURCE_DIR}\" \"-DFONT_DIR=${FONTBIN_BIN_DIR}/font\"
    \"-DSTATIC_RUNTIME=${FONTBIN_STATIC_RUNTIME}\"
    \"-DOUTPUT=\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DOCDIR}/copyright\"
    -P \"${CMAKE_CURRENT_LIST_DIR}/Notices.cmake\" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR \"the copyright file could not be made\")
  endif()")

# The CMake package for firmware projects: fontbin::reader and fontbin_add_font.
include(${CMAKE_CURRENT_LIST_DIR}/InstallPackage.cmake)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fontbin)
set(CPACK_PACKAGE_VENDOR "fontbin developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Scalable fonts to bitmap font data for embedded displays")
set(CPACK_PACKAGE_INSTALL_DIRECTORY fontbin)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "fontbin developers <fontbin@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Library dependencies are computed from the binaries by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Thai line breaks of UI strings come from libthai's dictionary of words: named here, not only
# through libthai0's own dependency, since without it fontbin would write other breaks.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libthai-data)
include(CPack)
