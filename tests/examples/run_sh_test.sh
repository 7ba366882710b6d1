#!/usr/bin/env bash
# scripts/run.sh lists exactly the files its run wrote, even when their times say otherwise (a
# file rewritten within the clock tick of the run's start looks no newer than files from
# before). A stand-in tool writes its outputs as fontbin does, through a rename, with old times.
# Usage: run_sh_test.sh SOURCE_DIR
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/project"
cat >"$work/bin/fontbin" <<'TOOL'
#!/bin/sh
dir=$(dirname "$1")
for name in a_size8_bits1_font.bin a_size8_bits1_out.cst; do
  printf 'xy' >"$dir/tmp" && touch -d '2000-01-01' "$dir/tmp" && mv "$dir/tmp" "$dir/$name"
done
TOOL
chmod +x "$work/bin/fontbin"
echo '{}' >"$work/project/FontConfig.json"
: >"$work/project/other_size8_bits1_font.bin" # another run's output: not listed
for run in 1 2; do
  out=$(FONTBIN_SETUP_NO_BUILD=1 FONTBIN_BIN="$work/bin" "$1/scripts/run.sh" \
    "$work/project/FontConfig.json")
  [ "$(grep '^  ' <<<"$out")" = "  a_size8_bits1_font.bin  (2 bytes)
  a_size8_bits1_out.cst  (2 bytes)" ] || { echo "run $run: $out"; exit 1; }
done
