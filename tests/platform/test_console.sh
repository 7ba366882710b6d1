#!/usr/bin/env bash
# fontbin.exe on a console: Wine gives a program started on a terminal a real console (the
# terminal here is a pseudo-terminal from script(1)), so the tool writes through the console.
# A non-ASCII folder must show as it is, and the progress line must update and end in a summary.
# The console is the tool's own, as after a double-click: the window must then wait for a key
# after the result; in a console that cmd.exe shares, the tool must end at once.
# Usage: test_console.sh WINE_WRAPPER BIN_DIR FONT
set -euo pipefail
wine=$1
bin=$2
font=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dir="$work/配置 ü"
mkdir -p "$dir"
cat >"$dir/FontConfig.json" <<JSON
{"customerVals": [{"firstVal": "0x4E00", "range": "3000"}],
 "fontSet": {"font": "$(basename "$font")", "fontSize": 32, "renderMode": 8}}
JSON
# A private copy of the tool, with the font in its own font folder.
mkdir -p "$dir/tool/font"
cp "$bin/fontbin.exe" "$dir/tool/"
cp "$font" "$dir/tool/font/"
# A key a second, typed into the terminal until the tool has ended: keys pressed during the run
# are dropped, so only one after the result ends the wait.
keys() {
  trap '' PIPE
  while sleep 1; do printf x 2>/dev/null || return 0; done
}
out=$(cd "$dir" && keys | timeout 300 script -qec "'$wine' '$dir/tool/fontbin.exe' FontConfig.json" /dev/null)
fail=0
for want in "配置 ü" "/ 3000 glyphs" "_size32_bits8_font.bin: 3000 glyphs" \
  "Press any key to close this window."; do
  grep -qF "$want" <<<"$out" || { echo "missing on the console: $want"; fail=1; }
done
# Started from cmd.exe, which shares its console: no wait, and no key is typed.
exe="Z:${dir//\//\\}\\tool\\fontbin.exe"  # Wine's drive Z: is the root
out=$(cd "$dir" && timeout 120 script -qec "'$wine' cmd /c '$exe' '/?'" /dev/null </dev/null) ||
  { echo "fontbin.exe /? from cmd.exe did not end by itself"; fail=1; }
grep -qF "Usage: fontbin [CONFIG]" <<<"$out" || { echo "no usage from fontbin.exe /?"; fail=1; }
! grep -qF "Press any key" <<<"$out" || { echo "fontbin.exe waits for a key in cmd.exe's console"; fail=1; }
[ "$fail" = 0 ] || { printf '%s\n' "$out" | od -c | head -40; exit 1; }
echo "console output: UTF-8 folder name, progress line and summary; a key ends its own window"
