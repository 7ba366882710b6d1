#!/usr/bin/env bash
# fontbin-studio's preview latency, measured in the page (headless Chromium) from a change of the
# size to the updated picture: printable ASCII at 32 px and 200 CJK characters at 24 px, 12
# changes each, median and slowest. Needs chromium, chromium-driver and python3-selenium.
#   bench/studio.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
/usr/bin/python3 "$root/tests/tools/test_studio.py" "$build/bin" --bench | grep '^bench:'
