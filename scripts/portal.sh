# The local portal for scripts and benchmarks, on a free port of 127.0.0.1.
#
# Sourced:   . scripts/portal.sh
#            portal_start PORTAL_BINARY WORKDIR [portal options...]   (e.g. --perf)
#            ...; portal_stop
# portal_start sets PORTAL_PID and PORTAL_PORT, writes the portal's output to WORKDIR/portal.log
# and answers 1, with the log on standard error, when the portal did not come up within 10 s.
# portal_stop ends it and waits for it (nothing may be left to PID 1, which does not reap).
# portal_hosts_ini FILE writes a static.ini whose only section, hosts, points every host of
# the client at the running portal.
PORTAL_PID=
PORTAL_PORT=

portal_start() {
  local binary=${1:?portal_start needs the portal program} dir=${2:?portal_start needs a work folder}
  shift 2
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
  if [ -n "$PORTAL_PID" ]; then
    kill "$PORTAL_PID" 2>/dev/null
    wait "$PORTAL_PID" 2>/dev/null
  fi
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
