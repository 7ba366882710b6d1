#!/usr/bin/env bash
# Usage: test_firmware_strings.sh BUILD_DIR SOURCE_DIR
# Installs fontbin into a temporary prefix, cross-builds tests/package/firmware-strings against it
# for Cortex-M4 (arm-none-eabi-gcc, -Os, the strict warnings as errors; examples/firmware-cmake's
# toolchain file and board support), runs the image on QEMU's mps2-an386 board with
# semihosting, and compares the framebuffer it prints, a string of each script drawn through
# fontbin_strings.c, with fontbin-inspect --strings pixel for pixel. Exits 77 (skipped) without the
# compiler, newlib or QEMU, which scripts/setup.sh installs.
set -euo pipefail
build=$1 source=$2
source "$(dirname "${BASH_SOURCE[0]}")/cross_setup.sh"
board=$source/examples/firmware-cmake
src=$work/src bld=$work/build
cp -r "$source/tests/package/firmware-strings" "$src"
{ cmake -S "$src" -B "$bld" -DCMAKE_TOOLCHAIN_FILE="$board/arm-none-eabi.cmake" -DFIRMWARE_CPU=cortex-m4 \
    -DDEVICE_DIR="$board/device" -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_PREFIX_PATH="$prefix" &&
  cmake --build "$bld"; } >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "cross build"; }
echo "cortex-m4: $(arm-none-eabi-size "$bld/firmware.elf" | awk 'NR == 2 { print $1 + $2 }') bytes of flash"

timeout 120 qemu-system-arm -M mps2-an386 -nographic -monitor none -serial none \
  -semihosting-config enable=on,target=native -kernel "$bld/firmware.elf" \
  >"$work/firmware.txt" || fail "the image failed on QEMU (status $?)"
font=$(ls "$bld"/fontbin/ui_font/*_compact.bin)
# The strings files are found from the working directory, as fontbin_add_font ran fontbin there.
(cd "$src/fonts" && "$prefix/bin/fontbin-inspect" "$font" --strings "$work/sheet.png" --scale 1) \
  >"$work/inspect.txt" || { cat "$work/inspect.txt"; fail "fontbin-inspect --strings"; }
grep -q "each beside its reference drawing" "$work/inspect.txt" || fail "no reference drawings: $(cat "$work/inspect.txt")"

# The sheet's first column, as the firmware prints it: '.' for level 0, else the level in hex.
python3 - "$work/sheet.png" "$(head -n 1 "$work/firmware.txt" | tr -d '\n' | wc -c)" >"$work/preview.txt" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
width, at, chunks = int(sys.argv[2]), 8, b""
while at < len(data):
    size, kind = struct.unpack(">I4s", data[at:at + 8])
    body = data[at + 8:at + 8 + size]
    if kind == b"IHDR":
        w, h, depth, colour = struct.unpack(">IIBB", body[:10])
    elif kind == b"IDAT":
        chunks += body
    at += 12 + size
assert depth == 8 and colour in (0, 2), (depth, colour)
step = 1 if colour == 0 else 3
raw, stride, prev, out = zlib.decompress(chunks), w * step, bytearray(w * step), []
for y in range(h):
    kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for x in range(stride):
        a = line[x - step] if x >= step else 0
        b, c = prev[x], prev[x - step] if x >= step else 0
        p = a + b - c
        guess = a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c
        line[x] = (line[x] + [0, a, b, (a + b) // 2, guess][kind]) & 255
    prev = line
    levels = [((255 - line[x * step]) * 15 + 127) // 255 for x in range(min(w, width))]
    out.append("".join("." if v == 0 else "0123456789abcdef"[v] for v in levels))
assert w == 2 * width, (w, width)
print("\n".join(out))
PY
cmp -s "$work/preview.txt" "$work/firmware.txt" || {
  diff "$work/preview.txt" "$work/firmware.txt" | head -40; fail "the framebuffer differs from the preview"; }
[ "$(grep -o '[1-9a-f]' "$work/firmware.txt" | wc -l)" -gt 2000 ] || fail "too little ink"
echo "the M4 image on QEMU draws $(wc -l <"$work/firmware.txt") rows of strings as fontbin-inspect does"
