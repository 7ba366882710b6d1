# The build step of fontbin_add_font, run with cmake -P in the configuration's folder:
#   -DFONTBIN=<fontbin> -DEMBED=<fontbin-embed> -DCONFIG=<FontConfig.json> -DOUT_DIR=<folder>
#   -DSYMBOL=<name>
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
     "${OUT_DIR}/*_out.cst")
if(old)
  file(REMOVE ${old})
endif()
get_filename_component(name "${CONFIG}" NAME)
configure_file("${CONFIG}" "${OUT_DIR}/${name}" COPYONLY)

execute_process(COMMAND "${FONTBIN}" "${OUT_DIR}/${name}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "fontbin failed on ${CONFIG} (exit status ${status}):\n${out}${err}")
endif()
if(err)
  message(WARNING "fontbin on ${CONFIG}:\n${err}")
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
