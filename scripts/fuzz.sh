#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ into build-fuzz/ ($VANTREX_FUZZ_BUILD; clang,
# AddressSanitizer + UndefinedBehaviorSanitizer) and runs them one after the
# other, splitting SECONDS (default 600) evenly between them.
#   scripts/fuzz.sh [SECONDS] [HARNESS...]     (harnesses: options decode panel_ppd job image)
# Each runs on a working corpus in build-fuzz/corpus/NAME seeded from
# fuzz/corpus/NAME, with fuzz/vantrex.dict, a 1 s timeout per input. A crash,
# leak, timeout or sanitizer report is kept as build-fuzz/artifacts/NAME-*;
# copy it into fuzz/corpus/NAME so that `ctest -L fuzz` replays it for good.
# VANTREX_FUZZ_FLAGS adds libFuzzer flags, e.g. "-fork=1 -ignore_ooms=1
# -ignore_timeouts=1" to go on past out-of-memory and timeout findings and
# count them (the result column then shows oom/timeout/crash counts).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
shift || true
build=${VANTREX_FUZZ_BUILD:-$here/build-fuzz}  # another folder lets two runs overlap

CC=clang-14 CXX=clang++-14 cmake -S "$here" -B "$build" -DVANTREX_FUZZ=ON -DBUILD_TESTING=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 >/dev/null

harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  for program in "$build"/bin/vantrex-fuzz-*; do harnesses+=("${program##*/vantrex-fuzz-}"); done
fi
each=$(( seconds / ${#harnesses[@]} ))
[ "$each" -ge 1 ] || each=1
mkdir -p "$build/artifacts" "$build/logs"
export LSAN_OPTIONS=suppressions=$here/fuzz/lsan.supp:print_suppressions=0

status=0
printf '%-10s %12s %10s %8s %14s %s\n' harness executions exec/s cov corpus result
for name in "${harnesses[@]}"; do
  program=$build/bin/vantrex-fuzz-$name
  [ -x "$program" ] || { echo "$name: no such harness (built: $(ls "$build"/bin))"; status=1; continue; }
  corpus=$build/corpus/$name
  mkdir -p "$corpus"
  log=$build/logs/$name.log
  result=clean
  "$program" "$corpus" "$here/fuzz/corpus/$name" -dict="$here/fuzz/vantrex.dict" \
    -max_total_time="$each" -timeout=1 -rss_limit_mb=2048 -max_len=16384 \
    -artifact_prefix="$build/artifacts/$name-" -print_final_stats=1 ${VANTREX_FUZZ_FLAGS:-} \
    >"$log" 2>&1 || {
    result="FAILED: see $log and $build/artifacts/"
    status=1
  }
  # (a pattern missing from the log leaves its column empty, not the script ended)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2 || true)
  corp=$(grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' "$log" | tail -1 | cut -d' ' -f2 || true)
  # Fork mode reports in lines "#RUNS: cov: N ft: N corp: N exec/s N oom/timeout/crash: a/b/c ..."
  fork=$(grep -E '^#[0-9]+: cov: ' "$log" | tail -1 || true)
  if [ -n "$fork" ]; then
    runs=$(sed -E 's/^#([0-9]+):.*/\1/' <<<"$fork")
    rate=$(sed -E 's/.*exec\/s ([0-9]+).*/\1/' <<<"$fork")
    cov=$(sed -E 's/.* cov: ([0-9]+).*/\1/' <<<"$fork")
    corp=$(ls "$corpus" | wc -l)
    found=$(sed -E 's/.*oom\/timeout\/crash: ([0-9]+\/[0-9]+\/[0-9]+).*/\1/' <<<"$fork")
    if [ "$found" != 0/0/0 ]; then
      result="oom/timeout/crash $found: see $build/artifacts/"
      status=1
    fi
  fi
  printf '%-10s %12s %10s %8s %14s %s\n' "$name" "${runs:-?}" "${rate:-?}" "${cov:-?}" \
    "${corp:-?}" "$result"
done
exit $status
