#!/usr/bin/env bash
# The compact reader on a microcontroller: builds reader/fontbin_reader.c with Debian's
# arm-none-eabi-gcc at -Os, error texts off and only the compact layout in (FB_ONLY_COMPACT,
# FB_NO_ERROR_TEXTS), links it into a program that opens a font, finds a glyph and decodes it,
# and prints the flash the reader's functions take there (text + read-only data) and the stack
# of the decoding call chain, for Cortex-M0+ and Cortex-M4. Fails when the Cortex-M0+ flash
# exceeds 3072 bytes or a decoding chain exceeds 512 bytes of stack, or the strict warnings fire.
# Exits 77 (a skipped test) without the compiler: apt-get install gcc-arm-none-eabi
# libnewlib-arm-none-eabi.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cc=${ARM_CC:-arm-none-eabi-gcc}
if ! command -v "$cc" >/dev/null || ! command -v arm-none-eabi-nm >/dev/null; then
  echo "skipped: $cc is not installed (apt-get install gcc-arm-none-eabi libnewlib-arm-none-eabi)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" # (so that nothing the compiler leaves lands elsewhere)
cat >"$work/main.c" <<'C'
#include "fontbin_reader.h"
/* Open, find and decode: the whole of what a firmware calls. */
extern const uint8_t font_file[];
extern const size_t font_file_size;
static void draw_row(void* user, unsigned y, const uint8_t* levels, unsigned width) {
    (void)user; (void)y; (void)levels; (void)width;
}
int main(void) {
    fb_font font;
    fb_glyph glyph;
    if (fb_open(font_file, font_file_size, &font) != FB_OK) return 1;
    if (fb_find_glyph(&font, 0x4E00, &glyph) != FB_OK) return 2;
    return (int)fb_decode_glyph_rows(&font, &glyph, draw_row, 0);
}
const uint8_t font_file[4] = {0};
const size_t font_file_size = sizeof font_file;
C
strict=(-std=c99 -Wall -Wextra -Werror -pedantic -Wconversion -Wsign-conversion -Wshadow
        -Wcast-align=strict -Wstrict-prototypes)
defs=(-DFB_ONLY_COMPACT -DFB_NO_ERROR_TEXTS)
status=0
for cpu in cortex-m0plus cortex-m4; do
  "$cc" "${strict[@]}" -Os -mcpu=$cpu -mthumb -ffunction-sections -fdata-sections -fstack-usage \
    "${defs[@]}" -c "$root/reader/fontbin_reader.c" -o "$work/reader.o"
  "$cc" -std=c99 -Os -mcpu=$cpu -mthumb -I"$root/reader" -c "$work/main.c" -o "$work/main.o"
  "$cc" -mcpu=$cpu -mthumb -specs=nosys.specs -nostartfiles -Wl,-e,main -Wl,--gc-sections \
    "$work/main.o" "$work/reader.o" -o "$work/$cpu.elf"
  # Every function and constant of the reader that the program keeps (the C library's memset
  # and memcpy, which a firmware has anyway, are not counted).
  flash=$(arm-none-eabi-nm -S "$work/$cpu.elf" | awk '
    $3 ~ /^[tTrR]$/ && $4 !~ /^(main|draw_row|font_file|font_file_size|memset|memcpy|memcmp)$/ {
      sum += strtonum("0x" $2) } END { print sum + 0 }' 2>/dev/null ||
    arm-none-eabi-nm -S "$work/$cpu.elf" | python3 -c '
import sys
print(sum(int(p[1], 16) for p in (l.split() for l in sys.stdin)
          if len(p) == 4 and p[2] in "tTrR" and p[3] not in
          ("main", "draw_row", "font_file", "font_file_size", "memset", "memcpy", "memcmp")))')
  # The decoding chain: fb_decode_glyph_rows, the loop it calls, the coder's refill.
  su=$(find "$work" -name '*.su' | head -n 1)
  stack=$(awk -F'\t' '{ split($1, a, ":"); f = a[length(a)]; s[f] = $2 }
    END { t = s["fb_decode_glyph_rows"] + s["rows_general"] + s["coder_fill"] + s["coder_start"];
          print t }' "$su")
  echo "$cpu: open + find + decode take $flash bytes of flash; decoding takes $stack bytes of stack"
  if [ "$cpu" = cortex-m0plus ] && [ "$flash" -gt 3072 ]; then
    echo "FAIL: more than 3072 bytes of flash on Cortex-M0+"; status=1
  fi
  if [ "$stack" -gt 512 ]; then echo "FAIL: more than 512 bytes of stack on $cpu"; status=1; fi
  rm -f "$su"
done
exit $status
