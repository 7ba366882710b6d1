#!/usr/bin/env bash
# The text API's cost per glyph: fb_text_draw over every glyph of the GB2312 set (wqy-microhei,
# fontSize 16, 1 bpp; the 7,540 characters of examples/quickstart), from the fixed layout (glyph
# table) and the compact layout, instructions counted by callgrind with the reader built at -O2.
#
#   bench/text_draw.sh [--ref REV] [--m4 [--decode FILE]...]
#
# Each glyph is drawn by its own fb_text_draw call through the pixel callback (the figure the
# targets name: fixed <= 5,000, compact <= 6,000 instructions), then through the run and the page
# callback, as one word-wrapped text, and with a glyph cache: filling it, and drawn from it.
# --ref REV also builds the reader of git revision REV and checks that every mode both readers
# have draws the same pixels (a checksum over them). --m4 counts instead the pixel mode on an
# emulated Cortex-M4 and Cortex-M0+ (arm-none-eabi-gcc -Os, QEMU's mps2-an386 board, the
# instruction-counting plugin of ../shared/tools/qemu-insncount, or QEMU_INSNCOUNT=its folder),
# with --ref beside it, and then a firmware's own drawing: every glyph found and decoded
# (fb_find_glyph + fb_decode_glyph_rows, mode "decode") from the compact file and from each
# compact FILE given with --decode. M4_FLAGS adds compiler flags there (e.g. "-O2 -DFB_FAST_DECODE":
# the faster loops are never built at -Os).
#   BUILD_DIR  build with bin/fontbin (default: build)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}
ref=""
m4=0
decode_files=()
while [ $# -gt 0 ]; do
  case $1 in
    --ref) ref=$2; shift 2 ;;
    --m4) m4=1; shift ;;
    --decode) decode_files+=("$(realpath "$2")"); shift 2 ;;
    *) echo "usage: $0 [--ref REV] [--m4 [--decode FILE]...]" >&2; exit 2 ;;
  esac
done
command -v valgrind >/dev/null || { echo "text_draw.sh: needs valgrind" >&2; exit 2; }
[ -x "$build/bin/fontbin" ] || { echo "text_draw.sh: build first ($build)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The two files: fixed records in a glyph table, and compact.
source "$root/bench/gb2312_files.sh"
gb2312_files "$work" "$build" "$root" || exit 2
fixed=$(ls "$work"/fixed/*_font.bin)
compact=$(ls "$work"/compact/*_compact.bin)

# build SRC OUT: the harness against the reader sources in SRC, at -O2.
build_harness() {
  gcc -std=c99 -O2 -g -I"$1" "$1"/*.c "$root/bench/text_draw.c" -o "$2"
}
build_harness "$root/reader" "$work/text_draw.new"
new=$work/text_draw.new
if [ -n "$ref" ]; then
  mkdir -p "$work/ref"
  git -C "$root" archive "$ref" reader | tar -x -C "$work/ref" --strip-components=1
  build_harness "$work/ref" "$work/text_draw.ref"
fi

# m4_count SRC FILE CPU [MODE]: instructions per glyph between the harness's two marks, built -Os
# for CPU (an Armv6-M build runs as it is on the Cortex-M4 board); the checksum line in $work/line.
m4_count() {
  local elf=$work/m4.elf dev=$root/examples/firmware-cmake/device
  printf '  .section .rodata.font_file, "a"\n  .global font_file, font_file_end\n  .balign 4\nfont_file:\n  .incbin "%s"\nfont_file_end:\n' \
    "$2" >"$work/font.S"
  arm-none-eabi-gcc -std=c99 -Os -mcpu="$3" -mthumb -ffunction-sections -fdata-sections \
    -DTEXT_DRAW_EMBEDDED -DTEXT_DRAW_MODE="\"${4:-pixel}\"" ${M4_FLAGS:-} -I"$1" "$1"/*.c "$root/bench/text_draw.c" \
    "$dev/startup.c" "$work/font.S" -T"$dev/mps2-an386.ld" -nostartfiles --specs=rdimon.specs \
    -Wl,--gc-sections -o "$elf" 2>/dev/null
  local mark
  mark=$(arm-none-eabi-nm "$elf" | awk '$3 == "mark" { print "0x" $1 }')
  timeout 600 qemu-system-arm -M mps2-an386 -nographic -monitor none -serial none \
    -semihosting-config enable=on,target=native -kernel "$elf" \
    -plugin "$work/libinsncount.so,mark=$mark,out=$work/counts" >"$work/line"
  awk -v n="$(grep -o '^[0-9]*' "$work/line")" '/^mark/ { m[k++] = $2 } END { printf "%.0f", (m[1] - m[0]) / n }' \
    "$work/counts"
}

if [ "$m4" = 1 ]; then
  # (The shared folder lies beside the main checkout, and beside a worktree's parent.)
  plugin=${QEMU_INSNCOUNT:-}
  for d in "$root/../shared/tools/qemu-insncount" "$root/../../shared/tools/qemu-insncount"; do
    [ -z "$plugin" ] && [ -f "$d/insncount.c" ] && plugin=$d
  done
  [ -f "$plugin/insncount.c" ] || { echo "text_draw.sh: set QEMU_INSNCOUNT to the plugin's folder" >&2; exit 2; }
  gcc -shared -fPIC -O2 "$plugin/insncount.c" -o "$work/libinsncount.so"
  echo "| file | core | instructions per glyph (-Os${M4_FLAGS:+ $M4_FLAGS}) |${ref:+ $ref | same pixels |}"
  echo "|---|---|---:|${ref:+---:|---|}"
  status=0
  # m4_row NAME FILE CPU MODE: a row of the table, with the reference beside it.
  m4_row() {
    local row="| $1 | $3 | $(m4_count "$root/reader" "$2" "$3" "$4") |" sum same
    if [ -n "$ref" ]; then
      sum=$(cat "$work/line")
      row+=" $(m4_count "$work/ref" "$2" "$3" "$4") |"
      same=yes; [ "$sum" = "$(cat "$work/line")" ] || { same=no; status=1; }
      row+=" $same |"
    fi
    echo "$row"
  }
  for file in "$fixed" "$compact"; do
    name=fixed; [ "$file" = "$compact" ] && name=compact
    for cpu in cortex-m4 cortex-m0plus; do m4_row "$name 16/1" "$file" $cpu pixel; done
  done
  for file in "$compact" "${decode_files[@]}"; do
    name="find + decode $(basename "$(dirname "$file")")/$(basename "$file")"
    [ "$file" = "$compact" ] && name="find + decode, compact 16/1"
    for cpu in cortex-m4 cortex-m0plus; do m4_row "$name" "$file" $cpu decode; done
  done
  exit $status
fi

# count BINARY FILE MODE: instructions inside fb_text_draw; leaves the checksum line in
# $work/line.
count() {
  local out=$work/cg.out
  valgrind --tool=callgrind --callgrind-out-file="$out" "$@" >"$work/line" 2>/dev/null || return 1
  # Calls of fb_find_glyph from the text API (the harness walks the glyphs with fb_next_glyph).
  awk '/^c?fn=\(/ { id = $1; sub(/^c?fn=/, "", id); sub(/\).*/, ")", id); if (NF > 1) name[id] = $2 }
       /^fn=/ { caller = id }
       /^cfn=/ { cur = $1; sub(/^cfn=/, "", cur); sub(/\).*/, ")", cur) }
       /^calls=/ { n = $1; sub(/^calls=/, "", n)
                   if (name[cur] == "fb_find_glyph" && name[caller] !~ /^(fb_next_glyph|main)$/) total += n }
       END { print total + 0 }' "$out" >"$work/lookups"
  callgrind_annotate --inclusive=yes "$out" 2>/dev/null |
    awk '/fontbin_text(_lines)?\.c:fb_text_draw / && !n { gsub(",", "", $1); n = $1 } END { print n }'
}

