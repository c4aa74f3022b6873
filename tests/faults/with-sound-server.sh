#!/usr/bin/env bash
# Runs a command with a private sound server of its own (PulseAudio with a
# null sink, in a scratch folder), so that the sound library takes its real
# path: opening the file, decoding it, playing it. Without a sound server the
# library gives up before it opens any file, and its faults stay hidden.
#   with-sound-server.sh COMMAND [ARGS...]
# Without pulseaudio on the machine the command runs without a server.
set -uo pipefail
command -v pulseaudio >/dev/null || exec "$@"
# shellcheck source=SCRIPTDIR/../sound-server.sh
. "$(dirname "$0")/../sound-server.sh"

work=$(mktemp -d)
stop_server() {
  sound_server_stop
  rm -rf "$work"
}
trap stop_server EXIT
trap 'exit 1' INT TERM

# Under a time limit, in case this script is killed without its trap.
sound_server_start "$work" 900 tollwick_faults || exit 1

# The sound library's cache goes to the scratch folder too.
mkdir -p "$work/cache"
PULSE_SERVER="unix:$sound_server_socket" XDG_CACHE_HOME="$work/cache" "$@"
