# shellcheck shell=bash
# A private sound server for the tests: PulseAudio with one null sink, the
# default, reached through a unix socket. Its runtime files, socket and home
# live in a scratch folder of the caller's, apart from any sound server the
# machine already runs. Sourced, not run.
#
#   sound_server_start FOLDER SECONDS SINK [SINK_OPTION...]
#       starts the server in FOLDER (which the caller removes), under a time
#       limit of SECONDS in case the caller is killed without running its
#       trap, and waits until it answers; returns non-zero, with the server's
#       log on standard error, when it does not. SINK_OPTIONs such as rate=
#       and channels= go to the null sink. Sets:
#         sound_server_pid     the server's process, for sound_server_stop
#         sound_server_sink    the null sink's name (SINK)
#         sound_server_socket  the socket; clients want PULSE_SERVER=unix:<it>
#         sound_server_env     NAME=VALUE words that put a client in the
#                              server's world: for env or export
#   sound_server_stop
#       stops the server, if one runs, and waits for it.

sound_server_pid=
sound_server_sink=
sound_server_socket=
sound_server_env=()

sound_server_start() {
  local folder=$1 seconds=$2
  sound_server_sink=$3
  shift 3
  mkdir -p "$folder/runtime" "$folder/home"
  chmod 700 "$folder/runtime"
  sound_server_socket=$folder/runtime/native
  sound_server_env=(XDG_RUNTIME_DIR="$folder/runtime" PULSE_RUNTIME_PATH="$folder/runtime"
    HOME="$folder/home" PULSE_SERVER="unix:$sound_server_socket")
  # timeout passes SIGTERM on to the server.
  env "${sound_server_env[@]}" timeout "$seconds" pulseaudio -n --daemonize=no \
    --exit-idle-time=-1 --use-pid-file=no --log-target=file:"$folder/server.log" \
    -L "module-null-sink sink_name=$sound_server_sink $*" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$sound_server_socket" &
  sound_server_pid=$!
  for _ in $(seq 100); do
    env "${sound_server_env[@]}" pactl info >/dev/null 2>&1 && break
    sleep 0.05
  done
  env "${sound_server_env[@]}" pactl set-default-sink "$sound_server_sink" 2>/dev/null || {
    echo "the sound server did not start:" >&2
    cat "$folder/server.log" >&2
    return 1
  }
}

sound_server_stop() {
  # SIGTERM: a non-interactive shell starts its background jobs ignoring SIGINT.
  [ -z "$sound_server_pid" ] || {
    kill -TERM "$sound_server_pid" 2>/dev/null || true
    wait "$sound_server_pid" 2>/dev/null || true
  }
  sound_server_pid=
}
