#!/usr/bin/env bash
# fontbin-embed.exe under Wine in folders named with CJK characters and spaces: the font file by
# its Unicode name, OUT with a CJK name, the dependency file in UTF-8, and fontbin_add_font's own
# steps (FontbinGenerate.cmake, run by the host's CMake with the Windows tools).
# Usage: test_embed_wine.sh WINE_WRAPPER BIN_DIR SOURCE_DIR
set -euo pipefail
wine=$1
bin=$2
source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tool="$work/工具 目录"
project="$work/C 张伟/固件 项目"
mkdir -p "$tool" "$project"
cp -r "$bin/fontbin.exe" "$bin/fontbin-embed.exe" "$bin/font" "$bin/CodePage" "$tool/"
for exe in fontbin fontbin-embed; do
  printf '#!/bin/sh\nexec "%s" "%s/%s.exe" "$@"\n' "$wine" "$tool" "$exe" >"$tool/$exe"
  chmod +x "$tool/$exe"
done
cat >"$project/FontConfig.json" <<'JSON'
{"customerVals": [{"firstVal": "0x20", "range": "95"}],
 "fontSet": {"font": "unifont.ttf", "fontSize": 16, "renderMode": 1}}
JSON
failures=0
fail() { echo "$*"; failures=$((failures + 1)); }

# The command line: a font file and an OUT named in CJK.
(cd "$project" && "$tool/fontbin" FontConfig.json >/dev/null) || fail "fontbin.exe failed"
(cd "$project" && mv ./*_font.bin 字体_font.bin)
out=$(cd "$project" && "$tool/fontbin-embed" 字体_font.bin 输出 --symbol font16 2>&1) || fail "fontbin-embed.exe: $out"
for f in 输出.c 输出.h; do test -s "$project/$f" || fail "no $f"; done
grep -q '#include "输出.h"' "$project/输出.c" || fail "输出.c does not include 输出.h by its name"
# Without --symbol, the name's CJK characters by their code points.
out=$(cd "$project" && "$tool/fontbin-embed" 字体_font.bin 默认 2>&1) || fail "fontbin-embed.exe: $out"
grep -q 'extern const uint8_t u5b57u4f53_font\[' "$project/默认.h" || fail "default symbol of 字体_font.bin"

# fontbin_add_font's steps, and the dependency file they write.
cmake -DFONTBIN="$tool/fontbin" -DEMBED="$tool/fontbin-embed" -DCONFIG="$project/FontConfig.json" \
  -DOUT_DIR="$project/生成 文件" -DSYMBOL=ui_font -P "$source/cmake/package/FontbinGenerate.cmake" \
  >"$work/generate.log" 2>&1 || { cat "$work/generate.log"; fail "FontbinGenerate.cmake failed"; }
dep="$project/生成 文件/ui_font.d"
for f in ui_font.c ui_font.h; do test -s "$project/生成 文件/$f" || fail "no $f"; done
iconv -f UTF-8 -t UTF-8 "$dep" >/dev/null 2>&1 || fail "the dependency file is not UTF-8"
for want in '固件\ 项目/FontConfig.json' '工具\ 目录/font/unifont.ttf'; do
  grep -qF "$want" "$dep" || fail "the dependency file does not list $want"
done
[ "$failures" = 0 ] || { cat "$dep" 2>/dev/null; exit 1; }
echo "fontbin-embed.exe and fontbin_add_font's steps in CJK folders with spaces"
