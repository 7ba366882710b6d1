# The fontbin package for firmware projects:
#
#   find_package(fontbin REQUIRED CMAKE_FIND_ROOT_PATH_BOTH)   # BOTH: also under a cross toolchain
#   fontbin_add_font(my_firmware CONFIG fonts/FontConfig.json SYMBOL ui_font_16)
#   target_link_libraries(my_firmware PRIVATE fontbin::reader)
#
# fontbin::reader   the device reader (fontbin_reader.h) and its text API (fontbin_text.h),
#                   compiled into the target that links it by the firmware's own compiler, for
#                   the firmware's processor
# fontbin_add_font  runs fontbin on a configuration at build time and compiles the font in
#
# Every path is found from this file's own folder, <prefix>/lib/cmake/fontbin, so the installed
# tree can be moved (or unpacked from an archive) anywhere.
if(CMAKE_VERSION VERSION_LESS 3.20)
  set(fontbin_FOUND FALSE)
  set(fontbin_NOT_FOUND_MESSAGE "fontbin_add_font needs CMake 3.20 or later (dependency files)")
  return()
endif()

get_filename_component(_fontbin_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)

# The reader ships as source: a firmware build cross-compiles for its own processor, which no
# library built with the tool could match. Linking fontbin::reader adds the reader's source files
# (fb_*.c, fontbin_text*.c and fontbin_strings.c) to the target; the linker keeps what the firmware calls.
# (share/fontbin/reader in a Linux install, reader/ in the Windows zip.)
find_path(FONTBIN_READER_DIR fb_open.c
          HINTS "${_fontbin_prefix}/share/fontbin/reader" "${_fontbin_prefix}/reader"
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH DOC "The folder of the reader's sources")
if(NOT FONTBIN_READER_DIR)
  set(fontbin_FOUND FALSE)
  set(fontbin_NOT_FOUND_MESSAGE "the reader's sources (fb_open.c) are missing below ${_fontbin_prefix}")
  return()
endif()
if(NOT TARGET fontbin::reader)
  file(GLOB _fontbin_reader_sources "${FONTBIN_READER_DIR}/*.c")
  add_library(fontbin::reader INTERFACE IMPORTED)
  set_target_properties(fontbin::reader PROPERTIES
    INTERFACE_SOURCES "${_fontbin_reader_sources}"
    INTERFACE_INCLUDE_DIRECTORIES "${FONTBIN_READER_DIR}")
endif()
# find_program adds the platform's suffix (fontbin.exe on Windows). The tool itself may live in
# bin/ or, with its CodePage/ and font/ folders, in lib/fontbin/.
find_program(FONTBIN_EXECUTABLE NAMES fontbin
             HINTS "${_fontbin_prefix}/bin" "${_fontbin_prefix}/lib/fontbin" "${_fontbin_prefix}"
             NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
             DOC "The fontbin tool that fontbin_add_font runs")
find_program(FONTBIN_EMBED_EXECUTABLE NAMES fontbin-embed
             HINTS "${_fontbin_prefix}/bin" "${_fontbin_prefix}" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
             DOC "The fontbin-embed tool that fontbin_add_font runs")
unset(_fontbin_prefix)
unset(_fontbin_reader_sources)
if(NOT FONTBIN_EXECUTABLE OR NOT FONTBIN_EMBED_EXECUTABLE)
  set(fontbin_FOUND FALSE)
  set(fontbin_NOT_FOUND_MESSAGE "fontbin or fontbin-embed is missing beside ${CMAKE_CURRENT_LIST_FILE}")
  return()
endif()

# Dependency files name absolute paths; let CMake place them for the Ninja generators too.
if(POLICY CMP0116)
  cmake_policy(SET CMP0116 NEW)
endif()

# fontbin_add_font(<target> CONFIG <FontConfig.json> SYMBOL <name>)
#
# At build time: runs fontbin on the configuration (in the configuration's folder, which is where
# its mapping and cst files and setting.ini are looked up), turns the font file (<base>_font.bin,
# or <base>_compact.bin when the configuration has "compact": true) into <name>.c and
# <name>.h with fontbin-embed (with the string table and its FB_STR_ enum when the configuration
# has "stringPaths"), and compiles them into <target>; <name>.h is on its include path.
# Everything is written below the build tree. The step runs again when the configuration,
# setting.ini, a code-page, mapping, cst, text or strings file the configuration names, or the font file
# changes: after each run fontbin-embed writes a dependency file naming them.
function(fontbin_add_font target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "CONFIG;SYMBOL" "")
  if(NOT TARGET "${target}")
    message(FATAL_ERROR "fontbin_add_font: ${target} is not a target")
  endif()
  if(NOT ARG_CONFIG OR NOT ARG_SYMBOL OR ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "fontbin_add_font: use fontbin_add_font(<target> CONFIG <file> SYMBOL <name>)")
  endif()
  if(NOT ARG_SYMBOL MATCHES "^[A-Za-z][A-Za-z0-9_]*$")
    message(FATAL_ERROR "fontbin_add_font: SYMBOL ${ARG_SYMBOL} is not a C identifier")
  endif()
  get_filename_component(config "${ARG_CONFIG}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  if(NOT EXISTS "${config}")
    message(FATAL_ERROR "fontbin_add_font: ${config} does not exist")
  endif()
  get_filename_component(config_dir "${config}" DIRECTORY)
  set(out_dir "${CMAKE_CURRENT_BINARY_DIR}/fontbin/${ARG_SYMBOL}")
  set(out "${out_dir}/${ARG_SYMBOL}")
  set(script "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/FontbinGenerate.cmake")
  # The Makefile generators keep every dependency a dependency file ever named in the target's
  # compiler_depend.internal, also one that was deleted since, which then counts as changed on
  # every build. The build step drops that record after each run, so it is read anew.
  set(depend_state "")
  if(CMAKE_GENERATOR MATCHES "Makefiles")
    get_target_property(target_dir "${target}" BINARY_DIR)
    set(depend_state "${target_dir}/CMakeFiles/${target}.dir/compiler_depend.internal")
  endif()
  add_custom_command(
    OUTPUT "${out}.c" "${out}.h"
    COMMAND "${CMAKE_COMMAND}" "-DFONTBIN=${FONTBIN_EXECUTABLE}"
            "-DEMBED=${FONTBIN_EMBED_EXECUTABLE}" "-DCONFIG=${config}" "-DOUT_DIR=${out_dir}"
            "-DSYMBOL=${ARG_SYMBOL}" "-DDEPEND_STATE=${depend_state}" -P "${script}"
    WORKING_DIRECTORY "${config_dir}"
    DEPENDS "${config}" "${script}" "${FONTBIN_EXECUTABLE}" "${FONTBIN_EMBED_EXECUTABLE}"
    DEPFILE "${out}.d"
    COMMENT "fontbin: ${ARG_SYMBOL} from ${ARG_CONFIG}"
    VERBATIM)
  target_sources("${target}" PRIVATE "${out}.c" "${out}.h")
  target_include_directories("${target}" PRIVATE "${out_dir}")
endfunction()
