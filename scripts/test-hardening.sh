#!/usr/bin/env bash
# The hardening checks: the whole Linux test suite with AddressSanitizer and
# UndefinedBehaviorSanitizer, the fuzz targets for a bounded time, and the
# memory checker over a host-bench session and over 1,000 load/unload cycles.
#   TOLLWICK_FUZZ_SECONDS     seconds per fuzz target (default 20)
#   TOLLWICK_MEMCHECK_BUILD   plain Linux build to check (default build/linux;
#                             configured with the linux preset when missing)
#   TOLLWICK_CYCLES           load/unload cycles (default 1000)
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

echo "== asan: build and test"
cmake --preset asan >/dev/null
cmake --build --preset asan -j 2 >/dev/null
ctest --preset asan

echo "== fuzz"
bash scripts/fuzz.sh

echo "== memcheck"
build="${TOLLWICK_MEMCHECK_BUILD:-build/linux}"
cycles="${TOLLWICK_CYCLES:-1000}"
[ -f "$build/CMakeCache.txt" ] || cmake --preset linux -B "$build" >/dev/null
cmake --build "$build" -j 2 --target Tollwick tollwick-host tollwick-cycles >/dev/null
memcheck=(valgrind -q --leak-check=full --show-leak-kinds=definite,indirect
  --errors-for-leak-kinds=definite,indirect --error-exitcode=99)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The checked-in session, then lines of hundreds of kilobytes.
join='To accept the request, type `join and press <enter>. To decline, type `decline and press <enter>'
{
  cat tests/faults/memcheck-session.txt
  printf '(%s%s\n' "$(head -c 200000 /dev/zero | tr '\0' x)" "$join"
  printf '(%s\n' "$(yes 'whispers, "' | head -n 20000 | tr -d '\n')"
  printf '@TW-SetWave /%s\n' "$(head -c 100000 /dev/zero | tr '\0' p)"
  printf '/save\n/start\n@TW-SetWave\n/about\n'
} >"$scratch/session.txt"
mkdir "$scratch/module"
"${memcheck[@]}" "$build/tollwick-host" --module "$build/Tollwick.so" --root "$scratch/module" \
  "$scratch/session.txt" >"$scratch/transcript.txt"
echo "memcheck session: $(wc -l <"$scratch/transcript.txt") transcript lines, no errors, no leaks"

"${memcheck[@]}" "$build/tests/faults/tollwick-cycles" "$build/Tollwick.so" "$scratch/cycles" "$cycles"
echo "memcheck cycles: no errors, no leaks"

echo "== hardening passed in $((SECONDS - started)) s"
