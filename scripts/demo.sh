#!/usr/bin/env bash
# The module from nothing to a release: installs what the builds need, builds
# the Linux and the Windows module, replays examples/session.txt through the
# host program on each (under Wine for Windows), and packs the release in dist/.
# Where this machine cannot run 32-bit programs (or TOLLWICK_WINDOWS_TESTS=win64
# says to act so), the released 32-bit DLL is built and its files checked, and
# the session is replayed on the 64-bit stand-in build (win64) instead.
#
# Each build is installed into a fresh folder build/demo/<preset>, as a user
# would install it: module, host program and bell.wav side by side. The
# transcript marks every server line rung or silent and shows what the module
# said, and ends with the settings file the session left. With a sound server running
# the bells are heard.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

replayed_windows=win32 why=
if [ "${TOLLWICK_WINDOWS_TESTS:-}" = win64 ]; then
  replayed_windows=win64 why="TOLLWICK_WINDOWS_TESTS=win64"
elif ! cmake/wine-run.sh --can-run; then
  replayed_windows=win64 why="this machine cannot run 32-bit programs"
fi

# Only what the demo and the release need: module, host program, default sound.
windows_targets="Tollwick tollwick-host modhost bell_wav"
declare -A demo_targets=([linux]="Tollwick tollwick-host bell_wav"
  [win32]=$windows_targets [win64]=$windows_targets)
presets=(linux win32)
[ "$replayed_windows" = win32 ] || presets+=(win64)
for preset in "${presets[@]}"; do
  echo "== Building the $preset module"
  cmake --preset "$preset" >/dev/null
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
  if [ "$preset" != linux ]; then
    local wine=(../../../cmake/wine-run.sh)
    [ "$preset" = win32 ] || wine+=(--64)
    # Without a sound server Wine falls back to ALSA, which complains on
    # every start; the host program's own messages still pass.
    (cd "$folder" && "${wine[@]}" tollwick-host.exe session.txt) \
      2> >(grep -v '^ALSA lib' >&2) | tr -d '\r'
  else
    (cd "$folder" && ./tollwick-host session.txt)
  fi
  echo "-- $folder/Tollwick.ini after the session:"
  tr -d '\r' <"$folder/Tollwick.ini"
}

install_and_replay linux "Linux build (Tollwick.so)" Tollwick.so tollwick-host
# The host's services library has the name the build was configured with.
host_library=$(sed -n 's/^TOLLWICK_HOST_LIBRARY:STRING=//p' "build/$replayed_windows/CMakeCache.txt")
declare -A titles=([win32]="Windows build (Tollwick.dll under Wine)"
  [win64]="Windows 64-bit stand-in build (Tollwick.dll under 64-bit Wine)")
if [ "$replayed_windows" = win64 ]; then
  echo
  echo "== Checking the files of the released Windows module (build/win32)"
  ctest --preset win32 -R '^binary\.'
fi
install_and_replay "$replayed_windows" "${titles[$replayed_windows]}" \
  Tollwick.dll tollwick-host.exe "$host_library"
if [ "$replayed_windows" = win64 ]; then
  echo
  echo "== NOTE: the released Windows module (32-bit, build/win32) was built and its" \
    "files checked, but not run ($why); the session ran on the 64-bit stand-in," \
    "which is never released." >&2
fi

echo
bash scripts/release.sh build/linux build/win32
