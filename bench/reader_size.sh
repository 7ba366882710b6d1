#!/usr/bin/env bash
# The compact reader on a microcontroller: builds the reader's files (reader/fb_*.c) with Debian's
# arm-none-eabi-gcc at -Os, error texts off and only the compact layout in (FB_ONLY_COMPACT,
# FB_NO_ERROR_TEXTS), links it into a program that opens a font, finds a glyph and decodes it,
# and prints the flash the reader's functions take there (text + read-only data) and the stack
# of the decoding call chain, for Cortex-M0+ and Cortex-M4. Fails when the Cortex-M0+ flash
# exceeds 3,900 bytes (3,600 reading version 3 alone, FB_NO_COMPACT_V2; the aim is 3,072, see
# docs/performance.md) or a decoding chain exceeds 512 bytes of stack, or the strict warnings
# fire. It also prints what the checksums and reading the font by command (FB_READ_CALLBACK) add.
# Exits 77 (a skipped test) without the compiler: apt-get install gcc-arm-none-eabi
# libnewlib-arm-none-eabi.
#
# With --table [READER_DIR] (the reader's sources: reader/, or an installed package's) it prints
# instead, as a Markdown table, the flash and stack of each call a firmware makes, for both
# processors and each set of switches (see table below).
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
strict=(-std=c99 -Wall -Wextra -Werror -pedantic -Wconversion -Wsign-conversion -Wshadow
        -Wcast-align=strict -Wstrict-prototypes)

