#!/usr/bin/env bash
# fontbin.exe under Wine against the Linux build on the quick start (GB2312 and ASCII, 16 px,
# 1 bit, wqy-microhei.ttc). Wine's own start-up, timed as `fontbin.exe --version`, is taken off
# the Windows time. Prints the medians and the ratio, and exits 1 when the ratio passes 1.3.
# Usage: bench/wine.sh [--runs N] LINUX_BUILD WINDOWS_BUILD
# (WINDOWS_BUILD is the folder scripts/build-windows.sh makes: its wine-run wrapper gives Wine
# the prefix that holds the fonts.)
set -euo pipefail
runs=7
if [ "${1:-}" = --runs ]; then
  runs=$2
  shift 2
fi
linux=$(realpath "$1")
windows=$(realpath "$2")
wine=$windows/wine-run
source=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$source/examples/quickstart/FontConfig.json" "$source/examples/quickstart/gb2312.txt" "$work/"

# Seconds of one run of the command, in the work folder.
seconds() {
  local start end
  start=$(date +%s.%N)
  (cd "$work" && "$@" >/dev/null 2>&1) || { echo "failed: $*" >&2; exit 1; }
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# One run each first: Wine starts its server, both read the font into the page cache, and the
# two builds must write the same bytes.
seconds "$wine" "$windows/bin/fontbin.exe" FontConfig.json >/dev/null
cp "$work/wqy-microhei_size16_bits1_font.bin" "$work/windows.bin"
seconds "$linux/bin/fontbin" FontConfig.json >/dev/null
cmp "$work/windows.bin" "$work/wqy-microhei_size16_bits1_font.bin" || { echo "the outputs differ" >&2; exit 1; }
: >"$work/linux" && : >"$work/wine" && : >"$work/start"
for _ in $(seq "$runs"); do
  seconds "$linux/bin/fontbin" FontConfig.json >>"$work/linux"
  seconds "$wine" "$windows/bin/fontbin.exe" FontConfig.json >>"$work/wine"
  seconds "$wine" "$windows/bin/fontbin.exe" --version >>"$work/start"
done
l=$(median <"$work/linux")
w=$(median <"$work/wine")
s=$(median <"$work/start")
ratio=$(echo "($w - $s) / $l" | bc -l)
printf '| Linux | Wine | Wine start-up | Wine less start-up / Linux |\n|---|---|---|---|\n'
printf '| %.3f s | %.3f s | %.3f s | %.2f |\n' "$l" "$w" "$s" "$ratio"
[ "$(echo "$ratio <= 1.3" | bc -l)" = 1 ] || { echo "over the target of 1.3" >&2; exit 1; }
