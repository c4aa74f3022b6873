#!/usr/bin/env bash
# Builds the module once more, in a fresh folder and seconds after the first
# build, and checks that both give the same bytes: a published release can be
# checked against its commit only if every build of that commit is the same.
#
#   check-reproducible.sh BUILT_MODULE SOURCE_DIR SCRATCH_DIR [CMAKE_OPTION...]
set -euo pipefail
built=$1 source=$2 scratch=$3
shift 3

rm -rf "$scratch"
cmake -S "$source" -B "$scratch" "$@" -DTOLLWICK_TESTS=OFF -DTOLLWICK_BENCHMARKS=OFF
cmake --build "$scratch" --target Tollwick -j2
again=$scratch/$(basename "$built")
differences=$(cmp -l "$built" "$again" 2>&1 | head -n 20) || true
if [ -n "$differences" ]; then
  echo "FAIL: $built and $again differ (offset, then octal bytes):" >&2
  echo "$differences" >&2
  exit 1
fi
echo "ok: $(basename "$built") built again in another folder is the same $(stat -c %s "$built") bytes"
rm -rf "$scratch"
