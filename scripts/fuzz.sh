#!/usr/bin/env bash
# Builds the core natively with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer, runs the core's table-driven tests (tests/core),
# then the two-thread check under ThreadSanitizer (fuzz/search_threads.cpp, in
# build-fuzz/tsan) and every fuzz target for [seconds] each (default 60; 0
# runs the tests only), starting from its corpus in fuzz/corpus/<target>. Prints each
# target's executions and coverage; exits non-zero on a finding, whose input
# is left in build-fuzz/findings/<target>/. QUILLON_FUZZ_ARGS adds libFuzzer
# flags (CI: a fixed seed and run count).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${QUILLON_FUZZ_BUILD:-$root/build-fuzz}
"$root/scripts/install_deps.sh" clang-14 libclang-rt-14-dev googletest cmake ninja-build
"$root/scripts/fetch_pcre2.sh"
# A folder configured before the C compiler was named keeps the system's: it
# is configured anew (its corpus and findings stay).
if [ -f "$build/CMakeCache.txt" ] && ! grep -q '^CMAKE_C_COMPILER:[A-Z]*=.*clang' "$build/CMakeCache.txt"; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
cmake -G Ninja -S "$root/fuzz" -B "$build" -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
ninja -C "$build" >"$build/ninja.log" || { cat "$build/ninja.log"; exit 1; }
"$build/core_tests" --gtest_brief=1 >"$build/core_tests.log" 2>&1 || { cat "$build/core_tests.log"; exit 1; }
echo "core tests: $(grep -o '[0-9]* tests\? from [0-9]* test suites\? ran' "$build/core_tests.log" | head -1), passed"
[ "$seconds" -gt 0 ] || exit 0
# The find worker's search beside the view's matching, on two threads under
# ThreadSanitizer: every verdict checked, and no race.
tsan=$build/tsan
cmake -G Ninja -S "$root/fuzz" -B "$tsan" -DQUILLON_TSAN=ON -DCMAKE_C_COMPILER=clang-14 \
  -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
ninja -C "$tsan" search_threads >"$tsan/ninja.log" || { cat "$tsan/ninja.log"; exit 1; }
"$tsan/search_threads" 20 >"$tsan/run.log" 2>&1 || { cat "$tsan/run.log"; exit 1; }
tail -1 "$tsan/run.log"
status=0
for program in "$build"/fuzz_*; do
  [ -x "$program" ] || continue
  target=$(basename "$program" | sed 's/^fuzz_//')
  corpus=$build/corpus/$target findings=$build/findings/$target
  mkdir -p "$corpus" "$findings"
  log=$build/$target.log
  started=$(date +%s.%N)
  # The kept seeds are read, new inputs go to the build folder's corpus.
  # shellcheck disable=SC2086  # QUILLON_FUZZ_ARGS: more libFuzzer flags, e.g. CI's -seed=1
  if "$program" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 ${QUILLON_FUZZ_ARGS:-} \
      -artifact_prefix="$findings/" "$corpus" "$root/fuzz/corpus/$target" >"$log" 2>&1; then
    result=clean
  else
    result="FINDING: $(ls -t "$findings" | head -1) (log: $log)"
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  # libFuzzer counts whole seconds: a run shorter than one reports 0.
  if [ "${speed:-0}" = 0 ] && [ -n "$runs" ]; then
    speed=$(awk -v runs="$runs" -v from="$started" -v to="$(date +%s.%N)" 'BEGIN { printf "%d", runs / (to - from) }')
  fi
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
  features=$(grep -o 'ft: [0-9]*' "$log" | tail -1)
  printf '%-14s %10s runs %8s exec/s  %s edges  %s features  %s\n' "$target" "${runs:-?}" "${speed:-?}" \
    "${coverage#cov: }" "${features#ft: }" "$result"
done
exit $status
