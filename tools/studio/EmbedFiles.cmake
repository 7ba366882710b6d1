# Turns the page's files into a C++ source at build time, so that fontbin-studio carries its page
# and needs nothing beside it: no bundler, nothing fetched, works offline.
#   cmake -DOUTPUT=web_files.cpp -DFILES="a.html;b.js" -P EmbedFiles.cmake
# Each file becomes an array of its bytes and one entry of studio::webFiles(), by its file name.
set(body "")
set(entries "")
set(index 0)
foreach(file IN LISTS FILES)
  get_filename_component(name ${file} NAME)
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
  string(APPEND body "const unsigned char file${index}[] = {\n${bytes}0};\n")
  string(APPEND entries "        {\"${name}\", file${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.new "// Made by tools/studio/EmbedFiles.cmake from tools/studio/web/; do not edit.
#include \"tools/studio/WebFiles.h\"

namespace studio {
namespace {
${body}}  // namespace

const std::vector<WebFile>& webFiles() {
    static const std::vector<WebFile> files{
${entries}    };
    return files;
}

}  // namespace studio
")
# Only a changed source is written again, so that an unchanged page does not relink.
configure_file(${OUTPUT}.new ${OUTPUT} COPYONLY)
file(REMOVE ${OUTPUT}.new)
