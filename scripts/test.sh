#!/usr/bin/env bash
# Sets up and builds fontbin, then runs the whole test suite. Exits non-zero on any failure.
#
# The suite then runs a second time, built with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-asan/ (gcc; any report fails the run at once). Both runs replay the fuzz corpora of
# tests/fuzz/ (tests Fuzz.Replay.*). Left out of the sanitizer run: the valgrind test (label
# "valgrind"; it runs once, above) and the package test, which builds and installs a .deb.
# FONTBIN_SANITIZERS=0 skips the second run.
#
# Last, the Windows stage: scripts/build-windows.sh cross-builds fontbin.exe and its tests with
# MinGW-w64 into build-windows/, and the suite runs again under Wine, with a test that unpacks
# the zip and compares its outputs with the Linux build's. It needs Debian (the toolchain, Wine
# and the libraries' sources are Debian's packages); elsewhere it is skipped with a message.
# FONTBIN_WINDOWS=0 skips it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
# fontbin-studio's browser test drives headless Chromium; where these cannot be installed it is
# skipped and says why.
fontbin_install_missing chromium chromium-driver python3-selenium ||
  echo "Without chromium, chromium-driver and python3-selenium the test Tools.StudioInBrowser is skipped." >&2

cd "$FONTBIN_ROOT/build"
ctest --output-on-failure -j"$(nproc)"

windows_stage() {
  [ "${FONTBIN_WINDOWS:-1}" != 0 ] || return 0
  if [ ! -f /etc/debian_version ] || ! command -v apt-get >/dev/null; then
    echo "Windows stage skipped: it needs Debian's MinGW-w64, Wine and source packages"
    return 0
  fi
  bash "$FONTBIN_ROOT/scripts/build-windows.sh"
  cd "$FONTBIN_ROOT/build-windows"
  ctest --output-on-failure -j"$(nproc)"
}

if [ "${FONTBIN_SANITIZERS:-1}" = 0 ]; then
  windows_stage
  exit 0
fi

san="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
fontbin_build "$FONTBIN_ROOT/build-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFONTBIN_BENCH=OFF \
  "-DCMAKE_C_FLAGS=$san" "-DCMAKE_CXX_FLAGS=$san" "-DCMAKE_EXE_LINKER_FLAGS=$san"

# Child processes (the tool run by the end-to-end tests) inherit these.
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
cd "$FONTBIN_ROOT/build-asan"
log=$(mktemp)
if ! ctest --output-on-failure -j"$(nproc)" -LE valgrind -E '^Package\.' >"$log" 2>&1; then
  cat "$log"
  rm -f "$log"
  echo "failed: the test suite under AddressSanitizer and UndefinedBehaviorSanitizer" >&2
  exit 1
fi
echo "sanitizers (build-asan): $(grep -E 'tests passed' "$log")"
rm -f "$log"

windows_stage
