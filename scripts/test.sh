#!/usr/bin/env bash
# Runs every test of both builds: set-up, formatting, the Linux build and its
# tests, the Windows builds and their tests under Wine, and the further suites.
#
# The released Windows module is 32-bit (win32); its suite runs where the
# machine runs 32-bit programs. The 64-bit stand-in (win64) runs the same
# suite under 64-bit Wine on every machine, so that it never rots; where
# win32 cannot run, its file checks still do.
#   TOLLWICK_WINDOWS_TESTS=win64   takes that path on any machine
set -euo pipefail
cd "$(dirname "$0")/.."
case ${TOLLWICK_WINDOWS_TESTS:-} in
"" | win64) ;;
*) echo "TOLLWICK_WINDOWS_TESTS is '$TOLLWICK_WINDOWS_TESTS': leave it unset or set it to win64" >&2; exit 2 ;;
esac
bash scripts/setup.sh

echo "== formatting"
git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

# build_and_test PRESET [CTEST_OPTION...]
build_and_test() {
  local preset=$1
  shift
  echo "== $preset: build and test $*"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" "$@"
}

build_and_test linux
if [ -z "${TOLLWICK_WINDOWS_TESTS:-}" ] && cmake/wine-run.sh --can-run; then
  build_and_test win32
  windows_suites="win32 (the released DLL) and win64 (the stand-in), both under Wine"
else
  why="this machine cannot run 32-bit programs"
  [ -z "${TOLLWICK_WINDOWS_TESTS:-}" ] || why="TOLLWICK_WINDOWS_TESTS=win64"
  build_and_test win32 -R '^(binary|build)\.'
  windows_suites="win64 (the stand-in) under 64-bit Wine; of win32 (the released DLL) only the checks of its files ($why)"
fi
build_and_test win64
echo "== Windows suites run: $windows_suites"

echo "== hardening: sanitizers, fuzzing, memory checks"
bash scripts/test-hardening.sh
