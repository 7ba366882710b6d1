#!/usr/bin/env bash
# Usage: test_package.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/pkg/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libfreetype6 libcjson1 libpng16-16 libfontconfig1 libfribidi0 libunibreak1 libthai0 libthai-data; do
  grep -q "$lib" <<<"$depends" || { echo "missing dependency $lib in: $depends"; exit 1; }
done
# The tool draws into its own grey cells: loading OpenCV would cost more start-up time and memory
# than a whole ASCII export.
if grep -qE 'opencv|gdal' <<<"$depends"; then echo "unexpected dependency: $depends"; exit 1; fi

dpkg-deb -x "$deb" "$work/root"
test -L "$work/root/usr/bin/fontbin"
test -x "$work/root/usr/lib/fontbin/fontbin"
test -f "$work/root/usr/lib/fontbin/font/unifont.ttf"
test -f "$work/root/usr/lib/fontbin/CodePage/c_936.nls"
test -x "$work/root/usr/bin/fontbin-inspect"
test -f "$work/root/usr/share/fontbin/reader/fontbin_reader.h"
test -f "$work/root/usr/share/doc/fontbin/docs/file-format.md"
# README and the cookbook link to the examples: they are shipped, without earlier outputs.
test -f "$work/root/usr/share/doc/fontbin/examples/quickstart/gb2312.txt"
test -f "$work/root/usr/share/doc/fontbin/examples/ui-strings/strings.txt"
if find "$work/root/usr/share/doc/fontbin/examples" -name '*_font.bin' -o -name '*_compact.bin' -o -name '*_strings.bin' | grep -q .; then
  echo "the package ships outputs of earlier runs"
  exit 1
fi
! test -e "$work/root/usr/share/doc/fontbin/examples/.gitignore" || { echo "the package ships .gitignore"; exit 1; }
test -x "$work/root/usr/bin/fontbin-embed"

# Debian's copyright file, machine-readable: fontbin's licence, a paragraph for every font, one
# for the C++ runtime when the binary carries it (needs no libstdc++), and a text for each
# licence named.
copyright="$work/root/usr/share/doc/fontbin/copyright"
python3 - "$copyright" "$work/root/usr/lib/fontbin" <<'PY' || exit 1
import pathlib, re, subprocess, sys
text = pathlib.Path(sys.argv[1]).read_text()
tool = pathlib.Path(sys.argv[2])
paragraphs = [dict(re.findall(r"^(\S[^:\n]*): ?(.*(?:\n[ \t].*)*)", p, flags=re.M)) for p in text.split("\n\n")]
problems = []
if not text.startswith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"):
    problems.append("no Format line")
files = {p["Files"]: p for p in paragraphs if "Files" in p}
texts = {p["License"].split("\n")[0] for p in paragraphs if "License" in p and "\n" in p["License"]}
wanted = ["*"] + [f"usr/lib/fontbin/font/{f.name}" for f in (tool / "font").iterdir()]
needed = subprocess.run(["readelf", "-d", str(tool / "fontbin")], capture_output=True, text=True).stdout
if "libstdc++" not in needed:
    wanted.append("usr/lib/fontbin/fontbin")
for name in wanted:
    p = files.get(name)
    if not p or not p.get("Copyright"):
        problems.append(f"no Files paragraph with a Copyright for {name}")
    elif p["License"].split("\n")[0] not in texts:
        problems.append(f"no text for the licence {p['License']} of {name}")
sys.exit("copyright: " + "; ".join(problems) if problems else 0)
PY
# fontbin-studio beside the tool whose CodePage/ and font/ it reads, reached through a link.
test -L "$work/root/usr/bin/fontbin-studio"
test -x "$work/root/usr/lib/fontbin/fontbin-studio"
"$work/root/usr/bin/fontbin-studio" --version | grep -q '^fontbin-studio '
test -f "$work/root/usr/lib/cmake/fontbin/fontbinConfig.cmake"

mkdir "$work/project"
cp "$source"/examples/quickstart/* "$work/project/"
rm -f "$work"/project/*_font.bin "$work"/project/*_out.cst
cd "$work/project"
out=$("$work/root/usr/bin/fontbin" FontConfig.json)
# The tool reports its real folder, not the folder of the link.
grep -qx "\"$work/root/usr/lib/fontbin\"" <<<"$out" || { echo "unexpected output: $out"; exit 1; }
size=$(stat -c %s wqy-microhei_size16_bits1_font.bin)
# 21-byte header, 131072-byte index, 7540 glyphs of 4 + 32 bytes.
test "$size" -eq $((27 + 131072 + 7540 * 36)) || { echo "font file has $size bytes"; exit 1; }
# --version names the installed copyright file.
"$work/root/usr/bin/fontbin" --version | grep -qF ": $work/root/usr/share/doc/fontbin/copyright" ||
  { echo "fontbin --version does not name its copyright file"; exit 1; }
# The installed inspector reads what the installed tool wrote.
"$work/root/usr/bin/fontbin-inspect" wqy-microhei_size16_bits1_font.bin >/dev/null
# A firmware project builds against the unpacked package and draws what the preview shows.
"$source/tests/package/test_firmware_cmake.sh" "$build" "$source" "$work/root/usr" >/dev/null
echo "package installs and runs"
