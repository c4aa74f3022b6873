#!/usr/bin/env bash
# Runs a Windows program under Wine for the tests. One prefix serves a whole
# run, and one wineserver is started ahead of the programs and kept for 30 s:
# a server started by the first program would hold CTest's output pipe open
# and make every test wait for it.
#
#   wine-run.sh PROGRAM ARGS...       a 32-bit program, under the wine wrapper
#   wine-run.sh --64 PROGRAM ARGS...  a 64-bit program (the win64 stand-in
#                                     build), under 64-bit Wine, which also
#                                     runs where 32-bit programs cannot
#   wine-run.sh --can-run             exits 0 when this machine runs Wine's
#                                     32-bit programs natively. A kernel may
#                                     have its 32-bit emulation switched off;
#                                     a processor emulator standing in for it
#                                     is far too slow for the tests.
set -euo pipefail
if [ "${1:-}" = --can-run ]; then
  if grep -qsx 'magic 7f454c4601010100000000000000000002000300' /proc/sys/fs/binfmt_misc/*; then
    exit 1
  fi
  exec /usr/lib/i386-linux-gnu/ld-linux.so.2 --version >/dev/null 2>&1
fi
wine=wine wineserver=wineserver prefix=${TOLLWICK_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tollwick-wine}
if [ "${1:-}" = --64 ]; then
  shift
  # The wrapper would pick the 32-bit loader whenever it is installed.
  wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64 prefix=${prefix}64
fi
export WINEPREFIX=$prefix
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$WINEPREFIX"
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot -i >/dev/null 2>&1 9>&- || true
  fi
  # A new server also needs Wine's service processes; started by the first
  # program instead, they would hold CTest's output pipe for as long as the
  # server lives.
  if "$wineserver" -p30 >/dev/null 2>&1 9>&- </dev/null; then
    "$wine" wineboot >/dev/null 2>&1 9>&- </dev/null || true
  fi
) 9>"$WINEPREFIX.lock"
exec "$wine" "$@"
