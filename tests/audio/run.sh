#!/usr/bin/env bash
# Proves that the module's bell is really heard. A private sound server with
# a null sink runs for the whole suite, and one recorder captures everything
# played to that sink. Each case drives the real module through the host
# program with a tone of its own frequency, then judges the stretch of the
# recording made while the host program ran (listen.py).
#
# usage: run.sh linux|windows MAKE_BELL BELL_WAV HOST [RUNNER...]
#   MAKE_BELL  the tone generator; BELL_WAV the default sound built beside
#   the module; HOST the host program, run through RUNNER (Wine) if given.
set -euo pipefail

if [ $# -lt 4 ] || { [ "$1" != linux ] && [ "$1" != windows ]; }; then
  sed -n '2,13s/^# \{0,1\}//p' "$0" >&2
  exit 2
fi
platform=$1
make_bell=$2
default_bell=$3
host=("${@:5}" "$4")
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/tollwick-audio.XXXXXX")
# shellcheck source=SCRIPTDIR/../sound-server.sh
. "$here/../sound-server.sh"
recorder_pid=
stop_all() {
  local status=$?
  [ -z "$recorder_pid" ] || { kill -TERM "$recorder_pid" 2>/dev/null || true; wait "$recorder_pid" 2>/dev/null || true; }
  sound_server_stop
  rm -rf "$work"
  exit "$status"
}
trap stop_all EXIT
trap 'exit 1' INT TERM

# The server and the recorder run under a time limit too, in case the suite
# itself is killed (SIGKILL leaves no trap to run).
limit_seconds=300
sound_server_start "$work" "$limit_seconds" tollwick_test rate=44100 channels=1 || exit 1
sink=$sound_server_sink
server_env=(env "${sound_server_env[@]}")

recording=$work/recording.raw
"${server_env[@]}" timeout "$limit_seconds" parec -d "$sink.monitor" --format=s16le --rate=44100 --channels=1 \
  --latency-msec=20 --raw >"$recording" &
recorder_pid=$!
# A recorder on a freshly opened sink may stall; suspending and resuming the
# sink once sets it going.
sleep 0.2
"${server_env[@]}" pactl suspend-sink "$sink" 1
"${server_env[@]}" pactl suspend-sink "$sink" 0
export PULSE_SERVER="unix:$sound_server_socket"

recorded_bytes() { stat -c %s "$recording"; }

# Files as the module sees them: Wine maps the Linux root to drive Z:.
module_path() {
  if [ "$platform" = windows ]; then
    printf 'Z:%s' "${1//\//\\}"
  else
    printf '%s' "$1"
  fi
}

tone() { # NAME HZ MS: writes the tone and prints its path for the module
  "$make_bell" tone "$2" "$3" "$work/$1.wav"
  module_path "$work/$1.wav"
}

# The module's three kinds of ringing line, as the game server sends them.
join_line='(Mira) Mira wants to join you. To accept the request, type `join and press <enter>. To decline, type `decline and press <enter>'
summon_line='(Mira) Mira wants to summon you. To accept the request, type `summon and press <enter>. To decline, type `decline and press <enter>'
whisper_line='(Mira) [Mira whispers, "are you home?" to you. ]'

failures=0
# play NAME CHECK ARGS...: runs the host program on the session read from
# standard input, with its own module folder, and judges what the recorder caught.
play() {
  local name=$1
  shift
  mkdir -p "$work/$name"
  cp "$default_bell" "$work/$name/bell.wav"
  cat >"$work/$name.session"
  local start end
  start=$(recorded_bytes)
  if ! "${host[@]}" --root "$(module_path "$work/$name")" "$(module_path "$work/$name.session")" \
    >"$work/$name.out" 2>&1; then
    echo "FAIL $name: the host program failed"
    cat "$work/$name.out"
    failures=$((failures + 1))
    return
  fi
  # The recorder lags the sink by its latency.
  sleep 0.2
  end=$(recorded_bytes)
  printf '%-14s' "$name"
  python3 "$here/listen.py" "$recording" "$start" "$end" "$@" || {
    failures=$((failures + 1))
    sed 's/^/    host: /' "$work/$name.out"
  }
}

# Times in ms. A loaded machine may start a sound late (Wine was seen to
# take 0.8 s), and a sound dies with the host program, so the host program
# waits well past the end of a tone before it exits.
tone_ms=400
ring_wait_ms=2000
quiet_wait_ms=1000

suite_start=$(date +%s%N)

# ring NAME HZ LINE: the ringing LINE plays a tone of HZ set just before.
ring() {
  play "$1" tone "$2" $tone_ms <<EOF
@TW-SetWave $(tone "$1" "$2" $tone_ms)
/enable
$3
/sleep $ring_wait_ms
EOF
}
ring join 500 "$join_line"
ring summon 700 "$summon_line"
ring whisper 900 "$whisper_line"

play default-bell sound 300 <<EOF
/enable
$whisper_line
/sleep $ring_wait_ms
EOF

# Lines that come close to a ringing one but must not ring.
play near-misses silence <<EOF
@TW-SetWave $(tone near-misses 1300 $tone_ms)
/enable
Mira wants to join you. To accept the request, type \`join and press <enter>. To decline, type \`decline and press <enter>
 (Mira) [Mira whispers, "hi" to you. ]
(Mira) To accept the request, type \`Join and press <enter>. To decline, type \`decline and press <enter>
(Mira) To accept the request, type 'join and press <enter>. To decline, type 'decline and press <enter>
(Mira) [Mira whispers, "hi" to Tom. ]
(Tom) " to you. ] and then Mira whispers, "hi
/kind 1 $join_line
/kind 3 $whisper_line
(
/sleep $quiet_wait_ms
EOF

play disabled silence <<EOF
@TW-SetWave $(tone disabled 1700 $tone_ms)
/enable
/disable
$join_line
$summon_line
$whisper_line
/sleep $quiet_wait_ms
EOF

# A second ring cuts off the first: a long tone, then a short one.
long_tone_ms=4000
play second-ring cut 1100 $long_tone_ms 1500 <<EOF
@TW-SetWave $(tone first-ring 1100 $long_tone_ms)
/enable
$whisper_line
/sleep $ring_wait_ms
@TW-SetWave $(tone second-ring 1500 $tone_ms)
$join_line
/sleep $ring_wait_ms
EOF

# Wine plays no default sound for a file it cannot play; Linux plays the
# theme's bell.
if [ "$platform" = linux ]; then
  play missing-file sound 40 <<EOF
@TW-SetWave $work/no-such-sound.wav
/enable
$summon_line
/sleep $ring_wait_ms
EOF
fi

suite_ms=$((($(date +%s%N) - suite_start) / 1000000))
echo "audio suite ($platform): $failures failed, $suite_ms ms"
[ "$failures" = 0 ]
