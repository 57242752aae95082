#!/usr/bin/env bash
# The whole test suite: every test in the default build, every test but the
# GUI ones under AddressSanitizer/UBSan, the concurrency tests under
# ThreadSanitizer, and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

FUZZ_SECONDS=${FUZZ_SECONDS:-20}
scripts/install-deps.sh

run_preset() {
  local preset=$1
  echo "=== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  if [ "$preset" != fuzz ]; then
    echo "=== $preset: test"
    ctest --preset "$preset"
  fi
}

run_preset default
run_preset asan
run_preset tsan
run_preset fuzz

echo "=== fuzz: ${FUZZ_SECONDS}s per target"
shopt -s nullglob
for target in build/fuzz/bin/*_fuzz; do
  name=$(basename "$target")
  work=$(mktemp -d)
  if [ -d "fuzz/corpus/$name" ]; then cp -r "fuzz/corpus/$name/." "$work/"; fi
  echo "--- $name"
  "$target" -max_total_time="$FUZZ_SECONDS" -rss_limit_mb=2048 -print_final_stats=0 "$work" 2>"$work.log" || {
    tail -n 60 "$work.log"; rm -rf "$work" "$work.log"; echo "fuzz target $name failed"; exit 1; }
  tail -n 1 "$work.log"
  rm -rf "$work" "$work.log"
done
echo "=== all tests passed"