echo "| file | callback | instructions/glyph | lookups/glyph |${ref:+ $ref | lookups | same pixels |}"
echo "|---|---|---:|---:|${ref:+---:|---:|---|}"
status=0
pixel_sum=""
for file in "$fixed" "$compact"; do
  name=fixed; [ "$file" = "$compact" ] && name=compact
  fill=0
  for mode in pixel run page wrapped fill cached; do
    total=$(count "$new" "$file" "$mode") || { echo "text_draw.sh: $mode failed on $name" >&2; exit 1; }
    glyphs=$(grep -o '^[0-9]*' "$work/line")
    sum=$(sed 's/.*checksum //' "$work/line")
    # Every mode draws the pixel mode's pixels (at 1 bpp the page bits are the same), the cached
    # mode each twice.
    [ "$mode" = pixel ] && pixel_sum=$sum
    want=$pixel_sum
    [ "$mode" = cached ] && want=$(printf '%016x' $((0x$pixel_sum * 2)))
    if [ "$mode" != wrapped ] && [ "$sum" != "$want" ]; then
      echo "text_draw.sh: $name, $mode: other pixels than the pixel callback's" >&2
      status=1
    fi
    label=$mode
    case $mode in
      fill) fill=$total; label="pixel, filling a glyph cache" ;;
      cached) total=$((total - fill)); label="pixel, from the glyph cache" ;;
      wrapped) label="pixel, one text wrapped at 320 px" ;;
    esac
    looks=$(awk -v n="$(cat "$work/lookups")" -v g="$glyphs" 'BEGIN { printf "%.2f", n / g }')
    row="| $name 16/1 | $label | $((total / glyphs)) | $looks |"
    if [ -n "$ref" ]; then
      if rtotal=$(count "$work/text_draw.ref" "$file" "$mode"); then
        rsum=$(sed 's/.*checksum //' "$work/line")
        same=yes
        if [ "$rsum" != "$sum" ]; then
          same=no
          # Word wrapping follows new rules: other breaks, other pixels.
          [ "$mode" = wrapped ] && same="no (new break rules)" || status=1
        fi
        rlooks=$(awk -v n="$(cat "$work/lookups")" -v g="$glyphs" 'BEGIN { printf "%.2f", n / g }')
        row+=" $((rtotal / glyphs)) | $rlooks | $same |"
      else
        row+=" - | - | - |"
      fi
    fi
    echo "$row"
  done
done
exit $status
