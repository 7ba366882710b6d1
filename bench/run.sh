#!/usr/bin/env bash
# Whole-process timings of fontbin against the FreeType floor (bench/floor.cpp) and, when it is
# installed, against lv_font_conv, on the same font, sizes, depths and code points. Prints a
# markdown table and checks the targets:
#   - fontbin at most 1.10x the floor's time on each CJK case (median of the pairwise ratios),
#   - ASCII alone at most 4x the floor (start-up, font lookup and file writes included),
#   - peak resident memory at most 1.5x the floor's on each case, and at most 40 MB for the BMP.
#
# The machine may be shared and noisy, so the two programs run interleaved (floor, fontbin, floor,
# fontbin, ...); each pair gives one ratio and the table shows medians. Peak memory comes from
# separate runs under /usr/bin/time -v, so that the timed runs carry no wrapper.
#
# Usage: bench/run.sh [--runs N] [--lv-runs N] [--cases REGEX] [--disk] [BUILD_DIR]
#   --runs N      timed pairs per case (default 7; the ASCII case runs three times as many)
#   --lv-runs N   lv_font_conv runs per distinct configuration (default 3; 0 skips it)
#   --cases REGEX only the cases whose name matches
#   --disk        write fontbin's outputs under TMPDIR (or /tmp) instead of a memory file system:
#                 the time then includes the disk's write-back of every output, which the floor,
#                 writing nothing, never pays, and which depends on the disk more than on the tool
#                 (replacing a 3 MB file costs ext4 a synchronous flush on rename)
#   BUILD_DIR     build with bin/fontbin and bin/fontbin-floor (default: build; a Release build)
# Environment: FONTBIN_BENCH_FONT overrides the path of wqy-microhei.ttc.
# Exit status: 0 when every target is met, 1 when one is missed, 2 on a set-up problem.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=7
lv_runs=3
only=.
disk=0
build=$root/build
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --lv-runs) lv_runs=$2; shift 2 ;;
    --cases) only=$2; shift 2 ;;
    --disk) disk=1; shift ;;
    -h|--help) sed -n '2,27p' "$0"; exit 0 ;;
    *) build=$1; shift ;;
  esac
