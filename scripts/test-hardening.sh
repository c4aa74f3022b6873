#!/usr/bin/env bash
# The hardening checks: the whole Linux test suite with AddressSanitizer and
# UndefinedBehaviorSanitizer, the fuzz targets for a bounded time, and the
# memory checker over a host program session and over 1,000 load/unload cycles
# of the host program (tollwick-host --cycles), both with a private sound
# server so that the sound library really plays.
# Every stage runs; the exit code is non-zero when any of them failed.
#   TOLLWICK_FUZZ_SECONDS     seconds per fuzz target (default 60)
#   TOLLWICK_MEMCHECK_BUILD   plain Linux build to check (default build/linux;
#                             configured with the linux preset when missing)
#   TOLLWICK_CYCLES           load/unload cycles (default 1000)
set -uo pipefail
cd "$(dirname "$0")/.." || exit
# shellcheck source=scripts/logged.sh
. scripts/logged.sh
started=$SECONDS
failed=()

sanitized_suite() {
  logged build/logs/asan-configure.log cmake --preset asan &&
    logged build/logs/asan-build.log cmake --build --preset asan -j 2 &&
    ctest --preset asan
}

memcheck_runs() {
  local build="${TOLLWICK_MEMCHECK_BUILD:-build/linux}" cycles="${TOLLWICK_CYCLES:-1000}"
  local memcheck=(tests/faults/with-sound-server.sh valgrind -q --leak-check=full
    --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect
    --error-exitcode=99)
  { [ -f "$build/CMakeCache.txt" ] ||
    logged build/logs/memcheck-configure.log cmake --preset linux -B "$build"; } &&
    logged build/logs/memcheck-build.log cmake --build "$build" -j 2 --target Tollwick \
      tollwick-host tollwick_trigger_tests_block ||
    return 1
  local status=0
  # Every sample line at every alignment, in heap blocks of its own size and
  # beside unreadable pages. The allocation counts stay out: the memory
  # checker takes the allocator over.
  if "${memcheck[@]}" "$build/tests/trigger/tollwick_trigger_tests_block" --gtest_brief=1 \
      --gtest_filter=-*Allocation* >/dev/null; then
    echo "memcheck trigger: no errors, no leaks"
  else
    echo "memcheck trigger: FAILED" >&2
    status=1
  fi
  local scratch
  scratch=$(mktemp -d)
  # The checked-in session, then lines of hundreds of kilobytes.
  local join='To accept the request, type `join and press <enter>. To decline, type `decline and press <enter>'
  {
    cat tests/faults/memcheck-session.txt
    printf '(%s%s\n' "$(head -c 200000 /dev/zero | tr '\0' x)" "$join"
    printf '(%s\n' "$(yes 'whispers, "' | head -n 20000 | tr -d '\n')"
    printf '@TW-SetWave /%s\n' "$(head -c 100000 /dev/zero | tr '\0' p)"
    printf '/save\n/start\n@TW-SetWave\n/about\n'
  } >"$scratch/session.txt"
  mkdir "$scratch/module"
  if "${memcheck[@]}" "$build/tollwick-host" --module "$build/Tollwick.so" \
      --root "$scratch/module" "$scratch/session.txt" >"$scratch/transcript.txt"; then
    echo "memcheck session: $(wc -l <"$scratch/transcript.txt") transcript lines, no errors, no leaks"
  else
    echo "memcheck session: FAILED" >&2
    status=1
  fi
  # The cycles case of the fault tests, its files made as run-case.sh makes them.
  local cycles_case=tests/faults/cases-linux/cycles
  mkdir "$scratch/cycles"
  cp tests/e2e/chime.wav "$cycles_case/bell.wav" "$scratch/cycles/"
  mkfifo "$scratch/cycles/$(cat "$cycles_case/pipes")"
  sed "s|<root>|$scratch/cycles|g" "$cycles_case/run.session" >"$scratch/cycles.session"
  if "${memcheck[@]}" "$build/tollwick-host" --module "$build/Tollwick.so" --root "$scratch/cycles" \
      --cycles "$cycles" "$scratch/cycles.session" >"$scratch/cycles.txt"; then
    echo "memcheck cycles: $cycles load/unload cycles, no errors, no leaks"
  else
    echo "memcheck cycles: FAILED" >&2
    status=1
  fi
  rm -rf "$scratch"
  return "$status"
}

stage() {
  local name="$1"
  shift
  echo "== $name"
  local stage_started=$SECONDS
  "$@" || failed+=("$name")
  echo "== $name: $((SECONDS - stage_started)) s"
}

stage asan sanitized_suite
stage fuzz bash scripts/fuzz.sh
stage memcheck memcheck_runs

echo "== hardening: $((SECONDS - started)) s"
if [ "${#failed[@]}" -gt 0 ]; then
  echo "FAILED: ${failed[*]}" >&2
  exit 1
fi
echo "all hardening checks passed"
