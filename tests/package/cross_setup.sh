# Sourced by the cross-build tests (test_firmware_cross.sh, test_firmware_strings.sh) after they
# set `build`: skips (77) without the ARM compiler, newlib or QEMU, which scripts/setup.sh
# installs; makes the scratch folder `work` (kept with KEEP=1) and `fail`; installs the build into
# $work/prefix as a firmware project finds it; and sets the strict warnings the images build with.
skip() { echo "skipped: $* (scripts/setup.sh installs gcc-arm-none-eabi, libnewlib-arm-none-eabi and qemu-system-arm)"; exit 77; }
command -v arm-none-eabi-gcc >/dev/null || skip "arm-none-eabi-gcc is not installed"
[ -f "$(arm-none-eabi-gcc -print-file-name=librdimon.a)" ] || skip "newlib for arm-none-eabi is not installed"
command -v qemu-system-arm >/dev/null || skip "qemu-system-arm is not installed"
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
export CFLAGS="-Wall -Wextra -Werror -pedantic -Wconversion -Wsign-conversion -Wshadow -Wcast-align=strict -Wstrict-prototypes"
