#!/usr/bin/env bash
# Usage: test_firmware_cmake.sh BUILD_DIR SOURCE_DIR [PREFIX]
# Installs fontbin into a temporary prefix (or takes the installed tree PREFIX), builds
# examples/firmware-cmake against it, and compares the example's framebuffer with
# fontbin-inspect --text on the same font file. Without PREFIX it then touches each kind of input
# and checks that the font is made again exactly when one of them changed.
# With FONTBIN_COMPACT=1 in the environment the configuration asks for the compact layout
# instead, and only the build and the framebuffer are checked.
set -euo pipefail
build=$1 source=$2 prefix=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

src=$work/src
cp -r "$source/examples/firmware-cmake" "$src"
rm -rf "$src"/fonts/*_font.bin "$src"/fonts/*_compact.bin "$src"/fonts/*_out.cst
if [ "${FONTBIN_COMPACT:-0}" = 1 ]; then
  sed -i 's/"indexMethod": 1, "crop": 0/"compact": true/' "$src/fonts/FontConfig.json"
  grep -q '"compact": true' "$src/fonts/FontConfig.json" || fail "no compact key in the configuration"
  if [ -z "$prefix" ]; then
    prefix=$work/prefix
    cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
  fi
fi
if [ -z "$prefix" ]; then
  prefix=$work/prefix
  cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
  # Every kind of input: a code page, a cst file and a font found in the tool's own font/; and
  # the advance widths, which the example and the preview then both use.
  cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$prefix/lib/fontbin/font/testfont.ttc"
  printf '\x16\x4e\x4c\x75' >"$src/fonts/extra.cst"
  sed -i -e 's/"mappingPaths"/"codePages": ["c_1252.nls"], "cstPaths": ["extra.cst"], "mappingPaths"/' \
      -e 's/wqy-microhei.ttc/testfont.ttc/' -e 's/"crop": 0/"crop": 0, "advances": true/' \
      "$src/fonts/FontConfig.json"
  checks=1
fi

bld=$work/build
touch "$work/before-configure"
cmake -S "$src" -B "$bld" -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log" 2>&1 \
  || { cat "$work/configure.log"; fail "configure"; }
cmake --build "$bld" >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "build"; }
grep -q "fontbin: ui_font_16" "$work/build.log" || fail "the font was not made"
# Nothing goes into the source tree.
[ -z "$(find "$src" -newer "$work/before-configure" -type f)" ] || fail "wrote into the source tree"

# The framebuffer, pixel for pixel, against the text preview of the same file.
"$bld/firmware" >"$work/firmware.txt"
[ -z "${checks:-}" ] || grep -q UI_FONT_16_HAS_ADVANCES "$bld/fontbin/ui_font_16/ui_font_16.h" \
  || fail "no advance widths"
font=$(ls "$bld"/fontbin/ui_font_16/*_font.bin "$bld"/fontbin/ui_font_16/*_compact.bin 2>/dev/null || true)
[ "${FONTBIN_COMPACT:-0}" != 1 ] || [[ $font == *_compact.bin ]] || fail "no compact font file"
"$prefix/bin/fontbin-inspect" "$font" --text "Hello, 世界" --width 128 >"$work/preview.txt"
[ "$(wc -l <"$work/firmware.txt")" = 64 ] || fail "framebuffer is not 64 lines"
rows=$(wc -l <"$work/preview.txt")
head -n "$rows" "$work/firmware.txt" | cmp -s - "$work/preview.txt" || {
  diff "$work/preview.txt" <(head -n "$rows" "$work/firmware.txt"); fail "framebuffer differs"; }
! grep -q '#' <(tail -n +$((rows + 1)) "$work/firmware.txt") || fail "ink below the text line"
grep -q '#' "$work/preview.txt" || fail "no ink at all"
"$bld/firmware" --pbm "$work/hello.pbm"
[ "$(head -c 10 "$work/hello.pbm" | od -An -c | tr -d ' ')" = 'P4\n12864\n' ] && [ "$(stat -c %s "$work/hello.pbm")" = 1034 ] \
  || fail "PBM header or size"

[ -n "${checks:-}" ] || { echo "firmware example builds and draws as the preview"; exit 0; }

# Touching an input makes the font again; anything else does not.
rebuild() {  # rebuild WHAT EXPECTED(0|1)
  cmake --build "$bld" >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "$1: build"; }
  local made=0
  grep -q "fontbin: ui_font_16" "$work/build.log" && made=1
  [ "$made" = "$2" ] || { cat "$work/build.log"; fail "$1: font made $made, expected $2"; }
}
rebuild "nothing changed" 0
grep -qE "Building|Linking" "$work/build.log" && fail "nothing changed, yet the build did work"
for input in fonts/FontConfig.json fonts/hello.txt fonts/extra.cst \
             "$prefix/lib/fontbin/CodePage/c_1252.nls" "$prefix/lib/fontbin/font/testfont.ttc"; do
  case $input in /*) touch "$input" ;; *) touch "$src/$input" ;; esac
  rebuild "$input touched" 1
  rebuild "after $input" 0
done
printf '[Setting]\nrotate=0\n' >"$src/fonts/setting.ini"
rebuild "setting.ini created" 1
touch "$src/fonts/setting.ini"
rebuild "setting.ini touched" 1
touch "$src/main.c" "$src/CMakeLists.txt"
rebuild "main.c touched" 0
rebuild "after main.c" 0
# A deleted input makes the font once, then no more: with Makefiles and with Ninja.
rm "$src/fonts/setting.ini"
rebuild "setting.ini deleted" 1
rebuild "after setting.ini deleted" 0
bld=$work/build-ninja
cmake -S "$src" -B "$bld" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log" 2>&1 \
  || { cat "$work/configure.log"; fail "configure with Ninja"; }
rebuild "Ninja" 1
printf '[Setting]\nrotate=0\n' >"$src/fonts/setting.ini"
rebuild "Ninja: setting.ini created" 1
rm "$src/fonts/setting.ini"
rebuild "Ninja: setting.ini deleted" 1
rebuild "Ninja: after setting.ini deleted" 0
bld=$work/build
# A cross build's toolchain file (here for the host's compiler) roots every package search in its
# sysroot; the example's find_package still finds fontbin.
cat >"$work/cross.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_C_COMPILER cc)
set(CMAKE_FIND_ROOT_PATH "$work/sysroot")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
cmake -S "$src" -B "$work/build-cross" -DCMAKE_TOOLCHAIN_FILE="$work/cross.cmake" \
  -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log" 2>&1 && cmake --build "$work/build-cross" \
  >"$work/build.log" 2>&1 || { cat "$work/configure.log" "$work/build.log"; fail "cross build"; }

# A font kept beside the configuration is found; fontbin's information lines are status
# messages, and only its warnings (an unknown key here) are CMake warnings.
cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$src/fonts/Brand.ttc"
sed -i -e 's/"testfont.ttc"/"Brand.ttc", "fallbackFonts": ["testfont.ttc"], "bogusKey": 1/' \
    "$src/fonts/FontConfig.json"
rebuild "font beside the configuration" 1
grep -q "^-- fontbin: characters drawn" "$work/build.log" || { cat "$work/build.log"; fail "no status line"; }
[ "$(grep -c "CMake Warning" "$work/build.log")" = 1 ] && grep -q bogusKey "$work/build.log" \
  || { cat "$work/build.log"; fail "CMake warnings are not fontbin's warnings"; }
ls "$bld"/fontbin/ui_font_16/Brand_size16_*_font.bin >/dev/null || fail "no Brand font file"
[ -z "$(find "$src" -name "*_font.bin")" ] || fail "wrote into the source tree"
echo "firmware example builds, draws as the preview, and makes the font again exactly when an input changes"
