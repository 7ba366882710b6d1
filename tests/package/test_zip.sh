#!/usr/bin/env bash
# The Windows package, unpacked into a fresh folder and run under Wine, writes exactly the files
# the Linux build writes: for its own FontConfig.json (run with no argument) and for every
# configuration under examples/.
# Usage: test_zip.sh BUILD_DIR WINE_WRAPPER HOST_BIN_DIR SOURCE_DIR
set -euo pipefail
build=$1
wine=$2
host=$3
source=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G ZIP -B "$work/pkg" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
unzip -q "$work"/pkg/fontbin-*-win64.zip -d "$work/unpacked"
pkg=$(echo "$work"/unpacked/fontbin-*-win64)
for f in fontbin.exe fontbin-inspect.exe fontbin-embed.exe fontbin-studio.exe lib/cmake/fontbin/fontbinConfig.cmake FontConfig.json README.md font/unifont.ttf \
  thbrk.tri LICENSE.txt THIRD-PARTY-NOTICES.txt \
  CodePage/c_936.nls docs/file-format.md reader/fontbin_reader.h reader/fb_format.h reader/fb_internal.h reader/fb_open.c reader/fb_compact.c reader/fb_crc.c \
  reader/fb_legacy.c reader/fb_decode.c reader/fb_decode_fast.c reader/fb_advances.c reader/fb_flash.c \
  reader/fontbin_text.h reader/fontbin_text_internal.h reader/fontbin_text.c \
  reader/fontbin_text_lines.c reader/fontbin_strings.h reader/fontbin_strings.c examples/quickstart/gb2312.txt \
  examples/firmware-cmake/CMakeLists.txt; do
  test -f "$pkg/$f" || { echo "the package lacks $f"; exit 1; }
done

