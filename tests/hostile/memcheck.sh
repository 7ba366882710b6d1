#!/usr/bin/env bash
# Runs the real tool under valgrind's memcheck on 3,000 CJK characters of WenQuanYi Micro Hei
# (a collection, so the face lookup, FreeType's TrueType interpreter and the fallback font are
# all on the path), in two layouts. Fails on any memcheck error or a definite or indirect leak.
#   memcheck.sh VALGRIND BIN_DIR FONT
set -euo pipefail
valgrind=$1 bin=$2 font=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tool/font"
cp "$bin/fontbin" "$work/tool/"
cp "$bin/font/unifont.ttf" "$work/tool/font/" 2>/dev/null || true
cp "$font" "$work/tool/font/cjk.ttc"

run() { # name renderMode crop extra-settings
  cat >"$work/$1.json" <<JSON
{"customerVals": [{"firstVal": "0x4E00", "range": "3000"}, {"firstVal": "0x20", "range": "95"}],
 "fontSet": {"font": "cjk.ttc", "fontSize": 16, "renderMode": $2, "crop": $3 $4}}
JSON
  (cd "$work" && "$valgrind" --quiet --error-exitcode=1 --leak-check=full \
    --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect \
    "$work/tool/fontbin" "$work/$1.json" >"$work/$1.out" 2>"$work/$1.err") || {
    echo "memcheck failed on $1:"
    cat "$work/$1.err"
    exit 1
  }
  [ -s "$work/cjk_size16_bits$2_font.bin" ] || { echo "no font file from $1"; exit 1; }
}

run fixed 1 0 ""
run trimmed 4 1 ', "bold": true, "italic": true, "scanMode": "V"'
echo "memcheck: no errors, no leaks"
