# shellcheck shell=bash
# logged LOG COMMAND...: runs COMMAND with its output in LOG. When it fails,
# shows the log's first errors, its last lines and where the whole log is,
# and answers COMMAND's status. Sourced by the other scripts, not run.
logged() {
  local log=$1
  shift
  mkdir -p "$(dirname "$log")"
  local status=0
  "$@" >"$log" 2>&1 || status=$?
  if [ "$status" != 0 ]; then
    {
      echo "FAILED (status $status): $*"
      echo "-- first errors:"
      grep -m 5 -E 'error:|Error|FAILED' "$log" || echo "(no line says error)"
      echo "-- last lines:"
      tail -n 25 "$log"
      echo "-- the whole log: $(realpath "$log")"
    } >&2
  fi
  return "$status"
}
