#!/usr/bin/env bash
# Installs every Debian package the builds, tests, benchmarks and demo need,
# by the names of the Debian release it runs on (12 or 13), and any packages
# named as arguments. Safe to run again: packages already present are skipped.
#
#   setup.sh [PACKAGE...]
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format clang-tidy valgrind
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386 wine32-preloader:i386
  # Where the kernel cannot run 32-bit programs: qemu-user runs 32-bit Wine
  # (which needs its preloader to start in seconds rather than minutes) and
  # the wineserver stays native. Not qemu-user-static nor qemu-user-binfmt:
  # they register emulators with the system.
  qemu-user wine64
  libcanberra-dev libcanberra-pulse sound-theme-freedesktop
  pulseaudio pulseaudio-utils sox
  zip unzip python3
  # Read the modules' hardening and structure: checksec the Linux library's
  # (RELRO, stack protector, fortified calls), pefile the DLL's.
  checksec python3-pefile
)
# The clang runtime for the sanitized and fuzz builds, by each release's name.
declare -A release_packages=([12]="libclang-rt-14-dev" [13]="libclang-rt-dev")

release=$(. /etc/os-release && echo "${ID:-unknown} ${VERSION_ID:-}")
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
version=${release#debian }
if [ "${release%% *}" != debian ] || [ -z "${release_packages[$version]:-}" ]; then
  echo "setup: this is ${release:-an unknown system} (/etc/os-release); setup supports Debian 12" \
    "and Debian 13 only and installed nothing. By hand you would need: ${packages[*]}" \
    "and the clang runtime matching clang's version (Debian 13: libclang-rt-dev)." >&2
  exit 1
fi
# shellcheck disable=SC2206 # a list of package names
packages+=(${release_packages[$version]} "$@")

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
install=("${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends)

# A mirror caught mid-sync fails one index while the others arrive: go on
# with the lists apt has.
update_log=$(mktemp)
trap 'rm -f "$update_log"' EXIT
if { "${sudo_cmd[@]}" apt-get update -q 2>&1 1>&3 | tee "$update_log" >&2; } 3>&1; then
  "${install[@]}" "${packages[@]}"
  exit
fi
failed=$(sed -n 's/^E: Failed to fetch \([^ ]*\).*/\1/p' "$update_log" | paste -sd " ")
echo "setup: apt-get update failed ${failed:-(see above)}; installing from the lists it has" >&2
"${install[@]}" "${packages[@]}" && exit

# The usual cause: a library's newer version from the security or updates
# archive is listed for amd64 while its i386 twin was in the failed list.
# The release's own archive holds both at one version, and apt downgrades
# nothing installed to reach it.
echo "setup: the install could not be resolved while ${failed:-an index} is missing;" \
  "trying once more from the release's own archive ($codename). Once the mirror is whole," \
  "run: sudo apt-get update && sudo apt-get upgrade" >&2
"${install[@]}" -t "$codename" "${packages[@]}" && exit
echo "setup: FAILED: no install can succeed now. apt-get update could not fetch ${failed:-an index}" \
  "(a mirror caught mid-sync), and packages installed here are at versions whose i386 twins" \
  "are listed only there. Nothing was installed; run this again once the mirror has synced" \
  "(apt-get update passes)." >&2
exit 1
