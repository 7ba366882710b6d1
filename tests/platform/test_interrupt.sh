#!/usr/bin/env bash
# An interrupted run leaves no temporary behind and ends with a failure status: fontbin is
# stopped while its outputs are being written, once for each signal, and the folder must then
# hold nothing but the configuration.
# A run killed outright (SIGKILL) cannot clean up: the next run in that folder, of any name,
# removes what it left, and leaves nothing of its own.
# Usage: test_interrupt.sh FONTBIN FONT [WINE_WRAPPER]   (FONT an installed font, found by name)
# Under Wine the signal becomes Windows' Ctrl+C, and the status is STATUS_CONTROL_C_EXIT's low
# byte (0x3A).
set -euo pipefail
fontbin=$1
font=$2
wine=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -n "$wine" ]; then
  cases="INT:58"
else
  cases="INT:130 TERM:143 HUP:129 KILL:137"
fi
failures=0
for case in $cases; do
  signal=${case%%:*}
  want=${case#*:}
  dir="$work/$signal 中文"
  mkdir -p "$dir"
  # Large cells over the whole BMP: long enough to be caught while writing.
  cat >"$dir/FontConfig.json" <<JSON
{"customerVals": [{"firstVal": "0x0", "range": "65536"}],
 "fontSet": {"font": "$(basename "$font")", "fontSize": 96, "renderMode": 8}}
JSON
  (cd "$dir" && exec $wine "$fontbin" FontConfig.json >/dev/null 2>&1) &
  pid=$!
  for _ in $(seq 600); do
    compgen -G "$dir/.fontbin-*.tmp" >/dev/null && break
    sleep 0.05
  done
  compgen -G "$dir/.fontbin-*.tmp" >/dev/null || { echo "$signal: no temporary appeared"; failures=$((failures + 1)); }
  sleep 0.3
  kill -s "$signal" "$pid"
  status=0
  wait "$pid" || status=$?
  if [ "$signal" = KILL ]; then
    # The next run, of another name, clears what the killed one left.
    cat >"$dir/next.json" <<JSON
{"customerVals": [{"firstVal": "0x41", "range": "3"}], "fontSet": {"font": "$(basename "$font")"}}
JSON
    (cd "$dir" && $wine "$fontbin" next.json >/dev/null 2>&1) || echo "SIGKILL: the next run failed"
    rm -f "$dir/next.json" "$dir"/*_size32_bits1_*
  fi
  left=$(cd "$dir" && ls -A | grep -vx FontConfig.json || true)
  if [ "$status" != "$want" ] || [ -n "$left" ]; then
    echo "SIG$signal: status $status (want $want), left behind: ${left:-nothing}"
    failures=$((failures + 1))
  fi
done
echo "interrupted runs: $failures failure(s)"
[ "$failures" -eq 0 ]
