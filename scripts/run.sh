#!/usr/bin/env bash
# Sets up and builds fontbin, then runs it on CONFIG (default: the quick-start example).
# Usage: scripts/run.sh [CONFIG]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

config=${1:-$FONTBIN_ROOT/examples/quickstart/FontConfig.json}
config_dir=$(cd "$(dirname "$config")" && pwd)
# Mapping and cst paths in a configuration are relative to the working directory; run where the
# configuration lies so an example's own files are found.
cd "$config_dir"
status=0
"$FONTBIN_ROOT/build/bin/fontbin" "$config_dir/$(basename "$config")" || status=$?
if [ "$status" -eq 0 ]; then
  echo
  echo "Output written to $config_dir:"
  ls -l "$config_dir" | grep -E '_(font\.bin|out\.cst)$' || true
fi
exit "$status"
