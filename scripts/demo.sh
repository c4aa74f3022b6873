#!/usr/bin/env bash
# The module from nothing to a release: installs what the builds need, builds
# the Linux and the Windows module, replays examples/session.txt through the
# host program on each (under Wine for Windows: natively, or under qemu-user
# where the kernel cannot run 32-bit programs), and packs the release in dist/.
#
# Each build is installed into a fresh folder build/demo/<preset>, as a user
# would install it: module, host program and bell.wav side by side. The
# transcript marks every server line rung or silent and shows what the module
# said, and ends with the settings file the session left. With a sound server running
# the bells are heard.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/logged.sh
. scripts/logged.sh

bash scripts/setup.sh

# Only what the demo and the release need: module, host program, default sound.
declare -A demo_targets=([linux]="Tollwick tollwick-host bell_wav"
  [win32]="Tollwick tollwick-host modhost bell_wav")
for preset in linux win32; do
  echo "== Building the $preset module"
  logged "build/logs/$preset-configure.log" cmake --preset "$preset"
  # shellcheck disable=SC2086 # a list of target names
  cmake --build --preset "$preset" --target ${demo_targets[$preset]}
done

# install_and_replay PRESET TITLE FILE...: copies the built files into the
# demo folder and replays the session there.
install_and_replay() {
  local preset=$1 title=$2
  shift 2
  local folder=build/demo/$preset
  rm -rf "$folder"
  mkdir -p "$folder"
  local file
  for file in "$@" bell.wav; do
    cp "build/$preset/$file" "$folder/"
  done
  cp examples/session.txt "$folder/"

  echo
  echo "== $title: examples/session.txt"
  if [ "$preset" = win32 ]; then
    # Without a sound server Wine falls back to ALSA, which complains on
    # every start; the host program's own messages still pass.
    (cd "$folder" && ../../../cmake/wine-run.sh tollwick-host.exe session.txt) \
      2> >(grep -v '^ALSA lib' >&2) | tr -d '\r'
  else
    (cd "$folder" && ./tollwick-host session.txt)
  fi
  echo "-- $folder/Tollwick.ini after the session:"
  tr -d '\r' <"$folder/Tollwick.ini"
}

install_and_replay linux "Linux build (Tollwick.so)" Tollwick.so tollwick-host
# The host's services library has the name the build was configured with.
host_library=$(sed -n 's/^TOLLWICK_HOST_LIBRARY:STRING=//p' build/win32/CMakeCache.txt)
if windows_how=$(cmake/wine-run.sh --how); then
  install_and_replay win32 "Windows build (Tollwick.dll under Wine)" \
    Tollwick.dll tollwick-host.exe "$host_library"
  echo "== The Windows session ran on the released DLL; 32-bit programs ran $windows_how."
else
  echo "== NOTE: the Windows session did not run: $windows_how." >&2
fi

echo
bash scripts/release.sh build/linux build/win32
