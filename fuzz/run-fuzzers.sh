#!/usr/bin/env bash
# Runs every libFuzzer target for a bounded time each.
#
#   fuzz/run-fuzzers.sh SECONDS
#
# Configures and builds the `fuzz` preset (only the fuzz targets), then runs each fuzzer for
# SECONDS on a working corpus (build/fuzz/fuzz/work/<fuzzer>) started from the generated seeds.
# A crash, leak, sanitizer report or timeout stops that fuzzer, keeps the input in
# build/fuzz/fuzz/artifacts/ and makes the script exit non-zero after the remaining fuzzers ran.
set -euo pipefail
seconds="${1:?usage: fuzz/run-fuzzers.sh SECONDS}"
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="$root/build/fuzz"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target iximage_fuzzers

# The loader fuzzer exists only when the build has ibl-bake's loaders.
fuzzers=()
for f in packet_reader_fuzzer rotation_matrix_fuzzer probe_loader_fuzzer; do
  [ -x "$build/fuzz/$f" ] && fuzzers+=("$f")
done
artifacts="$build/fuzz/artifacts"
mkdir -p "$artifacts"
export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=0:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"

failed=()
for f in "${fuzzers[@]}"; do
  seeds="$build/fuzz/corpus/${f%_fuzzer}"
  work="$build/fuzz/work/$f"
  mkdir -p "$work"
  echo "== $f for ${seconds}s"
  if ! "$build/fuzz/$f" "$work" "$seeds" -max_total_time="$seconds" -timeout=25 \
      -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
      -artifact_prefix="$artifacts/$f-" 2>"$build/fuzz/$f.log"; then
    tail -n 60 "$build/fuzz/$f.log"
    failed+=("$f")
  else
    grep -E '^(stat::number_of_executed_units|stat::new_units_added|#[0-9]+ +DONE)' \
      "$build/fuzz/$f.log" || true
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzers that found a problem: ${failed[*]} (inputs in $artifacts)"
  exit 1
fi
echo "fuzzing: ${#fuzzers[@]} fuzzers ran ${seconds}s each without findings"
