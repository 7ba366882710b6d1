#!/usr/bin/env bash
# UI strings shaped at build time: flash and time. 100 UI strings each in Arabic, Hindi and Thai
# (bench/strings/), Noto Sans Arabic with Noto Sans Devanagari and Noto Sans Thai as fallback
# fonts, fontSize 16, 4 bits per pixel. Prints a markdown table of the bytes the device holds:
#   - shaped: the glyphs the strings use (trimmed records, or the compact file) + the string table;
#   - (a) the whole Arabic (with its presentation forms), Devanagari and Thai blocks as code-point
#     glyphs, in the same layout;
#   - (b) every string pre-rendered as one bitmap of its ink box, coded as a trimmed record (the
#     coder of the glyphs in the first column).
# Then the time 1,000 strings add to a run (median of 5 runs with and 5 without the key).
# Checks the target: shaped (trimmed) at most a third of (b).
#
# Usage: bench/strings.sh [BUILD_DIR]    (default: build; needs bin/fontbin and
#        bin/fontbin-strings-bench there, and fonts-noto-core)
# Exit status: 0 target met, 1 missed, 2 set-up problem.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
fontbin=$build/bin/fontbin
measure=$build/bench/fontbin-strings-bench
[ -x "$measure" ] || measure=$build/bin/fontbin-strings-bench
noto=/usr/share/fonts/truetype/noto
for f in "$fontbin" "$measure" $noto/NotoSansArabic-Regular.ttf; do
  [ -e "$f" ] || { echo "missing $f (build, or apt-get install fonts-noto-core)" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root"/bench/strings/*.txt "$work/"
cd "$work"

# config NAME LAYOUT STRINGS RANGES: a configuration for the three fonts.
config() {
  cat > "$1.json" <<JSON
{"customerVals": [$4], "stringPaths": [$3],
 "fontSet": {"font": "$noto/NotoSansArabic-Regular.ttf", "fontSize": 16, "renderMode": 4, $2,
  "fallbackFonts": ["$noto/NotoSansDevanagari-Regular.ttf", "$noto/NotoSansThai-Regular.ttf"]}}
JSON
}
strings='{"path": "ar.txt", "language": "ar"}, {"path": "hi.txt", "language": "hi"},
         {"path": "th.txt", "language": "th"}'
blocks='{"firstVal": "0x0600", "range": "256"}, {"firstVal": "0xFB50", "range": "688"},
        {"firstVal": "0xFE70", "range": "144"}, {"firstVal": "0x0900", "range": "128"},
        {"firstVal": "0x0E00", "range": "128"}'
base=NotoSansArabic-Regular_size16_bits4
run() { mkdir -p "$1" && cp "$1.json" ar.txt hi.txt th.txt "$1/" && (cd "$1" && "$fontbin" "$1.json" >/dev/null 2>&1); }

config shaped '"crop": 1' "$strings" ''
config shapedc '"compact": true' "$strings" ''
config blocks '"crop": 1' '' "$blocks"
config blocksc '"compact": true' '' "$blocks"
for c in shaped shapedc blocks blocksc; do run $c; done

read -r _ glyphs _ table _ bitmaps _ count < <("$measure" shaped/${base}_font.bin shaped/${base}_strings.bin)
read -r _ blockGlyphs _ _ _ _ _ _ < <("$measure" blocks/${base}_font.bin shaped/${base}_strings.bin)
compact=$(stat -c %s shapedc/${base}_compact.bin)
blockCompact=$(stat -c %s blocksc/${base}_compact.bin)
shaped=$((glyphs + table))
echo "| $count UI strings, 16 px, 4 bpp | trimmed records | compact file |"
echo "|---|---:|---:|"
echo "| shaped: glyphs + string table | $glyphs + $table = $shaped | $compact + $table = $((compact + table)) |"
echo "| (a) whole blocks as code-point glyphs | $blockGlyphs | $blockCompact |"
echo "| (b) each string pre-rendered | $bitmaps | - |"
echo
echo "shaped / (b): $(awk -v a=$shaped -v b=$bitmaps 'BEGIN { printf "%.3f", a / b }') (target at most 0.333)"

# 1,000 strings: the 300 above under new names, and more of them, against the run without.
for k in 0 1 2; do
  for f in ar hi th; do sed "s/\$/ $k/" $f.txt > ${f}$k.txt; done
done
thousand=$(for k in 0 1 2; do for f in ar hi th; do printf '"%s%s.txt",' $f $k; done; done)
head -n 100 ar0.txt > extra.txt
config many '"crop": 1' "${thousand}\"extra.txt\"" '{"firstVal": "0x20", "range": "95"}'
config none '"crop": 1' '' '{"firstVal": "0x20", "range": "95"}'
mkdir -p many none && cp ./*.txt many/ && cp many.json many/ && cp none.json none/
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
timeOf() { (cd "$1" && for i in 1 2 3 4 5; do
  s=$(date +%s%N); "$fontbin" "$1.json" >/dev/null 2>&1; e=$(date +%s%N); echo $(((e - s) / 1000000))
done) | median; }
with=$(timeOf many)
without=$(timeOf none)
echo "1,000 strings: $with ms against $without ms without them (+$((with - without)) ms; target at most +1000 ms)"
# The string functions' flash on a microcontroller (-Os, every function kept).
if command -v arm-none-eabi-gcc >/dev/null; then
  for cpu in cortex-m0plus cortex-m4; do
    arm-none-eabi-gcc -mcpu=$cpu -mthumb -Os -std=c99 -c "$root/reader/fontbin_strings.c" \
      -I"$root/reader" -o strings_$cpu.o
    echo "reader/fontbin_strings.c on $cpu at -Os: $(arm-none-eabi-size -A strings_$cpu.o |
      awk '/^\.text|^\.rodata/ { s += $2 } END { print s }') bytes of flash (0 with FB_NO_STRINGS)"
  done
fi
awk -v a=$shaped -v b=$bitmaps 'BEGIN { exit !(a * 3 <= b) }'
