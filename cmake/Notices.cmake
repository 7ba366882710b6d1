# Writes the licence notices of what a package ships besides fontbin's own code: every library
# linked into its programs and every font beside them. Run at install time (cmake -P):
#
#   -DFORMAT=text    THIRD-PARTY-NOTICES.txt of the Windows zip. MAP_LIST lists the linker's
#                    maps of the programs (<program>.map, each in the folder the linker ran in);
#                    every archive and start-up object they record that is not fontbin's own
#                    (in BUILD_DIR, outside DEPS_PREFIX) comes from a library below, and one
#                    that none of the rules knows stops the packaging. DEPS_SRC is where
#                    scripts/build-windows.sh unpacked the upstream sources of DEPS_PREFIX.
#   -DFORMAT=debian  The .deb's copyright file, in Debian's machine-readable format: fontbin,
#                    the fonts and, when STATIC_RUNTIME names the libstdc++.a linked into
#                    fontbin, the C++ runtime.
#
# FONT_DIR is the folder of the fonts shipped, SHIPPED the other data files beside the programs
# (libthai's dictionary), OUTPUT the file to write, SOURCE_DIR the source
# tree (for LICENSE). Texts are taken as they are from the libraries' own sources or from
# the copyright files of the Debian packages installed on the build machine.

cmake_policy(VERSION 3.16)

if(FONT_DIR)
  file(GLOB FONTS RELATIVE "${FONT_DIR}" "${FONT_DIR}/*")
endif()
set(MAPS "")
if(MAP_LIST)
  file(STRINGS "${MAP_LIST}" MAPS)
endif()
# FreeType's licence asks for a credit line with the year of the release used.
set(FREETYPE_YEAR "")
if(EXISTS "${DEPS_SRC}/freetype/include/freetype/freetype.h")
  file(STRINGS "${DEPS_SRC}/freetype/include/freetype/freetype.h" line
       REGEX "Copyright \\(C\\) [0-9]+-[0-9]+" LIMIT_COUNT 1)
  string(REGEX REPLACE ".*-([0-9]+).*" "\\1" FREETYPE_YEAR "${line}")
endif()

# ---- What each library and font is, and where its licence text comes from ------------------
# notice(NAME MATCH <regex on the path of a linked file, or on a font's or data file's name>
#        TEXT <files>... [VERSION <version>] [FROM <text> TO <text>] [LGPL <source package>]
#        [NOTE <text>])
# notice(NAME PACKAGE <regex on a Debian package's name> [FROM <text> TO <text>]): files the
#        linker took from that installed package; its text is the package's copyright file.
# notice(NAME PROGRAM <regex on a program's name> TEXT <files>... [VERSION <version>]): a library
#        compiled from its source into that program's own objects, which no link map names.
# FROM .. TO cut a text to the part from FROM up to TO. LGPL names the Debian source package of
# a library under the LGPL 2.1 linked statically: its notice says how to relink with another
# version of it. NOTE is a line said under the headings.
set(notices "")
function(notice name)
  cmake_parse_arguments(N "" "MATCH;PACKAGE;PROGRAM;VERSION;FROM;TO;LGPL;NOTE" "TEXT" ${ARGN})
  string(MAKE_C_IDENTIFIER "n${name}" id)
  foreach(field MATCH PACKAGE PROGRAM TEXT VERSION FROM TO LGPL NOTE)
    set(${id}_${field} "${N_${field}}" PARENT_SCOPE)
  endforeach()
  set(${id}_NAME "${name}" PARENT_SCOPE)
  set(notices ${notices} ${id} PARENT_SCOPE)
endfunction()

# The upstream version of a library scripts/build-windows.sh built (it stamps the source folder).
function(source_version dir out)
  file(GLOB stamp LIST_DIRECTORIES false "${dir}/.fontbin-*")
  string(REGEX REPLACE ".*/\\.fontbin-" "" version "${stamp}")
  set(${out} "${version}" PARENT_SCOPE)
