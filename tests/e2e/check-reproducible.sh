#!/usr/bin/env bash
# Builds the module once more, in a fresh folder and seconds after the first
# build, and checks that both give the same module and the same debug file: a
# published release can be checked against its commit only if every build of
# that commit is the same.
#
#   check-reproducible.sh BUILT_MODULE SOURCE_DIR SCRATCH_DIR [CMAKE_OPTION...]
set -euo pipefail
built=$1 source=$2 scratch=$3
shift 3

rm -rf "$scratch"
cmake -S "$source" -B "$scratch" "$@" -DTOLLWICK_TESTS=OFF -DTOLLWICK_BENCHMARKS=OFF
cmake --build "$scratch" --target Tollwick -j2
status=0
for file in "$built" "$built.debug"; do
  again=$scratch/$(basename "$file")
  differences=$(cmp -l "$file" "$again" 2>&1 | head -n 20) || true
  if [ -n "$differences" ]; then
    echo "FAIL: $file and $again differ (offset, then octal bytes):" >&2
    echo "$differences" >&2
    status=1
  else
    echo "ok: $(basename "$file") built again in another folder is the same $(stat -c %s "$file") bytes"
  fi
done
[ "$status" = 1 ] || rm -rf "$scratch"
exit "$status"
