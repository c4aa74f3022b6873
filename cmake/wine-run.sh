#!/usr/bin/env bash
# Runs a 32-bit Windows program under Wine for the tests. One prefix serves a
# whole run, and one wineserver is started ahead of the programs and kept for
# 30 s: a server started by the first program would hold CTest's output pipe
# open and make every test wait for it.
#
#   wine-run.sh PROGRAM ARGS...   runs the program
#   wine-run.sh --how             prints how 32-bit programs run here,
#                                 "natively" or "under emulation", or prints
#                                 why they cannot and exits 1
#   (exit status 2: TOLLWICK_32BIT is neither unset nor "emulated")
#
# Where the kernel cannot run 32-bit programs, qemu-user runs them: each
# program starts in a user namespace of its own that mounts a private
# binfmt_misc with one entry sending 32-bit x86 programs to qemu-i386
# (Linux 6.7 or later). The entry and the mount end with the namespace's last
# process, so the machine keeps none of it, however the program ends.
# TOLLWICK_32BIT=emulated takes that way also where the kernel runs them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
qemu=/usr/bin/qemu-i386
binfmt=/proc/sys/fs/binfmt_misc
# A 32-bit x86 ELF program: its header's first 20 bytes, and which bits count,
# as binfmt_misc's register takes them.
i386_magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

case ${TOLLWICK_32BIT:-} in
"" | emulated) ;;
*) echo "wine-run.sh: TOLLWICK_32BIT is '$TOLLWICK_32BIT': leave it unset or set it to emulated" >&2; exit 2 ;;
esac

# how_32bit_programs_run: prints "natively" or "under emulation"; or why
# neither, and returns 1.
how_32bit_programs_run() {
  # An emulator the machine has registered for 32-bit programs is not native.
  if [ -z "${TOLLWICK_32BIT:-}" ] && ! grep -qsx "magic ${i386_magic//\\x/}" "$binfmt"/* &&
    /usr/lib/i386-linux-gnu/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo natively
  elif [ ! -x "$qemu" ]; then
    echo "this machine cannot run 32-bit programs, and $qemu is missing"
    return 1
  elif ! unshare --user --map-root-user --mount mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null; then
    echo "this machine cannot run 32-bit programs, and it has no private binfmt_misc in a user namespace (that needs Linux 6.7 or later) for qemu-user to run them"
    return 1
  else
    echo "under emulation"
  fi
}

if [ "${1:-}" = --how ]; then
  how_32bit_programs_run
  exit
fi
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ "${1:-}" = --in-namespace ]; then
  shift
  mount -t binfmt_misc binfmt_misc "$binfmt"
  printf '%s' ":tollwick-i386:M::$i386_magic:$i386_mask:$qemu:F" >"$binfmt/register"
  # qemu reserves none of the guest's 4 GB by default, and Wine's start-up
  # then fails tens of thousands of reservations: about a minute a program.
  export QEMU_RESERVED_VA=0xffff0000
  # Nor can Wine's 32-bit PulseAudio client map its memory pool under qemu:
  # Wine's ALSA driver plays instead, piped to the sound server by the
  # machine's own pacat.
  if [ -n "${PULSE_SERVER:-}" ]; then
    export ALSA_CONFIG_PATH=$here/alsa-to-pulse.conf
    WINEDLLOVERRIDES+=";winepulse.drv=d"
  fi
else
  how=$(how_32bit_programs_run) || { echo "wine-run.sh: $how" >&2; exit 1; }
  [ "$how" = natively ] || exec unshare --user --map-root-user --mount "$here/wine-run.sh" --in-namespace "$@"
fi

export WINEPREFIX=${TOLLWICK_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tollwick-wine}
export WINEDEBUG="${WINEDEBUG:--all}"
mkdir -p "$WINEPREFIX"
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine wineboot -i >/dev/null 2>&1 9>&- || true
    wineserver -w 9>&- || true
  fi
  # A new server also needs Wine's service processes; started by the first
  # program instead, they would hold CTest's output pipe for as long as the
  # server lives.
  if wineserver -p30 >/dev/null 2>&1 9>&- </dev/null; then
    wine wineboot >/dev/null 2>&1 9>&- </dev/null || true
  fi
) 9>"$WINEPREFIX.lock"
exec wine "$@"
