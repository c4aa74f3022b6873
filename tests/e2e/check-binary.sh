#!/usr/bin/env bash
# Checks the built libraries themselves: what they export and import, that
# every export returns like a C function (the caller removes the arguments),
# their hardening, and that each ships stripped with a debug file beside it.
#
#   check-binary.sh windows NM OBJDUMP ADDR2LINE Tollwick.dll modhost.dll HOST_LIBRARY_NAME
#   check-binary.sh windows-guard NM Tollwick.dll RUNS PROBE_COMMAND...
#   check-binary.sh linux NM OBJDUMP ADDR2LINE Tollwick.so HARDENED(yes|no)
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

# The facts pe-structure.py reads of a PE file (one a line, see there), of
# the file's own structures rather than a tool's text.
pe_structure() {
  "$(dirname "$0")/pe-structure.py" "$@"
}

# "name ordinal address" for each export of the DLL, the address as it is with
# the DLL loaded at its preferred base.
windows_exports() {
  pe_structure "$1" | awk '$1 == "export" { print $2, $3, $4 }'
}

# Checks that the DLL exports exactly the names, each returning with a plain
# ret; with "ordered", also that their ordinals run 1, 2, ... in that order.
check_windows_exports() {
  local dll=$1 ordered=$2
  shift 2
  local wanted=("$@") exports
  exports=$(windows_exports "$dll") || { fail "cannot read the exports of $dll"; return; }

  local names
  names=$(awk '{ print $1 }' <<<"$exports" | sort | tr '\n' ' ')
  local expected_names
  expected_names=$(printf '%s\n' "${wanted[@]}" | sort | tr '\n' ' ')
  if [ "$names" = "$expected_names" ]; then
    pass "$(basename "$dll") exports exactly: $expected_names"
  else
    fail "$(basename "$dll") exports [$names], expected [$expected_names]"
  fi

  local i
  for i in "${!wanted[@]}"; do
    local name=${wanted[$i]} ordinal address
    read -r ordinal address < <(awk -v n="$name" '$1 == n { print $2, $3 }' <<<"$exports")
    [ -n "$ordinal" ] || continue
    if [ "$ordered" != ordered ]; then
      :
    elif [ "$ordinal" -eq $((i + 1)) ]; then
      pass "$name has ordinal $ordinal"
    else
      fail "$name has ordinal $ordinal, expected $((i + 1))"
    fi
    local returns
    returns=$(windows_return_of "$dll" "$address")
    if [ "$returns" = ret ]; then
      pass "$name returns with plain ret"
    else
      fail "$name returns with '$returns', expected plain ret (C convention)"
    fi
  done
}