endfunction()

function(package_version package out)
  execute_process(COMMAND dpkg-query -W -f=\${Version} ${package} OUTPUT_VARIABLE version
                  ERROR_QUIET)
  set(${out} "${version}" PARENT_SCOPE)
endfunction()

# The Debian package each of `paths` comes from, as <id>_package of the path's identifier.
function(find_packages)
  set(real "")
  foreach(path ${ARGN})
    get_filename_component(path "${path}" REALPATH)
    list(APPEND real "${path}")
  endforeach()
  if(NOT real)
    return()
  endif()
  execute_process(COMMAND dpkg-query -S ${real} OUTPUT_VARIABLE owners ERROR_QUIET)
  string(REPLACE "\n" ";" owners "${owners}")
  foreach(path ${ARGN})
    get_filename_component(resolved "${path}" REALPATH)
    foreach(owner ${owners})
      # "package[:arch]: /path"
      if(owner MATCHES "^([^:]+)(:[^:]+)?: (.+)$" AND CMAKE_MATCH_3 STREQUAL resolved)
        string(MAKE_C_IDENTIFIER "${path}" key)
        set(${key}_package "${CMAKE_MATCH_1}" PARENT_SCOPE)
      endif()
    endforeach()
  endforeach()
endfunction()

foreach(lib freetype harfbuzz cjson libpng1.6 cpp-httplib fribidi libunibreak libthai libdatrie)
  source_version("${DEPS_SRC}/${lib}" ${lib}_version)
endforeach()
package_version(fonts-unifont unifont_version)
# FreeType is under the FreeType License (docs/FTL.TXT) or the GPL; fontbin takes the FTL.
notice(FreeType MATCH "/libfreetype\\.a$" VERSION "${freetype_version}"
       TEXT "${DEPS_SRC}/freetype/LICENSE.TXT" "${DEPS_SRC}/freetype/docs/FTL.TXT")
notice(HarfBuzz MATCH "/libharfbuzz\\.a$" VERSION "${harfbuzz_version}"
       TEXT "${DEPS_SRC}/harfbuzz/COPYING")
notice(cJSON MATCH "/libcjson\\.a$" VERSION "${cjson_version}" TEXT "${DEPS_SRC}/cjson/LICENSE")
notice(libpng MATCH "/libpng[0-9]*\\.a$" VERSION "${libpng1.6_version}"
       TEXT "${DEPS_SRC}/libpng1.6/LICENSE")
notice(zlib PACKAGE "^libz-mingw-w64")
# The libraries that shape UI strings and find their line breaks. libthai's rule also covers
# its dictionary, Debian's libthai-data build of the word lists of the same libthai release.
notice(FriBidi MATCH "/libfribidi\\.a$" VERSION "${fribidi_version}" LGPL fribidi
       TEXT "${DEPS_SRC}/fribidi/COPYING")
notice(libunibreak MATCH "/libunibreak\\.a$" VERSION "${libunibreak_version}"
       TEXT "${DEPS_SRC}/libunibreak/LICENCE")
string(CONCAT libthai_note "thbrk.tri is libthai's dictionary of Thai words, as Debian's package "
       "libthai-data builds it from the word lists of libthai's source.")
notice(libthai MATCH "/libthai\\.a$|^thbrk\\.tri$" VERSION "${libthai_version}" LGPL libthai
       NOTE "${libthai_note}"
       TEXT "${DEPS_SRC}/libthai/COPYING")
notice(libdatrie MATCH "/libdatrie\\.a$" VERSION "${libdatrie_version}" LGPL libdatrie
       TEXT "${DEPS_SRC}/libdatrie/COPYING")
# fontbin-studio compiles upstream's single header (scripts/build-windows.sh) into its own objects.
notice(cpp-httplib PROGRAM "^fontbin-studio$" VERSION "${cpp-httplib_version}"
       TEXT "${DEPS_SRC}/cpp-httplib/LICENSE")