# Statically linked: the executables import only DLLs that every Windows has.
for exe in "$pkg"/*.exe; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
  grep -qix 'kernel32.dll' <<<"$dlls" || { echo "no imports read from $(basename "$exe")"; exit 1; }
  for dll in $dlls; do
    case "${dll,,}" in
      kernel32.dll | msvcrt.dll | ole32.dll | shell32.dll | user32.dll | advapi32.dll) ;;
      # fontbin-studio: Winsock for its server, the system's random source for its token, and
      # DirectWrite for the installed fonts' names.
      ws2_32.dll | bcrypt.dll | dwrite.dll) ;;
      *) echo "$(basename "$exe") needs $dll, which Windows does not have"; exit 1 ;;
    esac
  done
done

# Programs as shipped: no debug sections, no exported symbols, version information and a manifest.
for exe in "$pkg"/*.exe; do
  name=$(basename "$exe")
  ! x86_64-w64-mingw32-objdump -h "$exe" | grep -q ' \.debug' || { echo "$name has debug sections"; exit 1; }
  ! x86_64-w64-mingw32-objdump -p "$exe" | grep -q 'There is an export table' ||
    { echo "$name exports symbols"; exit 1; }
  python3 - "$exe" <<'PY' || exit 1
import sys
data = open(sys.argv[1], "rb").read()
for want in ["ProductName", "ProductVersion", "FileDescription"]:
    if want.encode("utf-16-le") not in data:
        sys.exit(f"{sys.argv[1]}: no {want} in its version information")
for want in [b"<assembly", b"longPathAware", b"supportedOS"]:
    if want not in data:
        sys.exit(f"{sys.argv[1]}: no manifest with {want.decode()}")
if b"activeCodePage" in data:
    sys.exit(f"{sys.argv[1]}: the manifest changes the ANSI code page")
PY
done

! test -e "$pkg/examples/.gitignore" || { echo "the package ships examples/.gitignore"; exit 1; }

# Every library the linker put into a program, as its map records it, has its licence in the
# notices, under a heading that names the program and the library's file; so does every font
# and libthai's dictionary. A library under the LGPL says how to relink with a changed one.
python3 - "$pkg" "$build" <<'PY' || exit 1
import os, pathlib, re, sys
pkg, build = pathlib.Path(sys.argv[1]), sys.argv[2]
notices = (pkg / "THIRD-PARTY-NOTICES.txt").read_text(encoding="utf-8")
headings = re.findall(r"^(Linked into|Shipped as) (.*)$", notices, flags=re.M)
sections = re.split(r"^={78}\r?$", notices, flags=re.M)
maps = [pathlib.Path(m) for m in pathlib.Path(build, "link-maps.txt").read_text().splitlines()]
programs = {p.name for p in pkg.glob("*.exe")}
missing = sorted(programs - {m.stem + ".exe" for m in maps})
for m in maps:
    linked = set()
    for line in m.read_text(errors="replace").splitlines():
        hit = re.match(r"(?:LOAD )?(\S+\.(?:a(?=\()|o$))", line)
        # Relative paths are from the folder the linker ran in, the map's; fontbin's own
        # libraries are those built outside the dependencies' folder.
        path = os.path.normpath(m.parent / hit.group(1)) if hit else ""
        if path and (not path.startswith(build + "/") or path.startswith(build + "/deps/")):
            linked.add(os.path.basename(path))
    for name in sorted(linked):
        if not any(kind == "Linked into" and re.search(rf"\b{re.escape(m.stem)}\.exe\b", text)
                   and re.search(rf"(from |, ){re.escape(name)}(,|\r?$)", text) for kind, text in headings):
            missing.append(f"{m.stem}.exe: {name}")
shipped = [f"font\\{font.name}" for font in sorted((pkg / "font").iterdir())] + ["thbrk.tri"]
for name in shipped:
    if not any(kind == "Shipped as" and name in text.rstrip("\r").split(", ") for kind, text in headings):
        missing.append(name)
for i in range(1, len(sections) - 1, 2):
    if "LESSER GENERAL PUBLIC" in sections[i + 1] and "build-windows.sh" not in sections[i]:
        missing.append("the means to relink with " + sections[i].strip().splitlines()[0])
# Each notice holds a licence, not just a heading.
thin = [s.strip().splitlines()[0] for s in sections[2::2] if len(s) < 400]
if missing or thin or not maps:
    sys.exit("without a licence notice: " + ", ".join(missing or thin or ["(no link maps)"]))
print(f"{len(headings)} notices cover what {len(maps)} programs link and the fonts")
PY

# Text files with CR LF line ends, for every Windows editor.
python3 - "$pkg" <<'PY' || exit 1
import pathlib, sys
bare = [str(p) for p in pathlib.Path(sys.argv[1]).rglob("*")
        if p.suffix in {".md", ".txt", ".json", ".ini", ".c", ".h", ".cmake"}
        and p.read_bytes().count(b"\n") != p.read_bytes().count(b"\r\n")]
sys.exit("LF without CR in: " + ", ".join(bare) if bare else 0)
PY

# Every relative link of the package's documents names a file or folder inside the package.
python3 - "$pkg" <<'PY' || exit 1
import pathlib, re, sys
root = pathlib.Path(sys.argv[1]).resolve()
bad = []
for doc in sorted(root.rglob("*.md")):
    text = re.sub(r"```.*?```", "", doc.read_text(encoding="utf-8"), flags=re.S)
    for target in re.findall(r"\]\(([^)\s]+)\)", text):
        if re.match(r"[a-z]+:", target) or target.startswith("#"):
            continue
        path = (doc.parent / target.split("#")[0]).resolve()
        if not path.exists() or root not in [path, *path.parents]:
            bad.append(f"{doc.relative_to(root)}: {target}")
print("\n".join(bad) if bad else "every relative link of the package's documents resolves")
sys.exit(1 if bad else 0)
PY

failures=0
# compare WINDOWS_DIR LINUX_DIR: every output of both folders, byte for byte.
compare() {
  local win=$1 linux=$2 names f
  names=$(cd "$linux" && ls -- *_font.bin *_compact.bin *_strings.bin *_out.cst 2>/dev/null || true)
  if [ -z "$names" ]; then
    echo "no outputs in $linux"
    failures=$((failures + 1))
    return
  fi
  for f in $names; do
    if ! cmp -s "$win/$f" "$linux/$f"; then
      echo "differs from the Linux build: ${win#"$work"/}/$f"
      failures=$((failures + 1))
    fi
  done
  [ "$(cd "$win" && ls -- *_font.bin *_compact.bin *_strings.bin *_out.cst 2>/dev/null)" = "$names" ] ||
    { echo "other outputs in $win"; failures=$((failures + 1)); }
}

# The quick start: fontbin.exe with no argument reads FontConfig.json beside itself.
(cd "$pkg" && "$wine" fontbin.exe >"$work/quick.out" 2>&1) || { cat "$work/quick.out"; exit 1; }
mkdir "$work/linux-quick"
cp "$pkg/FontConfig.json" "$work/linux-quick/"
(cd "$work/linux-quick" && "$host/fontbin" "$PWD/FontConfig.json" >/dev/null)
mkdir "$work/win-quick"
cp "$pkg"/*_font.bin "$pkg"/*_out.cst "$work/win-quick/"
compare "$work/win-quick" "$work/linux-quick"

# Every example, each build on its own copy of the tree, run from the configuration's folder.
for side in win linux; do
  mkdir "$work/$side"
  # The Windows side runs the package's own examples, as shipped (CR LF text files).
  if [ "$side" = win ]; then cp -r "$pkg/examples" "$work/$side/"; else cp -r "$source/examples" "$work/$side/"; fi
  find "$work/$side" \( -name '*_font.bin' -o -name '*_compact.bin' -o -name '*_strings.bin' -o -name '*_out.cst' \
    -o -name '*.png' \) -delete
  # A sample folder in the working directory gets the letters as drawn.
  mkdir "$work/$side/examples/oled-ascii-12px/sample"
done
configs=0
dirs=()
for config in $(cd "$work/linux/examples" && find . -name '*.json' | sort); do
  dir=$(dirname "$config")
  name=$(basename "$config")
  # A .json file without a font set is a file of UI strings, not a configuration.
  grep -q '"fontSet"' "$work/linux/examples/$config" || continue
  (cd "$work/win/examples/$dir" && "$wine" "$pkg/fontbin.exe" "$name" >"$work/run.out" 2>&1) ||
    { echo "fontbin.exe failed on $config:"; cat "$work/run.out"; failures=$((failures + 1)); }
  (cd "$work/linux/examples/$dir" && "$host/fontbin" "$name" >/dev/null 2>&1)
  configs=$((configs + 1))
  dirs+=("$dir")
done
for dir in $(printf '%s\n' "${dirs[@]}" | sort -u); do
  compare "$work/win/examples/$dir" "$work/linux/examples/$dir"
done
samples=$(ls "$work/linux/examples/oled-ascii-12px/sample" | wc -l)
[ "$samples" = 26 ] || { echo "$samples sample images on Linux, not 26"; failures=$((failures + 1)); }
diff -r "$work/win/examples/oled-ascii-12px/sample" "$work/linux/examples/oled-ascii-12px/sample" ||
  failures=$((failures + 1))
echo "$configs example configurations and the package's own: $failures difference(s)"
[ "$failures" -eq 0 ]
