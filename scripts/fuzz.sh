#!/usr/bin/env bash
# Builds the fuzz targets (preset fuzz: clang, libFuzzer, ASan, UBSan) and runs
# each for a bounded time, starting from its seed corpus in fuzz/corpus/.
#   TOLLWICK_FUZZ_SECONDS  seconds per target (default 60)
#   TOLLWICK_FUZZ_TARGETS  which targets (default: "inet inet_plain command ini";
#                          inet_plain starts from the inet seeds)
# New inputs are kept in build/fuzz/corpus/<target>, so later runs go on from
# there; a failing input is written to build/fuzz/artifacts/ and ends the run.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/logged.sh
. scripts/logged.sh
seconds="${TOLLWICK_FUZZ_SECONDS:-60}"
targets="${TOLLWICK_FUZZ_TARGETS:-inet inet_plain command ini}"

logged build/logs/fuzz-configure.log cmake --preset fuzz
logged build/logs/fuzz-build.log cmake --build --preset fuzz -j 2

status=0
for target in $targets; do
  corpus="build/fuzz/corpus/$target"
  log="build/fuzz/$target.log"
  mkdir -p "$corpus" build/fuzz/artifacts
  if "build/fuzz/fuzz/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 \
      -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$target-" \
      "$corpus" "fuzz/corpus/${target%_plain}" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $target: $runs executions in ${seconds} s, corpus $(ls "$corpus" | wc -l) inputs, no failure"
  else
    echo "fuzz $target: FAILED, see $log and build/fuzz/artifacts/" >&2
    grep -E 'ERROR|runtime error|SUMMARY|Test unit written' "$log" >&2 || tail -n 20 "$log" >&2
    status=1
  fi
done
exit "$status"