# The C runtime's start-up code and functions, winpthreads, and the import libraries of the
# DLLs of Windows itself.
notice("MinGW-w64 runtime" PACKAGE "^mingw-w64-")
# libstdc++, libgcc and GCC's start-up objects: GPL 3 with the GCC Runtime Library Exception,
# which is all of GCC's copyright file that applies to them.
notice("GCC runtime libraries" PACKAGE "^(g\\+\\+|gcc)-mingw-w64-|^libstdc\\+\\+-[0-9]+-dev$|^libgcc-[0-9]+-dev$"
       FROM "GCC RUNTIME LIBRARY EXCEPTION" TO "libquadmath/")
notice("GNU Unifont" MATCH "^unifont\\.ttf$" VERSION "${unifont_version} (Debian)"
       TEXT /usr/share/doc/fonts-unifont/copyright /usr/share/common-licenses/GPL-2)

# The notice that `file` (a path from a link map, or a font's name) falls under; for a PACKAGE
# rule its text and version become those of the package's copyright file. A file that no rule
# knows stops the packaging: `what` says how it is shipped.
function(notice_of file what out)
  foreach(id ${notices})
    if(NOT "${${id}_MATCH}" STREQUAL "" AND file MATCHES "${${id}_MATCH}")
      set(${out} ${id} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  string(MAKE_C_IDENTIFIER "${file}" key)
  foreach(id ${notices})
    if(NOT "${${id}_PACKAGE}" STREQUAL "" AND "${${key}_package}" MATCHES "${${id}_PACKAGE}")
      set(${out} ${id} PARENT_SCOPE)
      set(${id}_TEXT "/usr/share/doc/${${key}_package}/copyright" PARENT_SCOPE)
      package_version(${${key}_package} version)
      set(${id}_VERSION "${version} (Debian)" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "${what} ${file}, whose licence notice is not known: add it to "
                      "cmake/Notices.cmake")
endfunction()

# The text of notice `id`: its files, each cut to the lines FROM .. TO when given.
function(notice_text id out)
  set(text "")
  foreach(file ${${id}_TEXT})
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "The licence text of ${${id}_NAME}, ${file}, is missing")
    endif()
    file(READ "${file}" part)
    if(${id}_FROM)
      string(FIND "${part}" "${${id}_FROM}" from)
      string(FIND "${part}" "${${id}_TO}" to)
      if(from LESS 0 OR to LESS from)
        message(FATAL_ERROR "${file} no longer holds \"${${id}_FROM}\" before \"${${id}_TO}\"")
      endif()
      math(EXPR length "${to} - ${from}")
      string(SUBSTRING "${part}" ${from} ${length} part)
    endif()
    string(STRIP "${part}" part)
    string(APPEND text "${part}\n\n")
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# What a library under the LGPL 2.1, linked statically, owes its users (section 6): the means to
# relink the programs with a changed version of it.
function(lgpl_offer id out)
  set(source ${${id}_LGPL})
  file(GLOB tarball "${DEPS_SRC}/../downloads/${source}_${${id}_VERSION}.orig.tar.*")
  if(NOT tarball)
    message(FATAL_ERROR "The source tarball of ${${id}_NAME} is missing from ${DEPS_SRC}/../downloads")
  endif()
  file(SHA256 "${tarball}" hash)
  get_filename_component(tarball "${tarball}" NAME)
  string(CONCAT text
    "${${id}_NAME} is under the GNU Lesser General Public License 2.1 (below) and is linked "
    "statically, unmodified, into the programs named above. Its source is the upstream tarball "
    "of Debian's source package \"${source}\", ${tarball} (SHA-256 ${hash}), in Debian's "
    "archive. You may change it and link the programs with your version: fontbin's complete "
    "source (MIT licence) builds this package with scripts/build-windows.sh, which compiles "
    "each library from its source folder under build-windows/deps/src; put your version of "
    "${${id}_NAME} in build-windows/deps/src/${source}, delete build-windows/deps/stamps/"
    "${source}-* and run the script again. Whoever gives you this package must also "
    "give you, or offer you, fontbin's source and this library's source, as section 6 of the "
    "licence asks.\n")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

