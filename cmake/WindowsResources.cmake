# Each Windows program gets version information (product, version, description, shown by
# Explorer's Properties) and a manifest, compiled by windres into the executable.
enable_language(RC)
set(FONTBIN_PROGRAM_DESCRIPTIONS
    "fontbin=Turns a scalable font into bitmap font data for embedded displays"
    "fontbin-inspect=Checks and shows fontbin font files"
    "fontbin-embed=Turns a fontbin font file into C source"
    "fontbin-codepage=Makes the code-page tables fontbin reads"
    "fontbin-cellview=Shows one character as fontbin draws it"
    "fontbin-studio=Chooses a font with a live preview in the browser")
foreach(entry ${FONTBIN_PROGRAM_DESCRIPTIONS})
  string(REGEX REPLACE "=.*" "" FONTBIN_RC_NAME "${entry}")
  string(REGEX REPLACE "^[^=]*=" "" FONTBIN_RC_DESCRIPTION "${entry}")
  if(NOT TARGET ${FONTBIN_RC_NAME})
    continue()
  endif()
  set(dir ${CMAKE_BINARY_DIR}/resources/${FONTBIN_RC_NAME})
  set(FONTBIN_RC_MANIFEST ${dir}/program.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/platform/windows/program.manifest.in ${FONTBIN_RC_MANIFEST} @ONLY)
  # The build does not know that the resource file reads the manifest: the manifest's hash in
  # the resource file changes it, and so compiles it again, whenever the manifest changes.
  file(MD5 ${FONTBIN_RC_MANIFEST} FONTBIN_RC_MANIFEST_HASH)
  configure_file(${PROJECT_SOURCE_DIR}/platform/windows/program.rc.in ${dir}/program.rc @ONLY)
  target_sources(${FONTBIN_RC_NAME} PRIVATE ${dir}/program.rc)
endforeach()
