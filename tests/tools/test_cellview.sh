#!/usr/bin/env bash
# Usage: test_cellview.sh BIN_DIR
# fontbin-cellview's command line: every way of naming a character draws the same cell; numbers
# are digits only, so a sign or a second prefix is refused with status 2.
set -euo pipefail
bin=$1
font=$bin/font/unifont.ttf
fail() { echo "FAILED: $*"; exit 1; }

want=$("$bin/fontbin-cellview" "$font" U+4E2D --size 12 --bits 2) || fail "U+4E2D: $?"
head -1 <<<"$want" | grep -q '^U+4E2D size 12, bits 2' || fail "first line: $(head -1 <<<"$want")"
for code in u+4e2d 0x4E2D 20013 $'\xe4\xb8\xad'; do
  got=$("$bin/fontbin-cellview" "$font" "$code" --size 12 --bits 2) || fail "$code: $?"
  [ "$got" = "$want" ] || fail "$code draws another cell"
done

for args in "U+0x41" "+65" "-65" "U+" "U+110000" "0x10000" "65536" "AB" \
            "A --size +12" "A --size 256" "A --bits 3" "A --face -1"; do
  status=0
  # shellcheck disable=SC2086
  "$bin/fontbin-cellview" "$font" $args >/dev/null 2>&1 || status=$?
  [ $status = 2 ] || fail "\"$args\": status $status, not 2"
done
echo "cellview: command line ok"