if(FORMAT STREQUAL "text")
  # What each program links: the archives that gave it members, and the objects loaded from
  # outside the build.
  set(used "")
  foreach(map ${MAPS})
    get_filename_component(program "${map}" NAME_WE)
    get_filename_component(linked_in "${map}" DIRECTORY)
    file(STRINGS "${map}" lines REGEX "^(LOAD )?[^ ]+\\.(a\\(|o$)")
    set(files "")
    foreach(line ${lines})
      string(REGEX REPLACE "^LOAD |\\(.*$" "" file "${line}")
      get_filename_component(file "${file}" ABSOLUTE BASE_DIR "${linked_in}")
      string(FIND "${file}" "${BUILD_DIR}/" ours)
      string(FIND "${file}" "${DEPS_PREFIX}/" deps)
      if(NOT ours EQUAL 0 OR deps EQUAL 0)  # fontbin's own libraries are built in BUILD_DIR
        list(APPEND files "${file}")
      endif()
    endforeach()
    list(REMOVE_DUPLICATES files)
    foreach(id ${notices})
      if(NOT "${${id}_PROGRAM}" STREQUAL "" AND program MATCHES "${${id}_PROGRAM}")
        list(APPEND ${id}_PROGRAMS ${program}.exe)
        list(APPEND ${id}_FILES "its source")
        list(APPEND used ${id})
      endif()
    endforeach()
    find_packages(${files})
    foreach(file ${files})
      notice_of("${file}" "${program}.exe links" id)
      get_filename_component(name "${file}" NAME)
      list(APPEND ${id}_PROGRAMS ${program}.exe)
      list(APPEND ${id}_FILES ${name})
      list(APPEND used ${id})
    endforeach()
  endforeach()
  foreach(font ${FONTS})
    notice_of("${font}" "the package ships the font" id)
    list(APPEND ${id}_SHIPPED "font\\${font}")
    list(APPEND used ${id})
  endforeach()
  foreach(data ${SHIPPED})
    notice_of("${data}" "the package ships the file" id)
    list(APPEND ${id}_SHIPPED "${data}")
    list(APPEND used ${id})
  endforeach()
  # In the order of the rules above, whatever order the linker loaded them in.
  set(ordered "")
  foreach(id ${notices})
    if(id IN_LIST used)
      list(APPEND ordered ${id})
    endif()
  endforeach()

  string(CONCAT out "Third-party notices\n\nThe programs of this package are fontbin's own work (LICENSE.txt, the MIT licence) "
          "linked with the libraries below, and the package ships the fonts below. Each is "
          "under its own licence, given here in full.\n\nPortions of this software are "
          "copyright © ${FREETYPE_YEAR} The FreeType Project (www.freetype.org). All "
          "rights reserved.\n")
  string(REPEAT "=" 78 rule)
  foreach(id ${ordered})
    set(title "${${id}_NAME}")
    if(${id}_VERSION)
      string(APPEND title " ${${id}_VERSION}")
    endif()
    string(APPEND out "\n${rule}\n${title}\n")
    if(${id}_PROGRAMS)
      list(REMOVE_DUPLICATES ${id}_PROGRAMS)
      list(REMOVE_DUPLICATES ${id}_FILES)
      list(SORT ${id}_FILES)
      list(JOIN ${id}_PROGRAMS ", " programs)
      list(JOIN ${id}_FILES ", " files)
      string(APPEND out "Linked into ${programs} from ${files}\n")
    endif()
    if(${id}_SHIPPED)
      list(JOIN ${id}_SHIPPED ", " shipped)
      string(APPEND out "Shipped as ${shipped}\n")
    endif()
    if(${id}_NOTE)
      string(APPEND out "${${id}_NOTE}\n")
    endif()
    if(${id}_LGPL)
      lgpl_offer(${id} offer)
      string(APPEND out "\n${offer}")
    endif()
    notice_text(${id} text)
    string(APPEND out "${rule}\n\n${text}")
  endforeach()
  file(WRITE "${OUTPUT}" "${out}")
  return()
