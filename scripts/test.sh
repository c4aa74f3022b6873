#!/usr/bin/env bash
# Runs every test of both builds: set-up, the Linux build and its tests, the
# Windows build and its tests under Wine, and the further suites.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

for preset in linux win32; do
  echo "== $preset: build and test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

echo "== hardening: sanitizers, fuzzing, memory checks"
bash scripts/test-hardening.sh
