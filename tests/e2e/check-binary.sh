#!/usr/bin/env bash
# Checks the built libraries themselves: what they export and import, and
# that every export returns like a C function (the caller removes the
# arguments).
#
#   check-binary.sh windows OBJDUMP Tollwick.dll modhost.dll HOST_LIBRARY_NAME
#   check-binary.sh linux NM Tollwick.so
set -uo pipefail

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

# The way the function at address (hex) returns: "ret", or "ret $0xN" when it
# removes its own arguments. Unconditional jumps (tail calls) are followed.
windows_return_of() {
  local dll=$1 address=$2 hops
  for hops in 1 2 3 4 5 6 7 8; do
    local step
    step=$("$objdump" -d --no-show-raw-insn --start-address=$((address)) \
      --stop-address=$((address + 4096)) "$dll" |
      awk -F'\t' '$2 ~ /^ret/ { sub(/ +$/, "", $2); gsub(/ +/, " ", $2); print $2; exit }
                  $2 ~ /^jmp +0x/ { split($2, a, / +/); print "jump " a[2]; exit }')
    case $step in
    "jump "*) address=${step#jump } ;;
    *) echo "${step:-no return found}"; return ;;
    esac
  done
  echo "no return within $hops jumps"
}

# Checks that the DLL exports exactly the names, each returning with a plain
# ret; with "ordered", also that their ordinals run 1, 2, ... in that order.
check_windows_exports() {
  local dll=$1 ordered=$2
  shift 2
  local wanted=("$@") headers name_table address_table base image_base
  headers=$("$objdump" -p "$dll") || { fail "$objdump cannot read $dll"; return; }
  image_base=0x$(awk '$1 == "ImageBase" { print $2 }' <<<"$headers")
  base=$(sed -n 's/^Export Address Table -- Ordinal Base \([0-9]*\).*/\1/p' <<<"$headers")
  # "[index] name" pairs and "[index] +base[ordinal] rva Export RVA" rows.
  name_table=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" |
    sed -n 's/^\t\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p')
  address_table=$(sed -n '/^Export Address Table -- Ordinal Base/,/^$/p' <<<"$headers" |
    sed -n 's/^\t\[ *\([0-9]*\)\] +base\[ *[0-9]*\] \([0-9a-f]*\) Export RVA$/\1 \2/p')

  local names
  names=$(awk '{ print $2 }' <<<"$name_table" | sort | tr '\n' ' ')
  local expected_names
  expected_names=$(printf '%s\n' "${wanted[@]}" | sort | tr '\n' ' ')
  if [ "$names" = "$expected_names" ]; then
    pass "$(basename "$dll") exports exactly: $expected_names"
  else
    fail "$(basename "$dll") exports [$names], expected [$expected_names]"
  fi

  local i
  for i in "${!wanted[@]}"; do
    local name=${wanted[$i]} index rva ordinal
    index=$(awk -v n="$name" '$2 == n { print $1 }' <<<"$name_table")
    [ -n "$index" ] || continue
    ordinal=$((index + base))
    if [ "$ordered" != ordered ]; then
      :
    elif [ "$ordinal" -eq $((i + 1)) ]; then
      pass "$name has ordinal $ordinal"
    else
      fail "$name has ordinal $ordinal, expected $((i + 1))"
    fi
    rva=$(awk -v i="$index" '$1 == i { print $2 }' <<<"$address_table")
    local returns
    returns=$(windows_return_of "$dll" $((image_base + 0x$rva)))
    if [ "$returns" = ret ]; then
      pass "$name returns with plain ret"
    else
      fail "$name returns with '$returns', expected plain ret (C convention)"
    fi
  done
}

