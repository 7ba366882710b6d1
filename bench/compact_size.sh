#!/usr/bin/env bash
# File sizes of the compact layout against fontbin's other layouts, lv_font_conv and xz, and the
# time a compact run takes against the same run in the fixed layout. Prints a markdown table and
# checks the targets:
#   - compact at most this share of lv_font_conv's RLE file: CJK 16 px 1 bit 0.60, 36 px 1 bit
#     0.39, 16 px 4 bits 0.81, 24 px 4 bits 0.71; DejaVu Sans ASCII 16 px 4 bits 0.86;
#   - a compact run at most 2x the time of the fixed-layout run (median of the per-pair ratios
#     of interleaved runs).
#
# Columns: fontbin's fixed records (code-point list), its offset table with trimmed records
# (crop 1), the compact file; lv_font_conv --format bin without kerning, uncompressed
# (--no-compress) and with its RLE; xz -9e of the cropped file (what a general compressor finds,
# though a device could not decode one glyph of it on its own).
#
# Usage: bench/compact_size.sh [--runs N] [--cases REGEX] [BUILD_DIR]
#   --runs N      timed pairs (fixed, compact) per case (default 5)
#   --cases REGEX only the cases whose name matches
#   BUILD_DIR     build with bin/fontbin, bin/fontbin-floor, bin/fontbin-ttc-face (default: build)
# lv_font_conv comes from npm (npm install -g lv_font_conv); without it its columns show "-" and
# the share targets are not checked.
# Environment: FONTBIN_BENCH_FONT overrides the path of wqy-microhei.ttc, FONTBIN_BENCH_LATIN
# that of DejaVuSans.ttf.
# Exit status: 0 when every target checked is met, 1 when one is missed, 2 on a set-up problem.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=5
only=.
build=$root/build
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --cases) only=$2; shift 2 ;;
    -h|--help) sed -n '2,23p' "$0"; exit 0 ;;
    *) build=$1; shift ;;
  esac
