#!/usr/bin/env bash
# Runs every test of both builds: set-up, formatting, the Linux build and its
# tests, the Windows build and its tests under Wine, the check of the docs
# against the tree, and the further suites.
#
# The Windows suite runs the released 32-bit DLL: natively where the kernel
# runs 32-bit programs, otherwise under qemu-user (cmake/wine-run.sh).
#   TOLLWICK_32BIT=emulated   takes the emulated way on any machine
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/logged.sh
. scripts/logged.sh
bash scripts/setup.sh
# How 32-bit programs run here; status 1: they cannot, 2: a bad TOLLWICK_32BIT.
windows_status=0
windows_how=$(cmake/wine-run.sh --how) || windows_status=$?
[ "$windows_status" -le 1 ] || exit "$windows_status"

echo "== formatting"
git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

# build_and_test PRESET [CTEST_OPTION...]
build_and_test() {
  local preset=$1
  shift
  echo "== $preset: build and test $*"
  logged "build/logs/$preset-configure.log" cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset" "$@"
}

build_and_test linux
if [ "$windows_status" = 0 ]; then
  build_and_test win32
  echo "== Windows suite: the released DLL (win32), 32-bit programs run $windows_how"
else
  # Never a silent pass: the DLL's files are still checked, and the line says
  # why no more ran.
  build_and_test win32 -R '^(binary|build)\.'
  echo "== Windows suite NOT RUN, only the checks of the released DLL's files: $windows_how"
fi

echo "== docs: what README.md, docs/ and CHANGELOG.md name is in the tree"
/usr/bin/python3 tests/docs/check-docs.py

echo "== hardening: sanitizers, fuzzing, memory checks"
bash scripts/test-hardening.sh
