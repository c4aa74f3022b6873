#!/usr/bin/env bash
# Runs every test of both builds: set-up, the Linux build and its tests, the
# Windows build and its tests under Wine, and the further suites.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

echo "== formatting"
git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

for preset in linux win32; do
  echo "== $preset: build and test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  if [ "$preset" = win32 ] && ! cmake/wine-run.sh --can-run; then
    echo "== NOTE: this machine cannot run 32-bit x86 programs (its kernel's 32-bit" \
      "emulation is off), so Wine cannot run the Windows tests here. Only the checks" \
      "of the built files run." >&2
    ctest --preset win32 -R '^binary\.'
  else
    ctest --preset "$preset"
  fi
done

echo "== hardening: sanitizers, fuzzing, memory checks"
bash scripts/test-hardening.sh
