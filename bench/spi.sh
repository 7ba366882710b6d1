#!/usr/bin/env bash
# A font in SPI NOR flash: the read commands and bytes per glyph found and drawn, and the memory
# the reader needs, for the GB2312 set (wqy-microhei, fontSize 16, 1 bpp; the 7,540 characters of
# examples/quickstart) in the fixed layout (glyph table) and the compact one. The reader is built
# with FB_READ_CALLBACK and reads each file through a simulated flash (bench/spi.c).
#
#   bench/spi.sh
#
#   BUILD_DIR  build with bin/fontbin (default: build)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}
[ -x "$build/bin/fontbin" ] || { echo "spi.sh: build first ($build)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gcc -std=c99 -O2 -DFB_READ_CALLBACK -I"$root/reader" "$root"/reader/*.c "$root/bench/spi.c" -o "$work/spi"
source "$root/bench/gb2312_files.sh"
gb2312_files "$work" "$build" "$root" || exit 2
for layout in fixed compact; do
  "$work/spi" "$(ls "$work/$layout"/*_{font,compact}.bin 2>/dev/null)"
  echo
done