# The DLL's mitigations: loaded at any base (DYNAMIC_BASE, with the relocation
# table that needs), no code run from data (NX_COMPAT), and no address in it
# taken as an exception handler (NO_SEH).
check_windows_hardening() {
  local dll=$1 structure characteristics mark
  structure=$(pe_structure "$dll")
  characteristics=$(awk '$1 == "dll_characteristics" { print $2 }' <<<"$structure")
  for mark in DYNAMIC_BASE=0x40 NX_COMPAT=0x100 NO_SEH=0x400; do
    if ((characteristics & ${mark#*=})); then
      pass "$(basename "$dll") is marked ${mark%=*}"
    else
      fail "$(basename "$dll") is not marked ${mark%=*} (DllCharacteristics $characteristics)"
    fi
  done
  local relocations
  relocations=$(awk '$1 == "relocations" { print $2 }' <<<"$structure")
  if ((relocations > 0)); then
    pass "$(basename "$dll") has a relocation table of $relocations bytes"
  else
    fail "$(basename "$dll") has no relocation table"
  fi
}

check_windows_imports() {
  local dll=$1 imports
  imports=$(pe_structure "$dll" | awk '$1 == "import" { print $2, $3 }')
  local imported
  while IFS= read -r imported; do
    case ${imported,,} in
    kernel32.dll | msvcrt.dll | user32.dll | winmm.dll | "${host_library,,}")
      pass "$(basename "$dll") imports $imported" ;;
    *) fail "$(basename "$dll") imports $imported, which is not a system library or $host_library" ;;
    esac
  done < <(awk '{ print $1 }' <<<"$imports" | uniq)
  # What the module takes from the host's library: its three services only,
  # each by name.
  local services
  services=$(awk -v host="${host_library,,}" 'tolower($1) == host { print $2 }' <<<"$imports" |
    sort | tr '\n' ' ')
  if [ "$services" = "q2_modenable q2_modroot q2_speak " ]; then
    pass "$(basename "$dll") takes from $host_library by name: $services"
  else
    fail "$(basename "$dll") takes [$services] from $host_library," \
      "expected q2_modenable q2_modroot q2_speak by name"
  fi
}

# The released module is a 32-bit x86 DLL.
check_windows_machine() {
  local dll=$1 format
  format=$(pe_structure "$dll" | sed -n 's/^format //p')
  # PE32 (optional header magic 0x10b) for x86 (machine 0x14c).
  if [ "$format" = "0x10b 0x14c" ]; then
    pass "$(basename "$dll") is a 32-bit x86 PE file"
  else
    fail "$(basename "$dll") has magic and machine '$format', expected 0x10b 0x14c (32-bit x86)"
  fi
}

# A guest in the host's process installs no exception handlers and starts no
# threads.
check_windows_guest_imports() {
  local dll=$1 functions
  functions=$(pe_structure "$dll" | awk '$1 == "import" { print $3 }')
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

# The library's hardening as checksec reads it: full RELRO (read-only after
# relocation, all bound at load), and where HARDENED is yes a stack protector
# and fortified calls (sanitized builds have neither).
check_linux_hardening() {
  local so=$1 hardened=$2 report
  report=$(checksec --output=json --file="$so" |
    python3 -c 'import json, sys
for key, value in next(iter(json.load(sys.stdin).values())).items(): print(f"{key}={value}")') ||
    { fail "checksec cannot read $so"; return; }
  local property
  for property in relro=full "canary=$hardened" "fortify_source=$hardened"; do
    if grep -qx "$property" <<<"$report"; then
      pass "$(basename "$so") has $property"
    else
      fail "$(basename "$so") lacks $property: $(tr '\n' ' ' <<<"$report")"
    fi
  done
}

# The DLL's stack protector without libssp, and its functions with buffers on
# the command and settings paths checking the guard. The guard and the
# failure path are the module's own: the link would fail on a second pair.
check_windows_stack_guard() {
  local dll=$1 symbols guard_fail name start end
  grep -q libssp "$dll.map" && fail "the link of $(basename "$dll") took libssp" ||
    pass "the link of $(basename "$dll") took nothing of libssp"
  symbols=$("$nm" -nC "$dll.debug")
  guard_fail=$(awk '$3 == "__stack_chk_fail" { print $1 }' <<<"$symbols")
  for name in handle_command load_settings save_settings file_exists; do
    read -r start end < <(awk -v name="$name(" 'found { print "0x" $1; exit }
      index($3, name) == 1 && $2 ~ /^[Tt]$/ { printf "0x%s ", $1; found = 1 }' <<<"$symbols")
    grep -Eq "call +0x$guard_fail\b" <<<"$("$objdump" -d --start-address="$start" \
      --stop-address="$end" "$dll")" && pass "$name checks the stack guard" ||
      fail "$name ($start to $end) does not call __stack_chk_fail at 0x$guard_fail"
  done
}

# The guard of the loaded DLL, read in RUNS processes by the probe command
# (which, given the offset, prints "0xVALUE at offset ..."): never its value
# in the file nor one seen before, and each byte takes more than RUNS/2
# values, as a mix of the seeding sources gives and a plain XOR does not.
check_windows_seeded_guard() {
  local dll=$1 runs=$2 address image_base in_file output values
  shift 2
  address=0x$("$nm" -C "$dll.debug" | awk '$3 == "__stack_chk_guard" { print $1 }')
  read -r image_base in_file < <(pe_structure "$dll" "$address" |
    awk '$1 == "image_base" { base = $2 } $1 == "dword" { print base, $3 }')
  # Into a file: a pipe would stay open as long as the Wine server lives.
  output=$(mktemp)
  for _ in $(seq "$runs"); do "$@" "$((address - image_base))" >>"$output"; done
  values=$(tr -d '\r' <"$output" | awk '$2 == "at" { print $1 }')
  rm -f "$output"
  echo "guard in the file: $in_file; loaded: $(tr '\n' ' ' <<<"$values")"
  [ "$(sort -u <<<"$values" | grep -c .)" -eq "$runs" ] && ! grep -qx "$in_file" <<<"$values" &&
    pass "the guard differs in each of $runs processes and from the file" ||
    fail "the guard repeats, keeps its value in the file or was not read"
  local fewest
  fewest=$(awk '{ for (i = 0; i < 4; i++) distinct[i] += !seen[i, substr($1, 3 + 2 * i, 2)]++ }
    END { n = distinct[0]; for (i in distinct) if (distinct[i] < n) n = distinct[i]; print n + 0 }' \
    <<<"$values")
  ((fewest * 2 > runs)) && pass "each byte of the guard took at least $fewest values" ||
    fail "a byte of the guard took only $fewest values in $runs processes"
}

# The shipped module holds neither debug information nor a symbol table, and
# names its debug file beside it, through which the address of on_inet
# resolves to its source line.
check_debug_file() {
  local module=$1 address=$2 resolved
  if "$objdump" -h "$module" | grep -q ' \.debug_' || ! "$objdump" -t "$module" | grep -qx 'no symbols'; then
    fail "$(basename "$module") carries debug information or symbols"
  else
    pass "$(basename "$module") is stripped"
  fi
  resolved=$("$addr2line" -f -e "$module" "$address" | tr '\n' ' ')
  if [[ $resolved =~ ^on_inet\ (.*/)?module/Tollwick\.cpp:[0-9]+\ $ ]]; then
    pass "on_inet at $address resolves through $(basename "$module").debug to $resolved"
  else
    fail "on_inet at $address resolves to '$resolved', expected on_inet in module/Tollwick.cpp"
  fi
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
  nm=$2 objdump=$3 addr2line=$4 host_library=$7
  check_windows_machine "$5"
  check_windows_exports "$5" ordered on_onet on_inet on_command on_world on_wndproc on_client on_module
  check_windows_imports "$5"
  check_windows_guest_imports "$5"
  check_windows_hardening "$5"
  check_windows_stack_guard "$5"
  check_debug_file "$5" "$(windows_exports "$5" | awk '$1 == "on_inet" { print $3 }')"
  check_windows_exports "$6" any-order q2_speak q2_modroot q2_modenable
  ;;
windows-guard)
  nm=$2
  check_windows_seeded_guard "${@:3}"
  ;;
linux)
  nm=$2 objdump=$3 addr2line=$4
  check_linux "$5"
  check_linux_hardening "$5" "$6"
  check_debug_file "$5" "0x$("$nm" -D --defined-only "$5" | awk '$3 == "on_inet" { print $1 }')"
  ;;
*)
  echo "usage: $0 windows NM OBJDUMP ADDR2LINE MODULE.dll MODHOST.dll HOST_LIBRARY_NAME" \
    "| windows-guard NM MODULE.dll RUNS PROBE_COMMAND... | linux NM OBJDUMP ADDR2LINE MODULE.so HARDENED" >&2
  exit 2
  ;;
esac
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
