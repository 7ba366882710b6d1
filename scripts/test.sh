#!/usr/bin/env bash
# Sets up and builds fontbin, then runs the whole test suite. Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

cd "$FONTBIN_ROOT/build"
ctest --output-on-failure -j"$(nproc)"
