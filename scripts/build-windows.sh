#!/usr/bin/env bash
# Cross-builds fontbin for 64-bit Windows into build-windows/ and packs
# build-windows/fontbin-<version>-win64.zip.
#
# The toolchain is Debian's MinGW-w64, and the tests run under Debian's Wine. FreeType, libpng,
# HarfBuzz, FriBidi, libunibreak, libthai, libdatrie, cJSON and GoogleTest are built from the
# upstream tarballs of Debian's own source packages, of the upstream versions the Linux build
# links (libunibreak excepted, see below), so both builds draw with the same FreeType, shape with
# the same HarfBuzz and FriBidi and write the same bytes; zlib comes from libz-mingw-w64-dev, and
# libthai's dictionary is Debian's libthai-data file, the Linux build's own. apt reads a private
# sources list and keeps its state under build-windows/apt, so the machine's apt configuration is
# never touched.
# Everything fetched and built is kept under build-windows/deps: a second run fetches and
# rebuilds nothing.
#
# The host build (build/) comes first: its fontbin-codepage makes the CodePage tables, which
# need iconv, and its fontbin is what the Windows outputs are compared with.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

W=$FONTBIN_ROOT/build-windows
deps=$W/deps
prefix=$deps/prefix
toolchain=$FONTBIN_ROOT/cmake/mingw-w64-x86_64.cmake
mkdir -p "$deps/downloads" "$deps/src" "$deps/build" "$deps/stamps" "$prefix"

# autoconf, automake and libtool make the configure script of a tarball that has none.
fontbin_install_missing g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 zip unzip xz-utils \
  autoconf automake libtool libthai-data

# ---- apt, privately: deb-src entries for the suites this machine installs from --------------
# use_apt [SUITE]: the private apt state to read, that of the machine's suites (build-windows/apt)
# or, for a library whose tarball Debian's mirror no longer has in those, of SUITE alone
# (build-windows/apt-SUITE).
use_apt() {
  apt_suite=${1:-}
  apt_dir=$W/apt${apt_suite:+-$apt_suite}
  apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache")
}
use_apt

