#!/usr/bin/env bash
# Two runs started together in one folder, writing outputs of the same name with different
# selections, never leave a mixed set: after each pair the list file and the font file are both
# those of one run, and no temporary or lock file is left.
# Usage: test_concurrent.sh FONTBIN FONT PAIRS [WINE_WRAPPER]   (FONT an installed font, by name)
set -euo pipefail
fontbin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
font=$2
pairs=$3
wine=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
for run in a:0x41:26 b:0x30:10; do
  IFS=: read -r name first range <<<"$run"
  cat >"$name.json" <<JSON
{"customerVals": [{"firstVal": "$first", "range": "$range"}],
 "fontSet": {"font": "$(basename "$font")", "fontSize": 16, "crop": 1, "advances": true}}
JSON
done
base=$(basename "$font"); base=${base%%.*}_size16_bits1
set_of() { cat "${base}_out.cst" "${base}_font.bin" "${base}_adv.bin" | md5sum; }
for name in a b; do
  $wine "$fontbin" "$name.json" >/dev/null 2>&1
  eval "set_$name=\$(set_of)"
done
failures=0
for i in $(seq "$pairs"); do
  $wine "$fontbin" a.json >/dev/null 2>a.err & pa=$!
  $wine "$fontbin" b.json >/dev/null 2>b.err & pb=$!
  wait $pa || { echo "pair $i: a failed: $(cat a.err)"; failures=$((failures + 1)); }
  wait $pb || { echo "pair $i: b failed: $(cat b.err)"; failures=$((failures + 1)); }
  now=$(set_of)
  if [ "$now" != "$set_a" ] && [ "$now" != "$set_b" ]; then
    echo "pair $i: a mixed set"
    failures=$((failures + 1))
  fi
  left=$(ls -A | grep '^\.fontbin-' || true)
  [ -z "$left" ] || { echo "pair $i: left behind: $left"; failures=$((failures + 1)); }
done
echo "$pairs concurrent pairs: $failures failure(s)"
[ "$failures" -eq 0 ]
