#!/usr/bin/env bash
# Runs a command with a private sound server of its own (PulseAudio with a
# null sink, in a scratch folder), so that the sound library takes its real
# path: opening the file, decoding it, playing it. Without a sound server the
# library gives up before it opens any file, and its faults stay hidden.
#   with-sound-server.sh COMMAND [ARGS...]
# Without pulseaudio on the machine the command runs without a server.
set -uo pipefail
command -v pulseaudio >/dev/null || exec "$@"

work=$(mktemp -d)
server_pid=
stop_server() {
  [ -z "$server_pid" ] || { kill -TERM "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; }
  rm -rf "$work"
}
trap stop_server EXIT
trap 'exit 1' INT TERM

mkdir -p "$work/runtime" "$work/home" "$work/cache"
chmod 700 "$work/runtime"
socket=$work/runtime/native
server_env=(env XDG_RUNTIME_DIR="$work/runtime" PULSE_RUNTIME_PATH="$work/runtime"
  HOME="$work/home" PULSE_SERVER="unix:$socket")
# Under a time limit, in case this script is killed without its trap.
"${server_env[@]}" timeout 900 pulseaudio -n --daemonize=no --exit-idle-time=-1 \
  --use-pid-file=no --log-target=file:"$work/server.log" \
  -L "module-null-sink sink_name=tollwick_faults" \
  -L "module-native-protocol-unix auth-anonymous=1 socket=$socket" &
server_pid=$!
for _ in $(seq 100); do
  "${server_env[@]}" pactl info >/dev/null 2>&1 && break
  sleep 0.05
done
"${server_env[@]}" pactl info >/dev/null 2>&1 || { cat "$work/server.log" >&2; exit 1; }

# The sound library's cache goes to the scratch folder too.
PULSE_SERVER="unix:$socket" XDG_CACHE_HOME="$work/cache" "$@"
