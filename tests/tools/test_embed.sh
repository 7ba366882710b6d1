#!/usr/bin/env bash
# Usage: test_embed.sh BIN_DIR SOURCE_DIR C_COMPILER CXX_COMPILER
set -euo pipefail
bin=$1 source=$2 cc=$3 cxx=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
cd "$work"

cat >FontConfig.json <<'JSON'
{ "customerVals": [ { "firstVal": "0x20", "range": "95" } ],
  "fontSet": { "font": "DejaVuSans.ttf", "fontSize": 16, "renderMode": 2, "crop": 1,
              "advances": true } }
JSON
"$bin/fontbin" "$work/FontConfig.json" >/dev/null
font=DejaVuSans_size16_bits2_font.bin

# Default symbol from the file name; the header describes the font.
"$bin/fontbin-embed" $font gen/a 2>err && test ! -s err || fail "embed: $(cat err)"
grep -q 'extern const uint8_t DejaVuSans_size16_bits2_font\[' gen/a.h || fail "default symbol"
cp $font 字体_font.bin
"$bin/fontbin-embed" 字体_font.bin gen/cjk && grep -q 'extern const uint8_t u5b57u4f53_font\[' gen/cjk.h ||
  fail "default symbol of 字体_font.bin: $(grep extern gen/cjk.h)"
grep -q '"DejaVuSans", fontSize 16 px, 2 bits per pixel' gen/a.h || fail "font line"
grep -q 'glyphs   94 glyph records, U+0021 to U+007E' gen/a.h || fail "glyph line: $(grep glyphs gen/a.h)"
# The advance widths beside the font file come along as a second array.
grep -q 'define DEJAVUSANS_SIZE16_BITS2_FONT_HAS_ADVANCES 1' gen/a.h || fail "advances macro"
grep -q 'extern const uint8_t DejaVuSans_size16_bits2_font_adv\[' gen/a.h || fail "advances array"

# Deterministic: the same input gives the same bytes.
mkdir -p again && "$bin/fontbin-embed" $font again/a --symbol DejaVuSans_size16_bits2_font
cmp gen/a.c again/a.c && cmp gen/a.h again/a.h || fail "two runs differ"

# Compiles warning-free as C99 and as C++, and holds the file byte for byte.
cat >main.c <<'C'
#include <stdio.h>
#include <string.h>
#include "a.h"
#include "fontbin_reader.h"
int main(int argc, char** argv) {
    static unsigned char file[1 << 20];
    FILE* f = fopen(argv[argc - 1], "rb");
    size_t n = f ? fread(file, 1, sizeof file, f) : 0;
    fb_font font;
    fb_glyph g;
    if (f) fclose(f);
    if (n != DejaVuSans_size16_bits2_font_size || memcmp(file, DejaVuSans_size16_bits2_font, n))
        return 1;
    if (fb_open(DejaVuSans_size16_bits2_font, DejaVuSans_size16_bits2_font_size, &font) != FB_OK)
        return 2;
    if (fb_find_glyph(&font, 'A', &g) != FB_OK) return 3;
    {
        fb_advances adv;
        unsigned space = 0;
        if (fb_open_advances(DejaVuSans_size16_bits2_font_adv, DejaVuSans_size16_bits2_font_adv_size,
                             &font, &adv) != FB_OK)
            return 4;
        /* The space has no record in this layout, yet its width is there. */
        return fb_advance(&adv, &font, ' ', &space) == FB_OK && space > 0 ? 0 : 5;
    }
}
C
flags=(-Wall -Wextra -pedantic -Werror -Igen -I"$source/reader")
reader=("$source"/reader/fb_*.c)
"$cc" -std=c99 "${flags[@]}" main.c gen/a.c "${reader[@]}" -o c99 || fail "C99 build"
"$cxx" -x c++ -std=c++17 "${flags[@]}" main.c gen/a.c "${reader[@]}" -o cxx \
  || fail "C++ build"
./c99 $font || fail "C99 program: $?"
./cxx $font || fail "C++ program: $?"
# The section macro is honoured.
"$cc" -std=c99 "${flags[@]}" '-DFONTBIN_FONT_SECTION=__attribute__((section(".fontdata")))' \
  -c gen/a.c -o sect.o
objdump -h sect.o | grep -q '\.fontdata' || fail "section macro"

# Refused: a damaged file (with the reader's reason), a symbol that is no identifier. Nothing
# is written in either case.
head -c -1 $font >cut_font.bin
cp $font short_font.bin && head -c -1 DejaVuSans_size16_bits2_adv.bin >short_adv.bin
cp $font empty_font.bin && : >empty_adv.bin
cases=(
  "1|cut_font.bin|truncated file: file ends inside a glyph record"
  "1|short_font.bin|short_adv.bin: advance widths: truncated file"
  "1|empty_font.bin|empty_adv.bin: advance widths: truncated file"
  "2|$font --symbol 2fast|is not a C identifier"
  "2|$font --symbol int|is not a C identifier"
  "2|$font|give FILE.bin and OUT"
)
for c in "${cases[@]}"; do
  IFS='|' read -r status args reason <<<"$c"
  rm -rf bad
  set +e
  # shellcheck disable=SC2086
  "$bin/fontbin-embed" $args $([ "$status" = 2 ] && [ "$reason" = "give FILE.bin and OUT" ] || echo bad/x) 2>err
  got=$?
  set -e
  [ "$got" = "$status" ] || fail "$args: status $got"
  grep -q "$reason" err || fail "$args: $(cat err)"
  [ "$(wc -l <err)" = 1 ] || fail "$args: more than one line"
  test ! -e bad || fail "$args: wrote output"
done
# A compact file: its header comment names the layout and how to read it; no width array, as
# the file holds the widths; a file cut short is refused.
sed 's/"crop": 1,/"compact": true,/' FontConfig.json >compact.json
"$bin/fontbin" "$work/compact.json" >/dev/null 2>&1
"$bin/fontbin-embed" DejaVuSans_size16_bits2_compact.bin gen/c 2>err || fail "compact: $(cat err)"
grep -q 'layout   compact' gen/c.h || fail "compact layout line: $(grep layout gen/c.h)"
grep -q 'fb_decode_glyph' gen/c.h || fail "compact reading note"
! grep -q HAS_ADVANCES gen/c.h || fail "compact: advances array"
head -c -1 DejaVuSans_size16_bits2_compact.bin >cut_compact.bin
if "$bin/fontbin-embed" cut_compact.bin gen/d 2>err; then fail "cut compact file taken"; fi

# The dependency file names every font a run may open: the font, the font for empty cells
# beside the tool, and the fallback fonts.
sed 's/"advances": true/"fallbackFonts": ["DejaVuSansMono.ttf"]/' FontConfig.json >chain.json
"$bin/fontbin-embed" --inputs chain.json --tool-dir "$bin" --depfile chain.d --target t
for f in /DejaVuSans.ttf /DejaVuSansMono.ttf /font/unifont.ttf /chain.json; do
  grep -qF "$f" chain.d || fail "dependency file lacks $f: $(cat chain.d)"
done
echo "fontbin-embed ok"
