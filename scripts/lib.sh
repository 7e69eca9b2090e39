# The pieces that the scripts of scripts/ and bench/ share: ending processes, clean-up at exit,
# a work folder, checks of their arguments, and the local portal on a free port. The private
# desktop is scripts/desktop.sh, which sources this file.
#
# Sourced:   . scripts/lib.sh
#   reap_pid PID [SECONDS]    asks a process to end (TERM), kills it if it has not within
#                             SECONDS (default 3), and waits for it: nothing here may be left to
#                             PID 1, which does not reap
#   pid_alive PID             the process exists and is no zombie
#   at_exit COMMAND           COMMAND runs when the script ends (EXIT; INT, TERM and HUP end it
#                             with 130), the last one registered first
#   at_exit_run               runs them now (and not again at exit)
#   work_dir NAME             sets WORK to a new folder rv-NAME-XXXXXX in $TMPDIR (or /tmp),
#                             removed at exit
#   need_built WHO FILE...    ends the script (1) unless each FILE is there and executable
#   need_count WHO WHAT VALUE ends the script (2) unless VALUE is a positive number
#   portal_start PORTAL_BINARY WORKDIR [portal options...]   (e.g. --perf)
#                             starts the portal on a free port of 127.0.0.1; sets PORTAL_PID and
#                             PORTAL_PORT, writes its output to WORKDIR/portal.log and answers 1,
#                             with the log on standard error, when it did not come up within 10 s;
#                             it is stopped at exit, or before by portal_stop
#   portal_hosts_ini FILE     writes a static.ini whose only section, hosts, points every host of
#                             the client at the running portal
# shellcheck shell=bash

[ -n "${_RV_LIB:-}" ] && return 0
_RV_LIB=1

reap_pid() {
  local pid=$1 limit=${2:-3} i state
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null
  for ((i = 0; i < limit * 50; i++)); do
    state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) || break
    [ "$state" = Z ] && break
    sleep 0.02
  done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  return 0
}

pid_alive() {
  local state
  state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
  [ "$state" != Z ]
}

_RV_AT_EXIT=()
at_exit_run() {
  local i
  for ((i = ${#_RV_AT_EXIT[@]} - 1; i >= 0; i--)); do eval "${_RV_AT_EXIT[i]}"; done
  _RV_AT_EXIT=()
}
at_exit() {
  _RV_AT_EXIT+=("$1")
  trap at_exit_run EXIT
  trap 'exit 130' INT TERM HUP
}

work_dir() {
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/rv-$1-XXXXXX") || { echo "$1: no work folder" >&2; exit 1; }
  at_exit 'rm -rf "$WORK"'
}

need_built() {
  local who=$1 f
  shift
  for f in "$@"; do
    [ -x "$f" ] || { echo "$who: $f is missing (build first)" >&2; exit 1; }
  done
}

need_count() {
  if ! [[ $3 =~ ^[0-9]+$ ]] || [ "$3" -lt 1 ]; then
    echo "$1: $2 must be a positive number" >&2
    exit 2
  fi
}

# ---- the local portal ----------------------------------------------------------------------
PORTAL_PID=
PORTAL_PORT=
_RV_PORTAL_AT_EXIT=

portal_start() {
  local binary=${1:?portal_start needs the portal program} dir=${2:?portal_start needs a work folder}
  shift 2
  if [ -z "$_RV_PORTAL_AT_EXIT" ]; then
    at_exit portal_stop
    _RV_PORTAL_AT_EXIT=1
  fi
  rm -f "$dir/portal.port"
  "$binary" --port 0 --port-file "$dir/portal.port" "$@" >"$dir/portal.log" 2>&1 &
  PORTAL_PID=$!
  local i port=
  for ((i = 0; i < 500; i++)); do
    port=$(cat "$dir/portal.port" 2>/dev/null || true)
    [[ $port =~ ^[0-9]+$ ]] && break
    kill -0 "$PORTAL_PID" 2>/dev/null || break
    sleep 0.02
  done
  if ! [[ $port =~ ^[0-9]+$ ]]; then
    echo "the portal did not start:" >&2
    cat "$dir/portal.log" >&2
    portal_stop
    return 1
  fi
  PORTAL_PORT=$port
  return 0
}

portal_stop() {
  reap_pid "$PORTAL_PID"
  PORTAL_PID=
  PORTAL_PORT=
  return 0
}

portal_hosts_ini() {
  local file=${1:?portal_hosts_ini needs a file} key
  [ -n "$PORTAL_PORT" ] || { echo "portal_hosts_ini: no portal is running" >&2; return 1; }
  {
    echo "[hosts]"
    for key in portal game pay forum cs; do echo "$key=127.0.0.1:$PORTAL_PORT"; done
  } >"$file"
}
