# The build step of fontbin_add_font, run with cmake -P in the configuration's folder:
#   -DFONTBIN=<fontbin> -DEMBED=<fontbin-embed> -DCONFIG=<FontConfig.json> -DOUT_DIR=<folder>
#   -DSYMBOL=<name> [-DDEPEND_STATE=<the target's compiler_depend.internal>]
# fontbin writes its outputs beside the configuration it is given, so it gets a copy in OUT_DIR.
# Then fontbin-embed writes <SYMBOL>.c/.h and the dependency file <SYMBOL>.d.
foreach(var FONTBIN EMBED CONFIG OUT_DIR SYMBOL)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "FontbinGenerate.cmake: -D${var}= is missing")
  endif()
endforeach()

file(MAKE_DIRECTORY "${OUT_DIR}")
# Outputs of an earlier run may carry other names (another font or size): only this run's count.
file(GLOB old "${OUT_DIR}/*_font.bin" "${OUT_DIR}/*_compact.bin" "${OUT_DIR}/*_adv.bin"
     "${OUT_DIR}/*_strings.bin" "${OUT_DIR}/*_out.cst")
if(old)
  file(REMOVE ${old})
endif()
get_filename_component(name "${CONFIG}" NAME)
configure_file("${CONFIG}" "${OUT_DIR}/${name}" COPYONLY)

# A font named as a path relative to the configuration ("font": "Brand.ttf" beside it) is looked
# up relative to the copy: it gets a link (or a copy, where links cannot be made) at the same
# place beside the copy. fontbin still asks the system's and its own font folders first.
get_filename_component(config_dir "${CONFIG}" DIRECTORY)
file(READ "${CONFIG}" json)
set(named "")
string(JSON font ERROR_VARIABLE json_error GET "${json}" fontSet font)
if(NOT json_error)
  list(APPEND named "${font}")
endif()
string(JSON count ERROR_VARIABLE json_error LENGTH "${json}" fontSet fallbackFonts)
if(NOT json_error AND count GREATER 0)
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    string(JSON font ERROR_VARIABLE json_error GET "${json}" fontSet fallbackFonts ${i} font)
    if(json_error)
      string(JSON font ERROR_VARIABLE json_error GET "${json}" fontSet fallbackFonts ${i})
    endif()
    if(NOT json_error)
      list(APPEND named "${font}")
    endif()
  endforeach()
endif()
foreach(font IN LISTS named)
  if(font AND NOT IS_ABSOLUTE "${font}" AND NOT font MATCHES "(^|[/\\])\\.\\.([/\\]|$)"
     AND EXISTS "${config_dir}/${font}" AND NOT IS_DIRECTORY "${config_dir}/${font}")
    get_filename_component(link_dir "${OUT_DIR}/${font}" DIRECTORY)
    file(MAKE_DIRECTORY "${link_dir}")
    file(REMOVE "${OUT_DIR}/${font}")
    file(CREATE_LINK "${config_dir}/${font}" "${OUT_DIR}/${font}" COPY_ON_ERROR SYMBOLIC)
  endif()
endforeach()

execute_process(COMMAND "${FONTBIN}" "${OUT_DIR}/${name}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "fontbin failed on ${CONFIG} (exit status ${status}):\n${out}${err}")
endif()
# Only fontbin's warnings (a "warning:" line and the "note:" lines after it) are CMake
# warnings; its information lines ("characters drawn: ...") are status messages.
if(err)
  string(REPLACE ";" "<fontbin-semicolon>" err "${err}")
  string(REGEX REPLACE "\n$" "" err "${err}")
  string(REPLACE "\n" ";" lines "${err}")
  set(warnings "")
  set(in_warning FALSE)
  foreach(line IN LISTS lines)
    string(REPLACE "<fontbin-semicolon>" ";" line "${line}")
    if(line MATCHES "^warning:")
      set(in_warning TRUE)
    elseif(NOT line MATCHES "^note:")
      set(in_warning FALSE)
    endif()
    if(in_warning)
      string(APPEND warnings "${line}\n")
    elseif(NOT line STREQUAL "")
      message(STATUS "fontbin: ${line}")
    endif()
  endforeach()
  if(warnings)
    message(WARNING "fontbin on ${CONFIG}:\n${warnings}")
  endif()
endif()

# "compact": true in the configuration writes <base>_compact.bin instead of <base>_font.bin.
file(GLOB fonts "${OUT_DIR}/*_font.bin" "${OUT_DIR}/*_compact.bin")
list(LENGTH fonts count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "fontbin wrote no font file for ${CONFIG}:\n${out}")
endif()
execute_process(COMMAND "${EMBED}" "${fonts}" "${OUT_DIR}/${SYMBOL}" --symbol "${SYMBOL}"
                RESULT_VARIABLE status ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${err}")
endif()

# The tool finds CodePage/ and font/ beside its real path.
get_filename_component(tool "${FONTBIN}" REALPATH)
get_filename_component(tool_dir "${tool}" DIRECTORY)
execute_process(COMMAND "${EMBED}" --inputs "${CONFIG}" --tool-dir "${tool_dir}"
                        --depfile "${OUT_DIR}/${SYMBOL}.d" --target "${OUT_DIR}/${SYMBOL}.c"
                RESULT_VARIABLE status ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${err}")
endif()
# Makefile generators: the dependencies are read anew from the files just written, without the
# inputs of earlier runs that no longer exist.
if(DEPEND_STATE)
  file(REMOVE "${DEPEND_STATE}")
endif()
