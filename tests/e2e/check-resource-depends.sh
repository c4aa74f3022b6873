#!/usr/bin/env bash
# Checks that the build knows what the resource script includes: every
# compiled copy of it depends, in Ninja's record, on each header it includes,
# so that an edit of a fixed text rebuilds every string table.
#
#   check-resource-depends.sh NINJA BUILD_DIR RESOURCE_SCRIPT
set -euo pipefail
ninja=$1 build=$2 script=$3

mapfile -t headers < <(sed -n 's/^#include "\(.*\)"/\1/p' "$script")
[ ${#headers[@]} -gt 0 ] || { echo "FAIL: no #include \"...\" read from $script" >&2; exit 1; }
objects=0 failures=0
while IFS= read -r object; do
  objects=$((objects + 1))
  depends=$("$ninja" -C "$build" -t deps "$object")
  for header in "${headers[@]}"; do
    grep -q "/$header\$" <<<"$depends" || {
      echo "FAIL: $object does not depend on $header" >&2
      failures=$((failures + 1))
    }
  done
done < <("$ninja" -C "$build" -t deps | sed -n "s|^\(.*/$(basename "$script")\.[a-z]*\): #deps.*|\1|p")
[ "$objects" -gt 0 ] || { echo "FAIL: Ninja records no dependencies of $(basename "$script")" >&2; exit 1; }
[ "$failures" -eq 0 ] || exit 1
echo "ok: $objects compiled copies of $(basename "$script") depend on ${headers[*]}"
