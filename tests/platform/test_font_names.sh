#!/usr/bin/env bash
# Fonts named by their family or full name, where no file has that name: the file found, the
# face of a collection that carries the name, and the outputs named after the file. A name that
# is a file is looked up as before. Under Wine the fonts are entered in the user's installed-font
# list of the registry, as Windows does for a font installed "for this user" (removed after).
# Usage: test_font_names.sh FONTBIN [WINE_WRAPPER]
set -euo pipefail
fontbin=$1
wine=${2:-}
work=$(mktemp -d)
key='HKCU\Software\Microsoft\Windows NT\CurrentVersion\Fonts'
entries=("WenQuanYi Micro Hei & WenQuanYi Micro Hei Mono (TrueType)=wqy-microhei.ttc"
  "Noto Sans CJK SC (TrueType)=NotoSansCJK-Regular.ttc")
cleanup() {
  if [ -n "$wine" ]; then
    for e in "${entries[@]}"; do "$wine" reg delete "$key" /v "${e%%=*}" /f >/dev/null 2>&1 || true; done
  fi
  rm -rf "$work"
}
trap cleanup EXIT
if [ -n "$wine" ]; then
  for e in "${entries[@]}"; do "$wine" reg add "$key" /v "${e%%=*}" /d "${e#*=}" /f >/dev/null; done
fi
# name | status | the font file written
cases=("Noto Sans CJK SC|0|NotoSansCJK-Regular_face2_size16_bits1_font.bin"
  "wenquanyi micro hei mono|0|wqy-microhei_face1_size16_bits1_font.bin"
  "DejaVuSans.ttf|0|DejaVuSans_size16_bits1_font.bin"
  "No Such Family|252|")
[ -n "$wine" ] || cases+=("文泉驿微米黑|0|wqy-microhei_size16_bits1_font.bin")
failures=0
for case in "${cases[@]}"; do
  IFS='|' read -r name want file <<<"$case"
  dir="$work/$name"
  mkdir -p "$dir"
  cat >"$dir/FontConfig.json" <<JSON
{"customerVals": [{"firstVal": "0x4E00", "range": "16"}],
 "fontSet": {"font": "$name", "fontSize": 16, "renderMode": 1}}
JSON
  status=0
  (cd "$dir" && $wine "$fontbin" FontConfig.json >"$work/out" 2>&1) || status=$?
  written=$(cd "$dir" && ls -- *_font.bin 2>/dev/null || true)
  if [ "$status" != "$want" ] || [ "$written" != "$file" ]; then
    echo "\"$name\": status $status, wrote ${written:-nothing}; want $want, ${file:-nothing}"
    cat "$work/out"
    failures=$((failures + 1))
  fi
done
echo "fonts by name: $failures failure(s)"
[ "$failures" -eq 0 ]
