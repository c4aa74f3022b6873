#!/usr/bin/env bash
# The portable library carries the Windows version record's data in its
# .tollwick_version section; check every field without loading the library.
set -euo pipefail
library=$1
record=$(objcopy -O binary --only-section=.tollwick_version "$library" /dev/stdout | tr -d '\0')
expected='FileVersionNumbers=1.0.0.2
ProductVersionNumbers=1.0.0.2
Translation=040904E4
FileVersion=1.0.0.2
ProductVersion=1.0.0.0
ProductName=Tollwick - Module Version
InternalName=tollwick.dll
OriginalFilename=tollwick.dll'
actual=$(printf '%s\n' "$record" | head -n 8)
if [ "$actual" != "$expected" ]; then
  echo "version section of $library differs:"
  diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") || true
  exit 1
fi
echo "version section: ok"
