#!/usr/bin/env bash
# Sets up and builds fontbin, then runs it on CONFIG (default: the quick-start example). After a
# successful run it draws the first 256 glyphs of the new font file into <stem>_sheet.png next
# to it, when fontbin-inspect has been built.
# Usage: scripts/run.sh [CONFIG]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

config=${1:-$FONTBIN_ROOT/examples/quickstart/FontConfig.json}
config_dir=$(cd "$(dirname "$config")" && pwd)
# FONTBIN_BIN: another build's bin/ folder (the tests use their own).
bin=${FONTBIN_BIN:-$FONTBIN_ROOT/build/bin}
# Mapping and cst paths in a configuration, and setting.ini, are looked up in the working
# directory; run where the configuration lies so an example's own files are found.
cd "$config_dir"

# The outputs of this run are the files whose identity changed: fontbin writes each output under
# a temporary name and renames it into place, so a file it wrote has a new inode. (Comparing
# modification times with a marker file misses files written within the same clock tick.)
outputs_state() {
  find "$config_dir" -maxdepth 1 \( -name '*_font.bin' -o -name '*_compact.bin' -o -name '*_out.cst' -o -name '*_strings.bin' \) \
    -printf '%i\t%T@\t%f\n' | sort
}
before=$(outputs_state)
status=0
"$bin/fontbin" "$config_dir/$(basename "$config")" || status=$?
[ "$status" -eq 0 ] || exit "$status"

written=$(comm -13 <(echo "$before") <(outputs_state) | cut -f3 | sort)
font_file=$(grep -E '_(font|compact)\.bin$' <<<"$written" | head -n 1 || true)
[ -z "$font_file" ] || font_file=$config_dir/$font_file
echo
echo "Output written to $config_dir:"
while read -r name; do
  [ -n "$name" ] && echo "  $name  ($(stat -c %s "$config_dir/$name") bytes)"
done <<<"$written"

# The glyph sheet: the code points of the first 256 glyphs are the first 256 entries of the
# list file (16-bit little-endian each).
[ -n "$font_file" ] && [ -x "$bin/fontbin-inspect" ] || exit 0
stem=${font_file%_font.bin}
stem=${stem%_compact.bin}
list_file=${stem}_out.cst
glyphs=$(($(stat -c %s "$list_file") / 2))
[ "$glyphs" -gt 0 ] || exit 0
shown=$((glyphs < 256 ? glyphs : 256))
last=$(od -An -tu1 -j $((2 * (shown - 1))) -N 2 "$list_file" | awk '{ printf "%04X", $1 + 256 * $2 }')
# The file does not record a rotation; pass the one setting.ini asked for.
inspect_args=()
if [ -f setting.ini ]; then
  rotate=$(sed -n 's/^[[:blank:]]*rotate[[:blank:]]*=[[:blank:]]*\([0-9]*\).*/\1/p' setting.ini | tail -n 1)
  case $rotate in 1 | 2) inspect_args=(--rotate "$rotate") ;; esac
fi
if "$bin/fontbin-inspect" "$font_file" "${inspect_args[@]}" --sheet "${stem}_sheet.png" \
  --range "U+0000-U+$last" >/dev/null; then
  echo "Glyph sheet of the first $shown glyphs: ${stem}_sheet.png"
fi
