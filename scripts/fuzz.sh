#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs them.
#
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]   one target for SECONDS
#   scripts/fuzz.sh all SECONDS                              every target in turn, SECONDS each
#   scripts/fuzz.sh build                                    only build
#
# TARGET is one of: config ini mapping codepage cst reader render advances compact strings flash
# (sources in tests/fuzz/).
# The seeds in tests/fuzz/corpus/TARGET/ are read, never written; what libFuzzer adds goes to
# build-fuzz/corpus/TARGET/, crashes and hangs to build-fuzz/artifacts/TARGET/, the full log to
# build-fuzz/logs/TARGET.log. A crash input belongs in tests/fuzz/corpus/TARGET/ once fixed: the
# test suite replays that folder (Fuzz.Replay.TARGET), with and without sanitizers.
# For two targets at once, build first and set FONTBIN_FUZZ_SKIP_BUILD=1 for the runs.
set -euo pipefail

targets=(config ini mapping codepage cst reader render advances compact strings flash)

usage() {
  local IFS='|'
  echo "usage: $0 {${targets[*]}|all} SECONDS [libFuzzer options...] | $0 build" >&2
  exit 2
}

[ $# -ge 1 ] || usage
what=$1
shift
if [ "$what" != build ]; then
  [ $# -ge 1 ] && [[ $1 =~ ^[0-9]+$ ]] || usage
  seconds=$1
  shift
  if [ "$what" != all ] && [[ " ${targets[*]} " != *" $what "* ]]; then usage; fi
fi

FONTBIN_SETUP_NO_BUILD=1 source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
fontbin_install_missing clang libclang-rt-14-dev

dir="$FONTBIN_ROOT/build-fuzz"
if [ -z "${FONTBIN_FUZZ_SKIP_BUILD:-}" ]; then
  flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
  flags+=" -fno-omit-frame-pointer -g -O1"
  # A build type of our own, so that no -DNDEBUG switches assertions off.
  fontbin_quiet cmake -S "$FONTBIN_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Fuzz \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_CXX_FLAGS=$flags" \
    "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" \
    -DFONTBIN_FUZZ=ON -DFONTBIN_BENCH=OFF
  fontbin_quiet cmake --build "$dir" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"
fi
[ "$what" = build ] && exit 0

# Longest input per target: room to grow beyond the seeds, small enough to stay fast.
declare -A max_len=([config]=16384 [ini]=4096 [mapping]=16384 [codepage]=140000 [cst]=4096
                    [reader]=16384 [render]=65536 [advances]=16384 [compact]=16384 [strings]=16384
                    [flash]=16384)

export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

run_one() {
  local name=$1 secs=$2
  shift 2
  local corpus="$dir/corpus/$name" artifacts="$dir/artifacts/$name/" log="$dir/logs/$name.log"
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  local options=(-max_total_time="$secs" -max_len="${max_len[$name]}" -timeout=10
                 -artifact_prefix="$artifacts" -print_final_stats=1)
  local dict="$FONTBIN_ROOT/tests/fuzz/dict/$name.dict"
  [ -f "$dict" ] && options+=(-dict="$dict")
  local status=0
  (cd "$dir" && "$dir/fuzz/fuzz_$name" "${options[@]}" "$@" "$corpus" \
    "$FONTBIN_ROOT/tests/fuzz/corpus/$name") >"$log" 2>&1 || status=$?
  # The last progress line carries the coverage; the final statistics the executions.
  local progress runs
  progress=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  echo "$name: ${runs:-?} executions in ${secs}s; last: ${progress:-none}"
  if [ "$status" -ne 0 ]; then
    echo "$name: FAILED (status $status), see $log and $artifacts" >&2
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" | head -n 5 >&2 || true
  fi
  return "$status"
}

if [ "$what" = all ]; then
  failed=0
  for name in "${targets[@]}"; do run_one "$name" "$seconds" "$@" || failed=1; done
  exit "$failed"
fi
run_one "$what" "$seconds" "$@"