apt_prepare() {
  [ -f "$apt_dir/updated" ] && return 0
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  : >"$apt_dir/sources.list"
  if [ -n "$apt_suite" ]; then
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\n%s\n' \
      "$apt_suite" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" \
      >"$apt_dir/sources.list.d/debian.sources"
  fi
  if [ -f /etc/apt/sources.list ] && [ -z "$apt_suite" ]; then
    grep -E '^deb +' /etc/apt/sources.list | grep debian | sed -E 's/^deb +/deb-src /' \
      >>"$apt_dir/sources.list" || true
  fi
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -z "$apt_suite" ] && [ -f "$f" ] && grep -q debian "$f" || continue
    sed -E 's/^Types:.*/Types: deb-src/' "$f" >"$apt_dir/sources.list.d/$(basename "$f")"
  done
  for f in /etc/apt/sources.list.d/*.list; do
    [ -z "$apt_suite" ] && [ -f "$f" ] || continue
    grep -E '^deb +' "$f" | grep debian | sed -E 's/^deb +/deb-src /' \
      >>"$apt_dir/sources.list" || true
  done
  echo "Reading Debian's source package lists (private apt state in $apt_dir)"
  fontbin_quiet apt-get "${apt_opts[@]}" update
  touch "$apt_dir/updated"
}

# The upstream version of an installed package: no epoch, no Debian revision.
upstream_version() {
  local v
  v=$(dpkg-query -W -f='${Version}' "$1")
  v=${v#*:}
  echo "${v%-*}"
}

# The index line (URI, name, size, hash) of the upstream tarball of SOURCE-PACKAGE VERSION.
orig_line() {
  apt-get "${apt_opts[@]}" source --print-uris "$1" 2>/dev/null |
    grep -F "'" | grep -F " ${1}_${2}.orig.tar." | grep -v '\.asc ' | head -1 || true
}

# fetch_orig SOURCE-PACKAGE UPSTREAM-VERSION [SUITE]: the upstream tarball, checked against the
# hash that Debian's signed index (of SUITE, when given) gives, unpacked into deps/src/SOURCE.
# Only the .orig tarball is used: it is the released source, and Debian's patch tarball of an
# update may be gone.
fetch_orig() {
  local src=$1 version=$2 dir=$deps/src/$1
  if [ -f "$dir/.fontbin-$version" ]; then
    return 0
  fi
  use_apt "${3:-}"
  apt_prepare
  local line uri file size hash
  line=$(orig_line "$src" "$version")
  if [ -z "$line" ]; then
    # Lists read by an earlier build may be out of date: read them again, once.
    rm -f "$apt_dir/updated"
    apt_prepare
    line=$(orig_line "$src" "$version")
  fi
  if [ -z "$line" ]; then
    echo "build-windows: Debian's sources have no upstream tarball of $src $version" >&2
    return 1
  fi
  read -r uri file size hash <<<"$line"
  uri=${uri//\'/}
  if [ ! -f "$deps/downloads/$file" ]; then
    echo "Fetching $file ($size bytes)"
    fontbin_quiet /usr/lib/apt/apt-helper download-file "$uri" "$deps/downloads/$file.part" "$hash"
    mv "$deps/downloads/$file.part" "$deps/downloads/$file"
  fi
  rm -rf "$dir"
  mkdir -p "$dir"
  tar -xf "$deps/downloads/$file" -C "$dir" --strip-components=1
  touch "$dir/.fontbin-$version"
}

# build_dep NAME VERSION [cmake options...]: configures, builds and installs into the prefix.
build_dep() {
  local name=$1 version=$2
  shift 2
  # The options are part of the stamp: a build with other options is another build.
  local stamp
  stamp=$deps/stamps/$name-$version-$(printf '%s\n' "$@" | md5sum | cut -c1-12)
  [ -f "$stamp" ] && return 0
  fetch_orig "$name" "$version"
  echo "Building $name $version for Windows"
  rm -rf "$deps/build/$name"
  fontbin_quiet cmake -S "$deps/src/$name" -B "$deps/build/$name" -DCMAKE_BUILD_TYPE=Release \
    "-DCMAKE_TOOLCHAIN_FILE=$toolchain" "-DFONTBIN_WINDOWS_DEPS=$prefix" \
    "-DCMAKE_INSTALL_PREFIX=$prefix" -DBUILD_SHARED_LIBS=OFF "$@"
  fontbin_quiet cmake --build "$deps/build/$name" -j"$(nproc)"
  fontbin_quiet cmake --install "$deps/build/$name"
  touch "$stamp"
}

build_dep libpng1.6 "$(upstream_version libpng-dev)" -DPNG_SHARED=OFF -DPNG_STATIC=ON \
  -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_PROGRAMS=ON
build_dep freetype "$(upstream_version libfreetype-dev)" -DFT_REQUIRE_ZLIB=ON -DFT_REQUIRE_PNG=ON \
  -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
# HarfBuzz reads the fonts' kerning. Its CMake build (still shipped with the 6.x tarballs) makes
# a static library with nothing optional: no FreeType, GLib, ICU, Cairo or Windows shapers.
build_dep harfbuzz "$(upstream_version libharfbuzz-dev)" -DHB_HAVE_FREETYPE=OFF \
  -DHB_HAVE_GLIB=OFF -DHB_HAVE_GOBJECT=OFF -DHB_HAVE_ICU=OFF -DHB_HAVE_CAIRO=OFF \
  -DHB_HAVE_GRAPHITE2=OFF -DHB_HAVE_UNISCRIBE=OFF -DHB_HAVE_DIRECTWRITE=OFF -DHB_HAVE_GDI=OFF \
  -DHB_BUILD_UTILS=OFF -DHB_BUILD_SUBSET=OFF -DHB_HAVE_INTROSPECTION=OFF -DHB_BUILD_TESTS=OFF
# Without dllexport: a program linking cJSON statically would otherwise export its functions.
build_dep cjson "$(upstream_version libcjson-dev)" -DENABLE_CJSON_TEST=OFF \
  -DENABLE_CJSON_UTILS=OFF -DENABLE_CUSTOM_COMPILER_FLAGS=OFF -DBUILD_SHARED_AND_STATIC_LIBS=OFF \
  -DENABLE_PUBLIC_SYMBOLS=OFF -DENABLE_HIDDEN_SYMBOLS=ON
build_dep googletest "$(upstream_version googletest)" -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON

# build_autotools NAME VERSION SUITE [configure options...]: the same for a library built with its
# configure script (made with autoreconf when the tarball has none), static, for MinGW-w64.
# With install_with=FUNCTION set, FUNCTION BUILD-DIR builds and installs instead of make install.
build_autotools() {
  local name=$1 version=$2 suite=$3
  shift 3
  local stamp
  stamp=$deps/stamps/$name-$version-$(printf '%s\n' "$@" | md5sum | cut -c1-12)
  [ -f "$stamp" ] && return 0
  fetch_orig "$name" "$version" "$suite"
  echo "Building $name $version for Windows"
  local src=$deps/src/$name build=$deps/build/$name
  [ -x "$src/configure" ] || (cd "$src" && fontbin_quiet autoreconf -fi)
  rm -rf "$build"
  mkdir -p "$build"
  (cd "$build" && PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH="" \
    fontbin_quiet "$src/configure" --host=x86_64-w64-mingw32 "--prefix=$prefix" \
    --enable-static --disable-shared "$@")
  if [ -n "${install_with:-}" ]; then
    MAKEFLAGS=-j"$(nproc)" fontbin_quiet "$install_with" "$build"
  else
    fontbin_quiet make -C "$build" -j"$(nproc)"
    fontbin_quiet make -C "$build" install
  fi
  touch "$stamp"
}

# UI strings: FriBidi orders them, libunibreak and libthai (with libdatrie, which holds its
# dictionary) find their line breaks. Debian's mirror has lost the tarball of the libunibreak
# the Linux build links (1.1), so the Windows build takes the next release's (6.1). Their
# Unicode data and rules differ: the UI strings of the examples, tests and benchmarks break
# alike, while strings with emoji, some punctuation or a leading space may not.
build_autotools fribidi "$(upstream_version libfribidi-dev)" ""
build_autotools libunibreak 6.1 trixie
# libdatrie's trietool needs iconv and nl_langinfo, which MinGW-w64 lacks: configure is told
# that they are there, and only the library and its pkg-config file are built.
datrie_install() { make -C "$1/datrie" install && make -C "$1" install-pkgconfigDATA; }
install_with=datrie_install build_autotools libdatrie "$(upstream_version libdatrie-dev)" "" \
  --disable-doxygen-doc ac_cv_func_iconv_open=yes datrie_cv_langinfo_codeset=yes
build_autotools libthai "$(upstream_version libthai-dev)" "" --disable-doxygen-doc --disable-dict
# libthai's word-break dictionary is data: the build ships Debian's, the very file the Linux
# build reads, so that both break Thai text alike.
mkdir -p "$prefix/share/libthai"
cp -u /usr/share/libthai/thbrk.tri "$prefix/share/libthai/thbrk.tri"

# cpp-httplib for fontbin-studio: upstream's single header, compiled into the studio. (Debian's
# package splits it into a header and a Linux library.)
fetch_orig cpp-httplib "$(upstream_version libcpp-httplib-dev)"
cp -u "$deps/src/cpp-httplib/httplib.h" "$prefix/include/httplib.h"

# ---- Wine, with its state inside the build folder --------------------------------------------
wrapper=$W/wine-run
cat >"$wrapper.new" <<EOF
#!/bin/sh
# Runs a Windows program under Wine with this build's own Wine prefix.
export WINEPREFIX="$W/wine"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "\$@"
EOF
chmod +x "$wrapper.new"
mv "$wrapper.new" "$wrapper"
if [ ! -f "$W/wine/system.reg" ]; then
  echo "Creating the Wine prefix $W/wine"
  WINEPREFIX="$W/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" fontbin_quiet wineboot -i
fi
# The fonts the tests and examples name, where a Windows user has them: the Windows fonts folder.
for font in truetype/dejavu/DejaVuSans.ttf truetype/dejavu/DejaVuSansMono.ttf \
  truetype/wqy/wqy-microhei.ttc truetype/wqy/wqy-zenhei.ttc opentype/ipafont-gothic/ipag.ttf \
  opentype/noto/NotoSansCJK-Regular.ttc truetype/inter-vf/Inter.var.ttf \
  truetype/noto/NotoSansArabic-Regular.ttf truetype/noto/NotoSansDevanagari-Regular.ttf \
  truetype/noto/NotoSansThai-Regular.ttf; do
  cp -u "/usr/share/fonts/$font" "$W/wine/drive_c/windows/Fonts/"
done

# ---- fontbin itself ---------------------------------------------------------------------------
echo "Building fontbin for Windows into $W"
fontbin_quiet cmake -S "$FONTBIN_ROOT" -B "$W" -DCMAKE_BUILD_TYPE=Release \
  "-DCMAKE_TOOLCHAIN_FILE=$toolchain" "-DFONTBIN_WINDOWS_DEPS=$prefix" \
  "-DFONTBIN_WINE_WRAPPER=$wrapper" "-DFONTBIN_HOST_BIN_DIR=$FONTBIN_ROOT/build/bin" \
  -DFONTBIN_BENCH=OFF
fontbin_quiet cmake --build "$W" -j"$(nproc)"
(cd "$W" && fontbin_quiet cpack -G ZIP)
echo "Windows package: $(ls "$W"/fontbin-*-win64.zip)"