endif()

# ---- Debian's copyright file ------------------------------------------------------------------
# A licence text as a field's continuation lines: each line indented, an empty one written " .".
function(indent text out)
  string(STRIP "${text}" text)
  string(REGEX REPLACE "\n[ \t]*\n" "\n.\n" text "${text}")
  string(REGEX REPLACE "\n[ \t]*\n" "\n.\n" text "${text}")
  string(REPLACE "\n" "\n " text " ${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

file(READ "${SOURCE_DIR}/LICENSE" license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" copyright "${license}")
set(copyright "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^.*(Permission is hereby granted)" "\\1" expat "${license}")
indent("${expat}" expat)
string(CONCAT out "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
       "Upstream-Name: fontbin\n\n"
       "Files: *\nCopyright: ${copyright}\nLicense: Expat\n${expat}\n")
# A font's paragraph: the copyright and licence its Debian package gives for its files, and
# the licence paragraphs that package's file holds.
set(licenses "")
foreach(font ${FONTS})
  notice_of("${font}" "the package ships the font" id)
  list(GET ${id}_TEXT 0 copyright_file)
  file(READ "${copyright_file}" debian)
  string(REGEX MATCH "\nFiles: \\*\n(Copyright:[^\n]*(\n[ \t][^\n]*)*)\n(License:[^\n]*)" files
         "\n${debian}")
  set(copyright_field "${CMAKE_MATCH_1}")
  set(license_field "${CMAKE_MATCH_3}")
  string(APPEND out "\nFiles: usr/lib/fontbin/font/${font}\n${copyright_field}\n"
                    "${license_field}\nComment: ${${id}_NAME} ${${id}_VERSION}\n")
  # The stand-alone License paragraphs the font's licence names: "License: name" at the start
  # of a paragraph, then its indented text. (Licence texts hold semicolons: no list commands.)
  set(rest "\n${debian}")
  while(rest MATCHES "\n\n(License: ([^\n]+)(\n [^\n]*)+)")
    set(paragraph "${CMAKE_MATCH_1}")
    string(FIND "${license_field}" "${CMAKE_MATCH_2}" named)
    if(named GREATER_EQUAL 0)
      string(APPEND licenses "\n${paragraph}\n")
    endif()
    string(FIND "${rest}" "${paragraph}" at)
    string(LENGTH "${paragraph}" length)
    math(EXPR at "${at} + ${length}")
    string(SUBSTRING "${rest}" ${at} -1 rest)
  endwhile()
endforeach()
if(STATIC_RUNTIME)
  find_packages(${STATIC_RUNTIME})
  notice_of("${STATIC_RUNTIME}" "fontbin links" id)
  notice_text(${id} exception)
  indent("${exception}" exception)
  string(APPEND out "\nFiles: usr/lib/fontbin/fontbin\nCopyright: Free Software Foundation, Inc.\n"
                    "License: GPL-3+ with GCC-exception-3.1\n"
                    "Comment: libstdc++ and libgcc are linked into this program.\n")
  string(APPEND licenses "\nLicense: GPL-3+ with GCC-exception-3.1\n On Debian systems, the "
                         "complete text of the GNU General Public License version 3 is in\n "
                         "/usr/share/common-licenses/GPL-3.\n .\n${exception}\n")
endif()
file(WRITE "${OUTPUT}" "${out}${licenses}")
