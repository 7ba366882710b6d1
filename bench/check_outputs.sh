#!/usr/bin/env bash
# Runs fontbin over a fixed matrix of configurations and compares the sha256 sums of every output
# (font bitmap file, character list file, sample PNGs) with those recorded in bench/checksums.
# A speed-up must leave every output byte as it was: run this before and after each change.
#
# Usage: bench/check_outputs.sh [--record] [BUILD_DIR]
#   --record   write bench/checksums from this build instead of comparing
#   BUILD_DIR  the build whose bin/fontbin is run (default: build)
# Needs the font wqy-microhei.ttc (Debian package fonts-wqy-microhei) in the system font folders.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
record=0
if [ "${1:-}" = "--record" ]; then
  record=1
  shift
fi
build=${1:-$root/build}
case $build in /*) ;; *) build=$PWD/$build ;; esac
fontbin=$build/bin/fontbin
sums=$root/bench/checksums
[ -x "$fontbin" ] || { echo "check_outputs: $fontbin not found (build the fontbin target)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/fontbin-check.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Character selections, as customerVals members.
cjk='{"firstVal": "0x4E00", "range": "20992"}'
bmp='{"firstVal": "0x0", "range": "65536"}'
ascii='{"firstVal": "0x20", "range": "95"}'
# A mix for the style and shape variants: ASCII, Latin-1, Greek, Cyrillic, part of the CJK block,
# Hangul, private use (no glyph: the fallback font draws it) and the full-width forms.
mix='{"firstVal": "0x20", "range": "95"}, {"firstVal": "0xA0", "range": "96"},
     {"firstVal": "0x370", "range": "144"}, {"firstVal": "0x400", "range": "256"},
     {"firstVal": "0x4E00", "range": "1500"}, {"firstVal": "0xAC00", "range": "300"},
     {"firstVal": "0xE000", "range": "16"}, {"firstVal": "0xFF00", "range": "240"}'

# name | selection | fontSize | renderMode | scanMode | bold | italic | indexMethod | crop |
# rotate | gamma | sample folder | further fontSet members
cases=(
  "cjk16b1|cjk|16|1|H|0|0|0|0|0||"
  "cjk16b1-crop|cjk|16|1|H|0|0|0|1|0||"
  "cjk16b4|cjk|16|4|H|0|0|0|0|0||"
  "cjk16b4-crop|cjk|16|4|H|0|0|0|1|0||"
  "cjk32b4|cjk|32|4|H|0|0|0|0|0||"
  "cjk32b4-crop|cjk|32|4|H|0|0|0|1|0||"
  "bmp16b1|bmp|16|1|H|0|0|1|0|0||"
  "ascii16b1|ascii|16|1|H|0|0|0|0|0||sample"
)
for crop in 0 1; do
  for size in 16 18; do
    c="-s$size-crop$crop"
    cases+=(
      "plain$c|mix|$size|1|H|0|0|1|$crop|0||"
      "rotate1$c|mix|$size|1|H|0|0|1|$crop|1||"
      "rotate2$c|mix|$size|4|H|0|0|1|$crop|2||"
      "scanV$c|mix|$size|1|V|0|0|1|$crop|0||"
      "scanv$c|mix|$size|2|v|0|0|0|$crop|0||"
      "scanV-rotate1$c|mix|$size|1|V|0|0|1|$crop|1||"
      "italic$c|mix|$size|1|H|0|1|1|$crop|0||"
      "bold$c|mix|$size|4|H|1|0|1|$crop|0||"
      "bold-italic$c|mix|$size|8|H|1|1|1|$crop|0||"
      "gamma$c|mix|$size|4|H|0|0|1|$crop|0|2.2|"
      "bits2$c|mix|$size|2|H|0|0|1|$crop|0||"
      "bits8$c|mix|$size|8|H|0|0|1|$crop|0||"
    )
  done
done
cases+=("samples-rotate2-gamma|ascii|12|8|V|0|1|0|0|2|0.5|sample")
# The compact layout: every depth, every scan kind with every turn, kerning.
compact='"compact": true'
cases+=(
  "compact-cjk16b1|cjk|16|1|H|0|0|0|0|0|||$compact"
  "compact-cjk24b4|cjk|24|4|H|0|0|0|0|0|||$compact"
  "compact-kerning|mix|16|4|H|0|0|0|0|0|||$compact, \"kerning\": true"
)
for rotate in 0 1 2; do
  cases+=(
    "compact-bits1-rotate$rotate|mix|16|1|H|0|0|0|0|$rotate|||$compact"
    "compact-scanV-bits2-rotate$rotate|mix|17|2|V|0|1|0|0|$rotate|||$compact"
    "compact-scanv-bits4-rotate$rotate|mix|16|4|v|1|0|0|0|$rotate|||$compact"
    "compact-scanV-bits8-rotate$rotate|mix|15|8|V|0|0|0|0|$rotate|||$compact"
  )
done

sel() {
  case $1 in
    cjk) echo "$cjk" ;;
    bmp) echo "$bmp" ;;
    ascii) echo "$ascii" ;;
    mix) echo "$mix" ;;
  esac
}

list=$work/sums
: >"$list"
for entry in "${cases[@]}"; do
  IFS='|' read -r name selection size bits scan bold italic index crop rotate gamma sample more \
    <<<"$entry"
  dir=$work/$name
  mkdir -p "$dir"
  cat >"$dir/FontConfig.json" <<EOF
{
  "customerVals": [ $(sel "$selection") ],
  "fontSet": { "font": "wqy-microhei.ttc", "fontSize": $size, "scanMode": "$scan",
               "bold": $bold, "italic": $italic, "renderMode": $bits,
               "indexMethod": $index, "crop": $crop${more:+, $more} }
}
EOF
  {
    echo "[Setting]"
    echo "rotate=$rotate"
    if [ -n "$gamma" ]; then
      echo "TransformAlgrithm=gamma"
      echo "gamma=$gamma"
    fi
  } >"$dir/setting.ini"
  [ -n "$sample" ] && mkdir -p "$dir/sample"
  (cd "$dir" && "$fontbin" FontConfig.json >/dev/null 2>"$dir/stderr.txt") || {
    echo "check_outputs: fontbin failed on $name:" >&2
    cat "$dir/stderr.txt" >&2
    exit 1
  }
  (cd "$work" && find "$name" -type f \( -name '*.bin' -o -name '*.cst' -o -name '*.png' \) |
    LC_ALL=C sort | xargs sha256sum) >>"$list"
done

if [ "$record" = 1 ]; then
  cp "$list" "$sums"
  echo "check_outputs: recorded $(wc -l <"$sums") sums in $sums"
  exit 0
fi
if diff -u "$sums" "$list" >"$work/diff"; then
  echo "check_outputs: all $(wc -l <"$sums") outputs identical"
else
  echo "check_outputs: outputs differ from bench/checksums:" >&2
  cat "$work/diff" >&2
  exit 1
fi
