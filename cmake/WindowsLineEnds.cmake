# Gives the text files of the Windows package CR LF line ends, which every Windows editor shows
# as lines (older Notepad shows a file with LF alone as one line). Binary files (fonts, tables,
# cst lists, PNG pictures) are not touched. Usage, at install time: set ROOT, then include this.
file(GLOB_RECURSE texts LIST_DIRECTORIES false "${ROOT}/*.md" "${ROOT}/*.txt" "${ROOT}/*.json"
     "${ROOT}/*.ini" "${ROOT}/*.c" "${ROOT}/*.h" "${ROOT}/*.cmake" "${ROOT}/*.ld")
foreach(text ${texts})
  file(READ "${text}" content)
  string(REPLACE "\r\n" "\n" content "${content}")
  string(REPLACE "\n" "\r\n" content "${content}")
  file(WRITE "${text}" "${content}")
endforeach()
