#!/usr/bin/env bash
# Runs one end-to-end case through the host program and compares the transcript
# with the case's expected one.
#
#   run-case.sh CASE_DIR MODULE PARTIAL_MODULE -- HOST_COMMAND...
#
# A case is a folder:
#   *.session       input, one host run each, in name order (several runs
#                   share one module folder, so settings carry over)
#   NAME.options    options for NAME.session
#   other files     copied into the module folder before the runs, settings
#                   files (Tollwick.ini) among them
#   pipes           names of named pipes to make in the module folder, one
#                   a line (a repository cannot hold a pipe)
#   stderr-has      a text the host program must write to standard error
#   sound-server    (Linux) run the host program against a private sound server
#                   with a null sink instead of none
#   expected        the transcript
# Each case gets a fresh module folder holding a copy of MODULE, chime.wav (a
# short playable sound) and partial-module.bin (a copy of PARTIAL_MODULE, a
# library that lacks most callbacks); in the case's files <root> stands for
# that folder. The transcript is the host program's output (carriage returns
# dropped, the folder written back as <root>), "--- exit N" for a non-zero
# status, and at the end every settings file under the folder. Sound is kept away from any
# sound server, so a ring never falls back to the theme bell and the
# transcript does not depend on the machine, unless the case asks for a
# private sound server.
set -euo pipefail

case_dir=$1 module=$2 partial_module=$3
shift 4
host=("$@")
here=$(cd "$(dirname "$0")" && pwd)
case_name=$(basename "$case_dir")

# shellcheck source=SCRIPTDIR/../sound-server.sh
. "$here/../sound-server.sh"
folder=$(mktemp -d "${TMPDIR:-/tmp}/tollwick-e2e.XXXXXX")
cleanup() {
  sound_server_stop
  rm -rf "$folder"
}
trap cleanup EXIT

cp "$module" "$folder/"
cp "$partial_module" "$folder/partial-module.bin"
cp "$here/chime.wav" "$folder/"

# The module sees its folder the way its platform writes paths: on Windows
# with a drive and backslashes. A path in the transcript is written with '/',
# and a '/' that the module put into a Windows path shows as '\'.
if [[ $module == *.dll ]]; then
  root="Z:${folder//\//\\}" swap_separators=1
  # Wine 10's audio device layer starts even without drivers; its device
  # thread ending as the program exits could end it with status 1.
  export WINEDLLOVERRIDES="mscoree,mshtml=;mmdevapi,winealsa.drv,winepulse.drv,wineoss.drv=d"
else
  root=$folder swap_separators=0
  export CANBERRA_DRIVER=pulse PULSE_SERVER="unix:$folder/no-sound-server"
  # A sound server of the case's own, in the case's folder, playing into
  # nothing; the host program runs in its world.
  if [ -f "$case_dir/sound-server" ]; then
    sound_server_start "$folder/sound-server" 300 e2e || exit 1
    export "${sound_server_env[@]}"
  fi
fi
export ROOT=$root SWAP=$swap_separators

# Case text to host input: <root> paths to the folder's paths.
to_host() {
  perl -pe 's{<root>([^\s"]*)}{$ENV{ROOT} . ($ENV{SWAP} ? $1 =~ tr{/}{\\}r : $1)}ge' "$@"
}
# Host output to transcript: the folder's paths back to <root> paths.
to_transcript() {
  perl -pe 's/\r//g; s{\Q$ENV{ROOT}\E([^\s"]*)}{"<root>" . ($ENV{SWAP} ? $1 =~ tr{/\\}{\\/}r : $1)}ge'
}

# The case's other files, settings files among them, go into the folder.
while IFS= read -r file; do
  mkdir -p "$(dirname "$folder/$file")"
  to_host "$case_dir/$file" >"$folder/$file"
done < <(cd "$case_dir" && find . -type f ! -name '*.session' ! -name '*.options' \
  ! -name expected ! -name stderr-has ! -name sound-server ! -name pipes | sort)
if [ -f "$case_dir/pipes" ]; then
  while IFS= read -r pipe; do mkfifo "$folder/$pipe"; done <"$case_dir/pipes"
fi

sessions=("$case_dir"/*.session)
actual=$folder/actual stderr=$folder/stderr
: >"$actual" >"$stderr"
for session in "${sessions[@]}"; do
  name=$(basename "$session" .session)
  options=()
  if [ -f "$case_dir/$name.options" ]; then
    read -r -a options < <(to_host "$case_dir/$name.options") || true
  fi
  [ ${#sessions[@]} -gt 1 ] && echo "--- $name" >>"$actual"
  status=0
  (cd "$folder" && "${host[@]}" --module "$(echo "<root>/$(basename "$module")" | to_host)" \
    "${options[@]}") \
    < <(to_host "$session") >"$folder/out" 2>>"$stderr" || status=$?
  to_transcript <"$folder/out" >>"$actual"
  [ $status -eq 0 ] || echo "--- exit $status" >>"$actual"
done

if [ -f "$case_dir/stderr-has" ]; then
  wanted=$(to_host "$case_dir/stderr-has")
  if grep -qF -- "$wanted" "$stderr"; then
    echo "--- stderr has: $(cat "$case_dir/stderr-has")" >>"$actual"
  else
    { echo "--- stderr lacks: $wanted"; to_transcript <"$stderr"; } >>"$actual"
  fi
elif [ -s "$stderr" ]; then
  { echo "--- stderr"; to_transcript <"$stderr"; } >>"$actual"
fi

while IFS= read -r ini; do
  echo "--- ${ini#"$folder"/}" >>"$actual"
  to_transcript <"$ini" | awk 1 >>"$actual"
done < <(find "$folder" -name '*.ini' | sort)

if [ ! -f "$case_dir/expected" ]; then
  cat "$actual"
  echo "case $case_name: no expected transcript; the actual one is above" >&2
  exit 1
fi
if ! diff -u --label "$case_name/expected" --label "$case_name/actual" \
  "$case_dir/expected" "$actual"; then
  echo "case $case_name: the transcript differs from the expected one" >&2
  exit 1
fi