done
case $build in /*) ;; *) build=$PWD/$build ;; esac
fontbin=$build/bin/fontbin
floor=$build/bin/fontbin-floor
ttc_face=$build/bin/fontbin-ttc-face
for exe in "$fontbin" "$floor" "$ttc_face"; do
  [ -x "$exe" ] || { echo "compact_size.sh: $exe not found: build fontbin, fontbin-floor and fontbin-ttc-face" >&2; exit 2; }
done
command -v xz >/dev/null || { echo "compact_size.sh: xz not found: apt-get install xz-utils" >&2; exit 2; }

find_font() {  # find_font NAME: the first match in the usual font folders
  local dir
  for dir in /usr/share/fonts /usr/local/share/fonts "$HOME/.local/share/fonts" "$HOME/.fonts"; do
    [ -d "$dir" ] || continue
    found=$(find "$dir" -name "$1" -print -quit 2>/dev/null)
    [ -n "$found" ] && { echo "$found"; return; }
  done
}
hei=${FONTBIN_BENCH_FONT:-$(find_font wqy-microhei.ttc)}
latin=${FONTBIN_BENCH_LATIN:-$(find_font DejaVuSans.ttf)}
[ -f "$hei" ] || { echo "compact_size.sh: wqy-microhei.ttc not found: apt-get install fonts-wqy-microhei" >&2; exit 2; }
[ -f "$latin" ] || { echo "compact_size.sh: DejaVuSans.ttf not found: apt-get install fonts-dejavu-core" >&2; exit 2; }

lv=$(command -v lv_font_conv || true)
[ -n "$lv" ] || echo "compact_size.sh: lv_font_conv is not installed, so it is left out; to include it: npm install -g lv_font_conv" >&2

work=$(mktemp -d "${TMPDIR:-/tmp}/fontbin-compact.XXXXXX")
trap 'rm -rf "$work"' EXIT
# lv_font_conv cannot read collections: face 0, which fontbin uses, as a .ttf.
"$ttc_face" "$hei" 0 "$work/hei.ttf"

# name | font | code points (hex FIRST-LAST) | fontSize | renderMode | target share of lv RLE
cases=(
  "CJK 16 / 1|$hei|4E00-9FFF|16|1|0.60"
  "CJK 16 / 4|$hei|4E00-9FFF|16|4|0.81"
  "CJK 24 / 4|$hei|4E00-9FFF|24|4|0.71"
  "CJK 36 / 1|$hei|4E00-9FFF|36|1|0.39"
  "DejaVu Sans ASCII 16 / 4|$latin|0020-007E|16|4|0.86"
)

seconds() {  # seconds COMMAND...: wall time of one run
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.6f\n", b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.6f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
size() { stat -c %s "$1"; }
thousands() { sed ':a;s/\B[0-9]\{3\}\>/,&/;ta' <<<"$1"; }

status=0
rows=()
for entry in "${cases[@]}"; do
  IFS='|' read -r name font range size bits target <<<"$entry"
  [[ $name =~ $only ]] || continue
  first=$((16#${range%-*}))
  last=$((16#${range#*-}))
  dir=$work/case
  rm -rf "$dir"
  mkdir -p "$dir"
  stem=$(basename "$font")
  stem=${stem%%.*}_size${size}_bits${bits}
  write_config() {  # write_config FILE EXTRA-KEYS
    cat >"$1" <<EOF
{
  "customerVals": [ {"firstVal": "$first", "range": "$((last - first + 1))"} ],
  "fontSet": { "font": "$font", "fontSize": $size, "renderMode": $bits, $2 }
}
EOF
  }
  write_config "$dir/fixed.json" '"indexMethod": 1, "crop": 0'
  write_config "$dir/crop.json" '"indexMethod": 1, "crop": 1'
  write_config "$dir/compact.json" '"compact": true'
  echo "compact_size.sh: $name: $runs pairs of runs" >&2
  # The tool reads setting.ini from the working directory: run where there is none.
  cd "$dir"
  # The two layouts run interleaved, and each pair gives one ratio: on a shared machine the
  # median of those ratios is steadier than the ratio of the medians.
  : >"$work/tf"
  : >"$work/tc"
  : >"$work/tr"
  for ((i = 0; i < runs; i++)); do
    f=$(seconds "$fontbin" "$dir/fixed.json")
    c=$(seconds "$fontbin" "$dir/compact.json")
    echo "$f" >>"$work/tf"
    echo "$c" >>"$work/tc"
    awk -v c="$c" -v f="$f" 'BEGIN { printf "%.6f\n", c / f }' >>"$work/tr"
  done
  fixed=$(size "$dir/${stem}_font.bin")
  compact=$(size "$dir/${stem}_compact.bin")
  "$fontbin" "$dir/crop.json" >/dev/null 2>&1
  cropped=$(size "$dir/${stem}_font.bin")
  xz -9e -k -c "$dir/${stem}_font.bin" >"$work/crop.xz"
  xzed=$(size "$work/crop.xz")
  t_fixed=$(median <"$work/tf")
  t_compact=$(median <"$work/tc")
  time_ratio=$(median <"$work/tr" | awk '{ printf "%.2f", $1 }')
  misses=()
  awk -v r="$time_ratio" 'BEGIN { exit !(r <= 2) }' || misses+=("time over 2x")

  lv_raw="-" lv_rle="-" share="-"
  if [ -n "$lv" ]; then
    # lv_font_conv's --size is the em size: the pixel size fontbin gives FreeType.
    em=$("$floor" "$font" "$size" "$bits" 0 0 0020-0020 | sed -n 's/.*ppem \([0-9]*\).*/\1/p')
    lv_font=$font
    [[ $font == *.ttc ]] && lv_font=$work/hei.ttf
    lv_cmd=("$lv" --font "$lv_font" -r "0x${range%-*}-0x${range#*-}" --size "$em" --bpp "$bits"
            --format bin --no-kerning)
    if "${lv_cmd[@]}" --no-compress -o "$work/raw.bin" >/dev/null 2>&1 &&
       "${lv_cmd[@]}" -o "$work/rle.bin" >/dev/null 2>&1; then
      lv_raw=$(size "$work/raw.bin")
      lv_rle=$(size "$work/rle.bin")
      share=$(awk -v c="$compact" -v l="$lv_rle" 'BEGIN { printf "%.3f", c / l }')
      awk -v s="$share" -v t="$target" 'BEGIN { exit !(s <= t) }' || misses+=("share over $target")
      rm -f "$work/raw.bin" "$work/rle.bin"
    else
      lv_raw=failed lv_rle=failed
    fi
  fi
  verdict=ok
  if [ ${#misses[@]} -gt 0 ]; then
    verdict=$(IFS=,; echo "${misses[*]}")
    status=1
  fi
  fmt() { [[ $1 =~ ^[0-9]+$ ]] && thousands "$1" || echo "$1"; }
  rows+=("| $name | $(fmt "$fixed") | $(fmt "$cropped") | $(fmt "$compact") | $(fmt "$lv_raw") | $(fmt "$lv_rle") | $(fmt "$xzed") | $share | <= $target | $(awk -v s="$t_fixed" 'BEGIN { printf "%.0f", s * 1000 }') | $(awk -v s="$t_compact" 'BEGIN { printf "%.0f", s * 1000 }') | ${time_ratio}x | $verdict |")
  cd "$work"
done

echo "Sizes in bytes; share = compact / lv_font_conv RLE; times are medians of $runs runs (ms), the"
echo "time ratio the median of the per-pair ratios."
echo
echo "| case | fontbin fixed | fontbin cropped | fontbin compact | lv_font_conv raw | lv_font_conv RLE | xz -9e of cropped | compact / lv RLE | target | fixed run ms | compact run ms | compact / fixed time | targets |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|"
printf '%s\n' "${rows[@]}"
exit "$status"
