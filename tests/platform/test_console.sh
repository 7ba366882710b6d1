#!/usr/bin/env bash
# fontbin.exe on a console: Wine gives a program started on a terminal a real console (the
# terminal here is a pseudo-terminal from script(1)), so the tool writes through the console.
# A non-ASCII folder must show as it is, and the progress line must update and end in a summary.
# Usage: test_console.sh WINE_WRAPPER BIN_DIR FONT
set -euo pipefail
wine=$1
bin=$2
font=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dir="$work/配置 ü"
mkdir -p "$dir"
cat >"$dir/FontConfig.json" <<JSON
{"customerVals": [{"firstVal": "0x4E00", "range": "3000"}],
 "fontSet": {"font": "$(basename "$font")", "fontSize": 32, "renderMode": 8}}
JSON
# A private copy of the tool, with the font in its own font folder.
mkdir -p "$dir/tool/font"
cp "$bin/fontbin.exe" "$dir/tool/"
cp "$font" "$dir/tool/font/"
out=$(cd "$dir" && script -qec "'$wine' '$dir/tool/fontbin.exe' FontConfig.json" /dev/null)
fail=0
for want in "配置 ü" "/ 3000 glyphs" "_size32_bits8_font.bin: 3000 glyphs"; do
  grep -qF "$want" <<<"$out" || { echo "missing on the console: $want"; fail=1; }
done
[ "$fail" = 0 ] || { printf '%s\n' "$out" | od -c | head -40; exit 1; }
echo "console output: UTF-8 folder name, progress line and summary"
