#!/usr/bin/env bash
# Installs every Debian package the builds, tests, benchmarks and demo need.
# Safe to run again: packages already present are skipped by apt.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format clang-tidy libclang-rt-14-dev valgrind
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386 wine32-preloader:i386
  # Where the kernel cannot run 32-bit programs: qemu-user runs 32-bit Wine
  # (which needs its preloader to start in seconds rather than minutes) and
  # the wineserver stays native.
  qemu-user-static wine64
  libcanberra-dev libcanberra-pulse sound-theme-freedesktop
  pulseaudio pulseaudio-utils sox
  zip unzip python3
  # Reads the Linux module's hardening (RELRO, stack protector, fortified calls).
  checksec
)

need_install=0
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || { need_install=1; break; }
done
[ "$need_install" = 1 ] || exit 0

sudo_cmd=()
[ "$(id -u)" = 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
# A mirror caught mid-sync fails one index while the others arrive: go on
# with the lists apt has, and let the install say what it cannot find.
"${sudo_cmd[@]}" apt-get update -q ||
  echo "setup: apt-get update reported errors (see above); installing from the lists it has" >&2
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${packages[@]}"