check_windows_imports() {
  local dll=$1 headers dlls
  headers=$("$objdump" -p "$dll")
  dlls=$(sed -n 's/^\tDLL Name: //p' <<<"$headers")
  local imported
  while IFS= read -r imported; do
    case ${imported,,} in
    kernel32.dll | msvcrt.dll | user32.dll | winmm.dll | "${host_library,,}")
      pass "$(basename "$dll") imports $imported" ;;
    *) fail "$(basename "$dll") imports $imported, which is not a system library or $host_library" ;;
    esac
  done <<<"$dlls"
  # What the module takes from the host's library: its three services only.
  local services
  services=$(awk -v host="${host_library,,}" '/^\tDLL Name: / { inside = (tolower($3) == host); next }
                  inside && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print $3 }
                  inside && NF == 0 { inside = 0 }' <<<"$headers" | sort | tr '\n' ' ')
  if [ "$services" = "q2_modenable q2_modroot q2_speak " ]; then
    pass "$(basename "$dll") takes from $host_library by name: $services"
  else
    fail "$(basename "$dll") takes [$services] by name from $host_library," \
      "expected q2_modenable q2_modroot q2_speak"
  fi
}

# The released module is a 32-bit x86 DLL.
check_windows_machine() {
  local dll=$1 format
  format=$("$objdump" -f "$dll" | sed -n 's/.*file format //p')
  if [ "$format" = pei-i386 ]; then
    pass "$(basename "$dll") is a 32-bit x86 PE file"
  else
    fail "$(basename "$dll") has file format '$format', expected pei-i386"
  fi
}

# A guest in the host's process installs no exception handlers and starts no
# threads.
check_windows_guest_imports() {
  local dll=$1 functions
  functions=$("$objdump" -p "$dll" |
    awk '/^\tDLL Name: / { inside = 1; next }
         inside && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print $3 }
         inside && NF == 0 { inside = 0 }')
  check_not_imported "$dll" "$functions" AddVectoredExceptionHandler AddVectoredContinueHandler \
    SetUnhandledExceptionFilter CreateThread _beginthreadex
}

# Fails for each of the names that the list of imported functions holds.
check_not_imported() {
  local library=$1 functions=$2 name found=
  shift 2
  [ -n "$functions" ] || { fail "no imported functions read from $(basename "$library")"; return; }
  for name in "$@"; do
    if grep -qx "$name" <<<"$functions"; then
      fail "$(basename "$library") imports $name"
      found=1
    fi
  done
  [ -n "$found" ] || pass "$(basename "$library") imports none of: $*"
}

check_linux() {
  local so=$1 defined undefined
  defined=$("$nm" -D --defined-only "$so" | awk '{ print $3 }' | sort | tr '\n' ' ')
  local expected
  expected=$(printf '%s\n' on_onet on_inet on_command on_world on_wndproc on_client on_module |
    sort | tr '\n' ' ')
  if [ "$defined" = "$expected" ]; then
    pass "$(basename "$so") defines exactly: $expected"
  else
    fail "$(basename "$so") defines [$defined], expected [$expected]"
  fi
  local kinds
  kinds=$("$nm" -D --defined-only "$so" | awk '$2 != "T" { print $3 " is " $2 }')
  [ -z "$kinds" ] && pass "every export is a function" || fail "exports that are not functions: $kinds"
  undefined=$("$nm" -D --undefined-only "$so" | awk '{ print $2 }')
  # It leaves the host's process-wide settings as it found them.
  check_not_imported "$so" "$(sed 's/@.*//' <<<"$undefined")" umask chdir fchdir setlocale \
    signal sigaction setenv putenv unsetenv setrlimit
  local service
  for service in q2_speak q2_modroot q2_modenable; do
    if grep -qx "$service" <<<"$undefined"; then
      pass "$service is left for the host program"
    else
      fail "$service is not an undefined reference (unversioned) of $(basename "$so")"
    fi
  done
}

case ${1:-} in
windows)
  objdump=$2 host_library=$5
  check_windows_machine "$3"
  check_windows_exports "$3" ordered on_onet on_inet on_command on_world on_wndproc on_client on_module
  check_windows_imports "$3"
  check_windows_guest_imports "$3"
  check_windows_exports "$4" any-order q2_speak q2_modroot q2_modenable
  ;;
linux)
  nm=$2
  check_linux "$3"
  ;;
*)
  echo "usage: $0 windows OBJDUMP MODULE.dll MODHOST.dll HOST_LIBRARY_NAME | linux NM MODULE.so" >&2
  exit 2
  ;;
esac
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
