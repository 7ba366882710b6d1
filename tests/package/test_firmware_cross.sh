#!/usr/bin/env bash
# Usage: test_firmware_cross.sh BUILD_DIR SOURCE_DIR
# Installs fontbin into a temporary prefix and cross-builds examples/firmware-cmake against it
# with its toolchain file (arm-none-eabi-gcc, -Os, the strict warnings as errors) for Cortex-M4
# and Cortex-M0+, with the fixed layout and with the compact one, each also read from a simulated
# SPI flash through the reader's read callback. Runs each Cortex-M4 image on
# QEMU's mps2-an386 board with semihosting and compares its framebuffer with fontbin-inspect
# --text pixel for pixel. Then prints the reader's flash and stack on both processors
# (bench/reader_size.sh --table, on the installed reader). Exits 77 (skipped) without the
# compiler, newlib or QEMU, which scripts/setup.sh installs.
set -euo pipefail
build=$1 source=$2
source "$(dirname "${BASH_SOURCE[0]}")/cross_setup.sh"
# (The -spi images read the font through a read callback, as from SPI flash: FIRMWARE_SPI.)
for layout in fixed compact fixed-spi compact-spi; do
  src=$work/src-$layout
  cp -r "$source/examples/firmware-cmake" "$src"
  rm -rf "$src"/fonts/*.bin "$src"/fonts/*_out.cst
  [[ $layout = fixed* ]] || sed -i 's/"indexMethod": 1, "crop": 0/"compact": true/' "$src/fonts/FontConfig.json"
  spi=OFF; [[ $layout != *-spi ]] || spi=ON
  for cpu in cortex-m4 cortex-m0plus; do
    bld=$work/$layout-$cpu
    { cmake -S "$src" -B "$bld" -DCMAKE_TOOLCHAIN_FILE="$src/arm-none-eabi.cmake" -DFIRMWARE_CPU=$cpu \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_PREFIX_PATH="$prefix" -DFIRMWARE_SPI=$spi && cmake --build "$bld"; } \
      >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "$layout, $cpu: cross build"; }
    file "$bld/firmware.elf" | grep -q "ELF 32-bit LSB executable, ARM" || fail "$layout, $cpu: not an ARM image"
    echo "$layout, $cpu: $(arm-none-eabi-size "$bld/firmware.elf" | awk 'NR == 2 { print $1 + $2 }') bytes of flash"
  done

  # The Cortex-M4 image on the board; its framebuffer against the preview of the same file.
  timeout 60 qemu-system-arm -M mps2-an386 -nographic -monitor none -serial none \
    -semihosting-config enable=on,target=native -kernel "$work/$layout-cortex-m4/firmware.elf" \
    >"$work/firmware.txt" || fail "$layout: the image failed on QEMU (status $?)"
  font=$(ls "$work/$layout-cortex-m4"/fontbin/ui_font_16/*_{font,compact}.bin 2>/dev/null || true)
  [[ $layout = fixed* ]] || [[ $font == *_compact.bin ]] || fail "no compact font file"
  "$prefix/bin/fontbin-inspect" "$font" --text "Hello, 世界" --width 128 >"$work/preview.txt"
  rows=$(wc -l <"$work/preview.txt")
  [ "$(wc -l <"$work/firmware.txt")" = 64 ] || { cat "$work/firmware.txt"; fail "$layout: not 64 lines"; }
  head -n "$rows" "$work/firmware.txt" | cmp -s - "$work/preview.txt" || {
    diff "$work/preview.txt" <(head -n "$rows" "$work/firmware.txt"); fail "$layout: framebuffer differs"; }
  ! tail -n +$((rows + 1)) "$work/firmware.txt" | grep -q '#' || fail "$layout: ink below the text line"
  grep -q '#' "$work/preview.txt" || fail "$layout: no ink at all"
done
bash "$source/bench/reader_size.sh" --table "$prefix/share/fontbin/reader"
echo "the cross-built example draws on QEMU as the preview, with both layouts, from memory and by command"
