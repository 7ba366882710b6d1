#!/usr/bin/env bash
# Shared set-up of scripts/run.sh and scripts/test.sh: installs the Debian packages fontbin
# needs when any is missing, then configures and builds into build/. Quiet when all is there.
set -euo pipefail

FONTBIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export FONTBIN_ROOT

fontbin_packages=(
  build-essential cmake pkg-config dpkg-dev file
  libcjson-dev libfreetype-dev libharfbuzz-dev libopencv-core-dev libpng-dev libfontconfig-dev
  libgtest-dev libbenchmark-dev
  libcpp-httplib-dev
  fonts-dejavu-core fonts-dejavu-extra fonts-wqy-microhei fonts-wqy-zenhei fonts-unifont fonts-ipafont-gothic
  fonts-noto-cjk fonts-inter-variable
  valgrind
  ninja-build
  xz-utils
  gcc-arm-none-eabi libnewlib-arm-none-eabi
  ${FONTBIN_EXTRA_PACKAGES:-}
)
# Wanted only by the test that runs the cross-built example on an emulated Cortex-M4; where it
# cannot be installed, set-up goes on and that test is skipped.
fontbin_optional_packages=(qemu-system-arm)

fontbin_install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "Missing packages: ${missing[*]}. Run this as root, or install sudo." >&2
      return 1
    fi
    sudo=sudo
  fi
  echo "Installing missing packages: ${missing[*]}"
  $sudo apt-get -o DPkg::Lock::Timeout=900 update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

# Runs a command quietly; shows its output only when it fails.
fontbin_quiet() {
  local log
  log=$(mktemp)
  if ! "$@" >"$log" 2>&1; then
    cat "$log"
    rm -f "$log"
    echo "failed: $*" >&2
    return 1
  fi
  rm -f "$log"
}

# fontbin_build DIR [cmake options...]
fontbin_build() {
  local dir=$1
  shift
  # The build prints nothing unless it fails; say why the first one takes a while.
  [ -f "$dir/CMakeCache.txt" ] || echo "Building fontbin into $dir (the first build takes a few minutes)..."
  fontbin_quiet cmake -S "$FONTBIN_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@"
  fontbin_quiet cmake --build "$dir" -j"$(nproc)"
}

fontbin_install_missing "${fontbin_packages[@]}"
fontbin_install_missing "${fontbin_optional_packages[@]}" ||
  echo "Without ${fontbin_optional_packages[*]} the test Package.FirmwareCrossQemu is skipped." >&2
# scripts/fuzz.sh builds elsewhere, with clang, and sets this to skip the build into build/.
[ -n "${FONTBIN_SETUP_NO_BUILD:-}" ] || fontbin_build "$FONTBIN_ROOT/build"