# The deepest stack below FUNCTION: its frame and its callees' (from -fcallgraph-info=su), the
# C library's counted as nothing. An indirect call is the caller's callback and counts nothing,
# except below the text API, where it is the text API's own row callback (CALLBACK) first.
stack_of() {  # stack_of FUNCTION CALLBACK CI-FILES...
  local fn=$1 cb=$2
  shift 2
  awk -v root="$fn" -v cb="$cb" '
    function title(line, key,   t) { t = line; sub(".*" key ": \"", "", t); sub(/".*/, "", t); return t }
    /^node:/ { t = title($0, "title"); if (match($0, /[0-9]+ bytes/)) own[t] = substr($0, RSTART, RLENGTH) + 0 }
    /^edge:/ { s = title($0, "sourcename"); n[s]++; to[s, n[s]] = title($0, "targetname") }
    function depth(f,   i, m, c) {
      if (f == "__indirect_call") { if (cbt == "" || busy[cbt]) return 0; f = cbt }
      if (f in memo) return memo[f]
      if (busy[f]) return 0
      busy[f] = 1; m = 0
      for (i = 1; i <= n[f]; ++i) { c = depth(to[f, i]); if (c > m) m = c }
      busy[f] = 0
      return memo[f] = own[f] + m
    }
    END { cbt = ""; for (t in own) if (cb != "" && t ~ (":" cb "$")) cbt = t; print depth(root) }' "$@"
}

# Flash and stack of open, find, pixel, decode and draw-text: each a program that makes that call
# (after fb_open), less one that makes none, as arm-none-eabi-size counts them.
table() {
  local dir=$1 cpu defs name op base flash
  local -a ops=(open find pixel decode text) roots=(fb_open fb_find_glyph fb_glyph_pixel
                fb_decode_glyph_rows fb_text_draw)
  cat >"$work/probe.c" <<'C'
#include "fontbin_text.h"
extern const uint8_t font_file[];
extern const size_t font_file_size;
const uint8_t font_file[4] = {0};
const size_t font_file_size = sizeof font_file;
static void draw_row(void* user, unsigned y, const uint8_t* levels, unsigned width) {
    (void)user, (void)y, (void)levels, (void)width;
}
static void put(void* user, int x, int y, unsigned level, unsigned max_level) {
    (void)user, (void)x, (void)y, (void)level, (void)max_level;
}
int main(void) {
    static fb_font font;
    fb_glyph glyph;
    fb_text text;
    int r = 0;
    if (OP == 0) return font_file[0];
    if (fb_open(font_file, font_file_size, &font) != FB_OK) return 1;
    if (OP >= 2 && OP <= 4) r = (int)fb_find_glyph(&font, 0x4E00, &glyph);
    if (OP == 3) r += (int)fb_glyph_pixel(&glyph, 1, 1);
    if (OP == 4) r += (int)fb_decode_glyph_rows(&font, &glyph, draw_row, 0);
    if (OP == 5 && fb_text_init(&text, &font, 0) == FB_OK) {
        text.pixel = put;
        fb_text_draw(&text, 0, 0, "Hello", FB_TEXT_NUL, 128, FB_WRAP_WORDS, 0);
    }
    return r;
}
C
  echo "| target | switches | open | + find | + pixel | + decode | draw text |"
  echo "|---|---|---:|---:|---:|---:|---:|"
  for cpu in cortex-m0plus cortex-m4; do
    for defs in "" "FB_NO_ERROR_TEXTS" "FB_NO_ERROR_TEXTS FB_ONLY_COMPACT" \
                "FB_NO_ERROR_TEXTS FB_NO_COMPACT FB_NO_TRIMMED FB_NO_ADVANCES"; do
      local -a d=()
      for name in $defs; do d+=("-D$name"); done
      local cflags=("${strict[@]}" -Os -mcpu=$cpu -mthumb -ffunction-sections -fdata-sections "${d[@]}")
      local objects=() src
      rm -f ./*.ci
      for src in "$dir"/*.c; do
        "$cc" "${cflags[@]}" -fcallgraph-info=su -c "$src" -o "$(basename "$src" .c).o"
        objects+=("$(basename "$src" .c).o")
      done
      local row="| ${cpu/cortex-m0plus/Cortex-M0+} | ${defs:-none} |"
      row=${row/cortex-m4/Cortex-M4}
      for op in 0 1 2 3 4 5; do
        "$cc" "${cflags[@]}" -DOP=$op -I"$dir" -c probe.c -o probe.o
        "$cc" -mcpu=$cpu -mthumb -specs=nosys.specs -nostartfiles -Wl,-e,main -Wl,--gc-sections \
          probe.o "${objects[@]}" -o probe.elf
        flash=$(arm-none-eabi-size probe.elf | awk 'NR == 2 { print $1 + $2 }')
        if [ $op = 0 ]; then base=$flash; continue; fi
        row+=" $((flash - base)) / $(stack_of "${roots[op - 1]}" "$([ $op = 5 ] && echo compact_row)" "${objects[@]/%.o/.ci}") |"
      done
      echo "$row"
    done
  done
}
if [ "${1:-}" = --table ]; then
  table "$(cd "${2:-$root/reader}" && pwd)"
  exit 0
fi
cat >"$work/main.c" <<'C'
#include "fontbin_reader.h"
/* Open, find and decode: the whole of what a firmware calls. */
extern const uint8_t font_file[];
extern const size_t font_file_size;
static void draw_row(void* user, unsigned y, const uint8_t* levels, unsigned width) {
    (void)user; (void)y; (void)levels; (void)width;
}
#ifdef FB_READ_CALLBACK /* the same font read by command, as from SPI flash */
static int read_file(void* user, uint32_t offset, uint8_t* dest, uint32_t length) {
    (void)user;
    while (length--) *dest++ = font_file[offset++];
    return 0;
}
#endif
int main(void) {
    fb_font font;
    fb_glyph glyph;
#ifdef FB_READ_CALLBACK
    static fb_flash flash;
    flash.read = read_file;
    if (fb_open_flash(&flash, (uint32_t)font_file_size, &font) != FB_OK) return 1;
#else
    if (fb_open(font_file, font_file_size, &font) != FB_OK) return 1;
#endif
    if (fb_find_glyph(&font, 0x4E00, &glyph) != FB_OK) return 2;
#ifdef VERIFY /* the checksums: once the whole file, then a glyph's block before drawing */
    if (fb_verify_font(&font, 0) != FB_OK || fb_verify_glyph(&font, &glyph) != FB_OK) return 3;
#endif
    return (int)fb_decode_glyph_rows(&font, &glyph, draw_row, 0);
}
const uint8_t font_file[4] = {0};
const size_t font_file_size = sizeof font_file;
C
defs=(-DFB_ONLY_COMPACT -DFB_NO_ERROR_TEXTS)
status=0
# reader_flash CPU [-D...]: the flash the reader's functions take in main.c built with the
# switches given (-DVERIFY in main.c also checks the checksums), leaving .su files in $work.
reader_flash() {
  local cpu=$1 src
  shift
  local objects=()
  for src in "$root"/reader/fb_*.c; do
    "$cc" "${strict[@]}" -Os -mcpu=$cpu -mthumb -ffunction-sections -fdata-sections -fstack-usage \
      "${defs[@]}" "$@" -c "$src" -o "$work/$(basename "$src" .c).o"
    objects+=("$work/$(basename "$src" .c).o")
  done
  "$cc" -std=c99 -Os -mcpu=$cpu -mthumb -I"$root/reader" "$@" -c "$work/main.c" -o "$work/main.o"
  "$cc" -mcpu=$cpu -mthumb -specs=nosys.specs -nostartfiles -Wl,-e,main -Wl,--gc-sections \
    "$work/main.o" "${objects[@]}" -o "$work/$cpu.elf"
  # Every function and constant of the reader that the program keeps (the C library's memset
  # and memcpy, which a firmware has anyway, are not counted).
  arm-none-eabi-nm -S "$work/$cpu.elf" | awk '
    $3 ~ /^[tTrR]$/ && $4 !~ /^(main|draw_row|read_file|font_file|font_file_size|memset|memcpy|memcmp)$/ {
      sum += strtonum("0x" $2) } END { print sum + 0 }' 2>/dev/null ||
    arm-none-eabi-nm -S "$work/$cpu.elf" | python3 -c '
import sys
print(sum(int(p[1], 16) for p in (l.split() for l in sys.stdin)
          if len(p) == 4 and p[2] in "tTrR" and p[3] not in
          ("main", "draw_row", "read_file", "font_file", "font_file_size", "memset", "memcpy",
           "memcmp")))'
}
for cpu in cortex-m0plus cortex-m4; do
  rm -f "$work"/*.su
  crc=$(reader_flash $cpu -DVERIFY)
  crc_table=$(reader_flash $cpu -DVERIFY -DFB_CRC_TABLE)
  by_command=$(reader_flash $cpu -DFB_READ_CALLBACK)
  rm -f "$work"/*.su
  v3only=$(reader_flash $cpu -DFB_NO_COMPACT_V2)
  flash=$(reader_flash $cpu)
  # The decoding chain: fb_decode_glyph_rows, the loop it calls, the coder's refill.
  stack=$(cat "$work"/*.su | awk -F'\t' '{ split($1, a, ":"); f = a[length(a)]; s[f] = $2 }
    END { t = s["fb_decode_glyph_rows"] + s["rows_general"] + s["coder_fill"] + s["fbi_coder_start"];
          print t }')
  echo "$cpu: open + find + decode take $flash bytes of flash; decoding takes $stack bytes of stack"
  echo "$cpu: reading version 3 alone (FB_NO_COMPACT_V2): $v3only bytes"
  echo "$cpu: checking the checksums (fb_verify_font, fb_verify_glyph) adds $((crc - flash))" \
    "bytes, $((crc_table - flash)) with FB_CRC_TABLE"
  echo "$cpu: reading the font by command instead (FB_READ_CALLBACK, fb_open_flash) adds" \
    "$((by_command - flash)) bytes"
  if [ "$cpu" = cortex-m0plus ] && { [ "$flash" -gt 3900 ] || [ "$v3only" -gt 3600 ]; }; then
    echo "FAIL: more than 3900 bytes of flash on Cortex-M0+, or 3600 for version 3 alone"; status=1
  fi
  if [ "$stack" -gt 512 ]; then echo "FAIL: more than 512 bytes of stack on $cpu"; status=1; fi
  rm -f "$work"/*.su
done
exit $status
