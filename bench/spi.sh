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
for layout in fixed compact; do
  mkdir -p "$work/$layout"
  cp "$root/examples/quickstart/gb2312.txt" "$work/$layout/"
  extra='"indexMethod": 0, "crop": 0'
  [ "$layout" = compact ] && extra='"compact": true'
  cat >"$work/$layout/FontConfig.json" <<JSON
{ "mappingPaths": ["gb2312.txt"], "customerVals": [ {"firstVal": "0x20", "range": "95"} ],
  "fontSet": { "font": "wqy-microhei.ttc", "fontSize": 16, "scanMode": "H", "bold": 0,
               "italic": 0, "renderMode": 1, $extra } }
JSON
  (cd "$work/$layout" && "$build/bin/fontbin" FontConfig.json >/dev/null) ||
    { echo "spi.sh: fontbin failed ($layout)" >&2; exit 2; }
  "$work/spi" "$(ls "$work/$layout"/*_{font,compact}.bin 2>/dev/null)"
  echo
done
