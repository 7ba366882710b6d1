#!/usr/bin/env bash
# The compact layout on the five reference cases: file size against lv_font_conv's RLE size,
# every template the writer weighs (with --all), and decoding cost per glyph: nanoseconds on this
# machine and, when valgrind is installed, instructions counted by callgrind.
#
#   bench/compact.sh [--all] [--no-callgrind]
#
# Each case is a cropped fontbin run ("crop": 1, "advances": true) whose glyphs
# fontbin-compact-bench codes into the compact layout and decodes again, checking every pixel.
# lv_font_conv 1.5.3's RLE sizes (`--format bin`, same em, kerning off) are fixed here, as
# measured when the layout was designed.
#   BUILD_DIR  build with bin/fontbin and bin/fontbin-compact-bench (default: build)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}
fontbin=$build/bin/fontbin
bench=$build/bin/fontbin-compact-bench
all=()
callgrind=1
for a in "$@"; do
  case $a in
    --all) all=(--all) ;;
    --no-callgrind) callgrind=0 ;;
    *) echo "usage: $0 [--all] [--no-callgrind]" >&2; exit 2 ;;
  esac
done
[ -x "$fontbin" ] && [ -x "$bench" ] || { echo "compact.sh: build first ($build)" >&2; exit 2; }
command -v valgrind >/dev/null || callgrind=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# name | font | first code point | count | fontSize | bits | lv_font_conv RLE bytes | limit | aim
cases=(
  "CJK 16/1|wqy-microhei.ttc|0x4E00|20992|16|1|490264|0.60|0.55"
  "CJK 36/1|wqy-microhei.ttc|0x4E00|20992|36|1|2030812|0.39|0.36"
  "CJK 16/4|wqy-microhei.ttc|0x4E00|20992|16|4|1640360|0.81|0.75"
  "CJK 24/4|wqy-microhei.ttc|0x4E00|20992|24|4|3138484|0.71|0.65"
  "DejaVu ASCII 16/4|DejaVuSans.ttf|0x20|95|16|4|2924|0.86|0.80"
)
rows=()
status=0
for entry in "${cases[@]}"; do
  IFS='|' read -r name font first count size bits lv limit aim <<<"$entry"
  dir=$work/case
  rm -rf "$dir"
  mkdir -p "$dir"
  cat >"$dir/FontConfig.json" <<EOF
{ "customerVals": [ {"firstVal": "$first", "range": "$count"} ],
  "fontSet": { "font": "$font", "fontSize": $size, "scanMode": "H", "bold": 0, "italic": 0,
               "renderMode": $bits, "indexMethod": 0, "crop": 1, "advances": true } }
EOF
  (cd "$dir" && "$fontbin" "$dir/FontConfig.json" >/dev/null 2>&1) ||
    { echo "compact.sh: fontbin failed on $name" >&2; exit 2; }
  stem="$dir/${font%%.*}_size${size}_bits${bits}"
  "$bench" "$stem" --out "$dir/compact.bin" "${all[@]}" >"$dir/report" ||
    { echo "compact.sh: $name does not round-trip:" >&2; cat "$dir/report" >&2; exit 1; }
  echo "== $name" >&2
  cat "$dir/report" >&2
  bytes=$(stat -c %s "$dir/compact.bin")
  ns=$(sed -n 's/.*decode: \([0-9]*\) ns.*/\1/p' "$dir/report")
  instr="-"
  if [ "$callgrind" = 1 ]; then
    valgrind --tool=callgrind --callgrind-out-file="$dir/cg" "$bench" --decode "$dir/compact.bin" \
      >"$dir/decoded" 2>/dev/null
    glyphs=$(grep -o '^[0-9]*' "$dir/decoded")
    # Inclusive counts of the two calls a firmware makes per glyph.
    instr=$(callgrind_annotate --inclusive=yes "$dir/cg" 2>/dev/null | awk -v n="$glyphs" '
      /fb_decode_glyph_rows \[/ { gsub(",", "", $1); d = $1 }
      /fb_next_glyph \[/ { gsub(",", "", $1); f = $1 }
      END { printf "%.0f + %.0f", d / n, f / n }')
  fi
  share=$(awk -v b="$bytes" -v l="$lv" 'BEGIN { printf "%.3f", b / l }')
  verdict=$(awk -v s="$share" -v l="$limit" -v a="$aim" \
    'BEGIN { print (s <= a ? "aim met" : (s <= l ? "limit met" : "OVER")) }')
  [ "$verdict" = OVER ] && status=1
  rows+=("| $name | $lv | $bytes | $share | $limit / $aim | $verdict | $ns | $instr |")
done
echo "| case | lv_font_conv RLE | compact | share | limit / aim | | decode ns/glyph | decode + find instructions/glyph |"
echo "|---|---:|---:|---:|---|---|---:|---:|"
printf '%s\n' "${rows[@]}"
exit $status
