#!/usr/bin/env bash
# The batch loop of the zip's README, run as written by cmd.exe under Wine, with the tool, the
# script and the configurations in folders whose names hold spaces: every configuration is
# converted, and a failing one stops the loop with the status named. Only the two paths of the
# README's example are replaced. Wine's powershell.exe is a stub that runs nothing, so the
# PowerShell loop cannot be run here.
# Usage: test_windows_loops.sh WINE_WRAPPER BIN_DIR SOURCE_DIR FONT
set -euo pipefail
wine=$1
bin=$2
source=$3
font=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
windows() { local p=${1//\//\\}; echo "Z:$p"; }  # Wine's drive Z: is the root

tool="$work/my tools (x86)/fontbin"
mkdir -p "$tool/font" "$work/my fonts" "$work/my scripts"
cp "$bin/fontbin.exe" "$tool/"
cp "$font" "$tool/font/"
for size in 12 16; do
  cat >"$work/my fonts/ui $size.json" <<JSON
{"customerVals": [{"firstVal": "0x41", "range": "3"}],
 "fontSet": {"font": "$(basename "$font")", "fontSize": $size}}
JSON
done

# The loop as the README gives it, with its two paths pointed at the folders above.
batch="$work/my scripts/convert-all.bat"
sed -n '/^```bat$/,/^```$/p' "$source/docs/windows-zip/README.md" | sed '1d;$d' |
  sed "s|C:\\\\tools\\\\fontbin-[^\\\\]*\\\\fontbin.exe|$(windows "$tool/fontbin.exe" | sed 's/\\/\\\\/g')|;
       s|C:\\\\work\\\\my fonts|$(windows "$work/my fonts" | sed 's/\\/\\\\/g')|" |
  sed 's/$/\r/' >"$batch"
grep -qF "$(windows "$work/my fonts")" "$batch" || { echo "the README's loop no longer names C:\\work\\my fonts"; exit 1; }
grep -qF "$(windows "$tool")" "$batch" || { echo "the README's loop no longer names the tool's path"; exit 1; }

run() { (cd "$work/my scripts" && "$wine" cmd /c convert-all.bat </dev/null >"$work/out" 2>&1); }
status=0
run || status=$?
[ "$status" = 0 ] || { echo "the loop failed with status $status:"; cat "$work/out"; exit 1; }
for size in 12 16; do
  test -f "$work/my fonts/$(basename "${font%.*}")_size${size}_bits1_font.bin" ||
    { echo "no outputs for ui $size.json:"; cat "$work/out"; exit 1; }
done

# A configuration naming a missing font: the loop stops with fontbin's status, -4.
echo '{"fontSet": {"font": "missing.ttf"}}' >"$work/my fonts/bad font.json"
status=0
run || status=$?
[ "$status" = 1 ] || { echo "the loop ended with $status, not 1:"; cat "$work/out"; exit 1; }
grep -qF "fontbin failed on \"$(windows "$work/my fonts/bad font.json")\" with status -4" "$work/out" ||
  { echo "the failure is not reported as the README says:"; cat "$work/out"; exit 1; }
echo "the README's batch loop converts configurations in folders with spaces and stops at a failure"