done
case $build in /*) ;; *) build=$PWD/$build ;; esac
fontbin=$build/bin/fontbin
floor=$build/bin/fontbin-floor
ttc_face=$build/bin/fontbin-ttc-face
for exe in "$fontbin" "$floor" "$ttc_face"; do
  [ -x "$exe" ] || { echo "run.sh: $exe not found: build the fontbin, fontbin-floor and fontbin-ttc-face targets" >&2; exit 2; }
done

if [ ! -x /usr/bin/time ]; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    echo "run.sh: installing GNU time (Debian package time) for peak-memory figures" >&2
    apt-get install -y -qq time >/dev/null || { apt-get update -qq && apt-get install -y -qq time >/dev/null; }
  fi
  [ -x /usr/bin/time ] || { echo "run.sh: /usr/bin/time missing: install the Debian package time" >&2; exit 2; }
fi

font=${FONTBIN_BENCH_FONT:-}
if [ -z "$font" ]; then
  for dir in /usr/share/fonts /usr/local/share/fonts "$HOME/.local/share/fonts" "$HOME/.fonts"; do
    [ -d "$dir" ] || continue
    font=$(find "$dir" -name wqy-microhei.ttc -print -quit 2>/dev/null)
    [ -n "$font" ] && break
  done
fi
[ -n "$font" ] && [ -f "$font" ] || { echo "run.sh: wqy-microhei.ttc not found: apt-get install fonts-wqy-microhei" >&2; exit 2; }

lv=$(command -v lv_font_conv || true)
if [ -z "$lv" ] && [ "$lv_runs" != 0 ]; then
  echo "run.sh: lv_font_conv is not installed, so it is left out; to include it: npm install -g lv_font_conv" >&2
fi

# Outputs go to a memory file system unless --disk: they still pass through the page cache like any
# write, without the device behind it.
out_root=${TMPDIR:-/tmp}
if [ "$disk" = 0 ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then out_root=/dev/shm; fi
work=$(mktemp -d "$out_root/fontbin-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
if [ -n "$lv" ]; then
  # lv_font_conv cannot read collections: face 0, which fontbin and the floor use, as a .ttf.
  "$ttc_face" "$font" 0 "$work/face0.ttf"
fi

# name | code-point ranges (hex, as FIRST-LAST) | fontSize | renderMode | crop | time target
cases=(
  "CJK 16px 1bit fixed|4E00-9FFF|16|1|0|1.10"
  "CJK 16px 1bit crop|4E00-9FFF|16|1|1|1.10"
  "CJK 16px 4bit fixed|4E00-9FFF|16|4|0|1.10"
  "CJK 16px 4bit crop|4E00-9FFF|16|4|1|1.10"
  "CJK 32px 4bit fixed|4E00-9FFF|32|4|0|1.10"
  "CJK 32px 4bit crop|4E00-9FFF|32|4|1|1.10"
  "BMP 16px 1bit fixed|0000-FFFF|16|1|0|-"
  "ASCII 16px 1bit fixed|0020-007E|16|1|0|4"
)

# Wall seconds (bash's own clock, microseconds, no wrapper process) and CPU seconds (user + system,
# milliseconds, from the shell's time keyword) of one command.
timed() {
  local TIMEFORMAT='%3U %3S' start end user sys
  start=$EPOCHREALTIME
  { time "$@" >/dev/null 2>&1; } 2>"$work/cpu"
  end=$EPOCHREALTIME
  read -r user sys <"$work/cpu"
  awk -v a="$start" -v b="$end" -v u="$user" -v s="$sys" 'BEGIN { printf "%.6f %.3f\n", b - a, u + s }'
}
# Peak resident set size in KiB.
peak_kb() {
  /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>&1
  awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }' "$work/time.txt"
}
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.6f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A lv_time lv_mem
status=0
rows=()
for entry in "${cases[@]}"; do
  IFS='|' read -r name ranges size bits crop target <<<"$entry"
  [[ $name =~ $only ]] || continue
  dir=$work/case
  rm -rf "$dir"
  mkdir -p "$dir"
  members=""
  glyphs=0
  floor_ranges=()
  for r in $ranges; do
    first=$((16#${r%-*}))
    last=$((16#${r#*-}))
    members+="${members:+, }{\"firstVal\": \"$first\", \"range\": \"$((last - first + 1))\"}"
    glyphs=$((glyphs + last - first + 1))
    floor_ranges+=("$r")
  done
  cat >"$dir/FontConfig.json" <<EOF
{
  "customerVals": [ $members ],
  "fontSet": { "font": "$(basename "$font")", "fontSize": $size, "scanMode": "H", "bold": 0,
               "italic": 0, "renderMode": $bits, "indexMethod": 0, "crop": $crop }
}
EOF
  floor_cmd=("$floor" "$font" "$size" "$bits" 0 0 "${floor_ranges[@]}")
  fontbin_cmd=("$fontbin" "$dir/FontConfig.json")
  n=$runs
  [[ $name == ASCII* ]] && n=$((runs * 3))
  echo "run.sh: $name: $n pairs" >&2

  # The tool reads setting.ini from the working directory: run where there is none.
  cd "$dir"
  "${floor_cmd[@]}" >/dev/null
  "${fontbin_cmd[@]}" >/dev/null 2>&1 || { echo "run.sh: fontbin failed on $name" >&2; exit 2; }
  # The two must do the same work: in the fixed layout the floor's cells are fontbin's records
  # (except where fontbin drew a character with its fallback font, as in the BMP).
  if [ "$crop" = 0 ] && [[ $name != BMP* ]]; then
    stem=$(basename "$font")
    "$floor" --verify "$dir/${stem%%.*}_size${size}_bits${bits}_font.bin" "${floor_cmd[@]:1}" \
      >"$work/verify" || { echo "run.sh: $name: the floor's cells differ from fontbin's:" >&2; cat "$work/verify" >&2; exit 2; }
  fi
  : >"$work/f" ; : >"$work/b" ; : >"$work/r" ; : >"$work/cr"
  for ((i = 0; i < n; i++)); do
    timed "${floor_cmd[@]}" >"$work/one"
    read -r f fc <"$work/one"
    timed "${fontbin_cmd[@]}" >"$work/one"
    read -r b bc <"$work/one"
    echo "$f" >>"$work/f"
    echo "$b" >>"$work/b"
    awk -v f="$f" -v b="$b" 'BEGIN { printf "%.6f\n", b / f }' >>"$work/r"
    # CPU times have millisecond steps: a ratio only where both took at least 20 ms.
    awk -v f="$fc" -v b="$bc" 'BEGIN { if (f >= 0.02 && b >= 0.02) printf "%.6f\n", b / f }' >>"$work/cr"
  done
  : >"$work/fm" ; : >"$work/bm"
  for ((i = 0; i < 3; i++)); do
    peak_kb "${floor_cmd[@]}" >>"$work/fm"
    peak_kb "${fontbin_cmd[@]}" >>"$work/bm"
  done
  cd "$root"
  f_med=$(median <"$work/f")
  b_med=$(median <"$work/b")
  ratio=$(median <"$work/r")
  cpu_ratio=-
  [ -s "$work/cr" ] && cpu_ratio=$(printf '%.3f' "$(median <"$work/cr")")
  f_mem=$(median <"$work/fm")
  b_mem=$(median <"$work/bm")
  mem_ratio=$(awk -v f="$f_mem" -v b="$b_mem" 'BEGIN { printf "%.2f", b / f }')

  misses=()
  if [ "$target" != - ] && awk -v r="$ratio" -v t="$target" 'BEGIN { exit !(r > t) }'; then
    misses+=("time over ${target}x")
  fi
  if awk -v r="$mem_ratio" 'BEGIN { exit !(r > 1.5) }'; then misses+=("memory over 1.5x"); fi
  if [[ $name == BMP* ]] && [ "$b_mem" -gt $((40 * 1024)) ]; then misses+=("memory over 40 MB"); fi
  verdict=met
  if [ ${#misses[@]} -gt 0 ]; then
    verdict="MISSED: $(IFS=';'; echo "${misses[*]}")"
    status=1
  fi

  lv_cell="-"
  lv_mem_cell="-"
  lv_ratio="-"
  if [ -n "$lv" ] && [ "$lv_runs" != 0 ]; then
    key="$ranges|$size|$bits"
    if [ -z "${lv_time[$key]:-}" ]; then
      # lv_font_conv's --size is the em size: the pixel size fontbin gives FreeType.
      em=$("$floor" "$font" "$size" "$bits" 0 0 0020-0020 | sed -n 's/.*ppem \([0-9]*\).*/\1/p')
      lv_ranges=()
      for r in $ranges; do lv_ranges+=(-r "0x${r%-*}-0x${r#*-}"); done
      lv_cmd=("$lv" --font "$work/face0.ttf" "${lv_ranges[@]}" --size "$em" --bpp "$bits"
              --format bin --no-kerning -o "$work/lv.bin")
      echo "run.sh: $name: lv_font_conv --size $em, $lv_runs runs" >&2
      : >"$work/l" ; : >"$work/lm"
      for ((i = 0; i < lv_runs; i++)); do
        timed "${lv_cmd[@]}" | cut -d' ' -f1 >>"$work/l"
        peak_kb "${lv_cmd[@]}" >>"$work/lm"
      done
      if [ -s "$work/lv.bin" ]; then
        lv_time[$key]=$(median <"$work/l")
        lv_mem[$key]=$(median <"$work/lm")
      else
        lv_time[$key]=failed
      fi
    fi
    if [ "${lv_time[$key]}" = failed ]; then
      lv_cell="failed"
    else
      lv_cell=$(awk -v s="${lv_time[$key]}" 'BEGIN { printf "%.0f", s * 1000 }')
      lv_mem_cell=$(awk -v k="${lv_mem[$key]}" 'BEGIN { printf "%.1f", k / 1024 }')
      lv_ratio=$(awk -v l="${lv_time[$key]}" -v b="$b_med" 'BEGIN { printf "%.1fx", l / b }')
    fi
  fi

  rows+=("$(printf '| %s | %d | %.1f | %.1f | %.3f | %s | %s | %.1f | %.1f | %s | %s | %s | %s | %s |' \
    "$name" "$glyphs" "$(awk -v s="$f_med" 'BEGIN { print s * 1000 }')" \
    "$(awk -v s="$b_med" 'BEGIN { print s * 1000 }')" "$ratio" "$cpu_ratio" "$( [ "$target" = - ] && echo - || echo "≤ ${target}x")" \
    "$(awk -v k="$f_mem" 'BEGIN { print k / 1024 }')" "$(awk -v k="$b_mem" 'BEGIN { print k / 1024 }')" \
    "$mem_ratio" "$lv_cell" "$lv_mem_cell" "$lv_ratio" "$verdict")")
done

echo
echo "Font $(basename "$font") (face 0), $(nproc) cores, outputs written to $out_root ($(df -PT "$out_root" | awk 'NR == 2 { print $2 }')),"
echo "$runs timed pairs per case (ASCII: $((runs * 3))),"
echo "medians; time ratio = median of the per-pair ratios of wall time (CPU ratio: of user + system"
echo "time, where both take 20 ms or more); MB = peak resident memory (MiB)."
echo
echo "| case | glyphs | floor ms | fontbin ms | time ratio | CPU ratio | target | floor MB | fontbin MB | memory ratio | lv_font_conv ms | lv_font_conv MB | lv_font_conv / fontbin | targets |"
echo "|---|---:|---:|---:|---:|---:|---|---:|---:|---:|---:|---:|---:|---|"
printf '%s\n' "${rows[@]}"
exit $status
