#!/usr/bin/env bash
# Runs bridge_e2e on a private desktop, with the local portal when one is given.
#
#   tests/e2e/bridge/run_bridge_e2e.sh BRIDGE_E2E [LUMO_PORTAL] [-- extra bridge_e2e arguments]
#
# With --module-missing or --module-broken among the extra arguments the program runs from a
# folder of its own without a usable browser module.
#
# BRIDGE_E2E must sit beside a webext/ folder holding libraduvove-webext.so. Exits with the
# test program's status (124 when it ran out of time).
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
e2e=${1:?usage: run_bridge_e2e.sh BRIDGE_E2E [LUMO_PORTAL] [-- args]}
shift
portal_bin=
if [ $# -gt 0 ] && [ "$1" != "--" ]; then
  portal_bin=$1
  shift
fi
[ "${1:-}" = "--" ] && shift

work=$(mktemp -d /tmp/bridge-e2e.XXXXXX) || exit 1
. "$here/../../../scripts/desktop.sh"
if ! desktop_start "$work/desk" >/dev/null; then
  rm -rf "$work"
  exit 1
fi

args=(--pages "$here")
portal_pid=
if [ -n "$portal_bin" ]; then
  "$portal_bin" --port 0 --port-file "$work/port" >"$work/portal.log" 2>&1 &
  portal_pid=$!
  for _ in $(seq 200); do
    [ -s "$work/port" ] && break
    sleep 0.05
  done
  if [ -s "$work/port" ]; then
    args+=(--portal "http://127.0.0.1:$(cat "$work/port")")
  else
    echo "run_bridge_e2e: the portal did not start (see $work/portal.log)" >&2
  fi
fi

case " $* " in
*" --module-missing "* | *" --module-broken "*)
  # A copy of the program in a folder of its own: no browser module beside it, or one that
  # is no library at all. Exactly one line about it goes to stderr.
  mkdir -p "$work/alone"
  cp "$e2e" "$work/alone/"
  case " $* " in *" --module-broken "*) echo "not a library" >"$work/alone/libraduvove-browser.so" ;; esac
  RV_BRIDGE_E2E_RUN=$work timeout 120 "$work/alone/$(basename "$e2e")" "$@" 2>"$work/alone/stderr"
  rc=$?
  lines=$(grep -c 'libraduvove-browser.so' "$work/alone/stderr")
  if [ "$lines" != 1 ]; then
    echo "FAIL module-reported-once: $lines lines about the module on stderr:"
    cat "$work/alone/stderr"
    [ $rc = 0 ] && rc=1
  else
    echo "PASS module-reported-once: $(grep 'libraduvove-browser.so' "$work/alone/stderr")"
  fi
  ;;
*)
  RV_BRIDGE_E2E_RUN=$work timeout 300 "$e2e" "${args[@]}" "$@"
  rc=$?
  ;;
esac

if [ -n "$portal_pid" ]; then
  kill "$portal_pid" 2>/dev/null
  wait "$portal_pid" 2>/dev/null
fi
# The engine's web processes end after the test program; with compositing on (software GL
# under Xvfb) one often hangs on its way out until the engine's own watchdog ends it about
# 10 s later. They write into the desktop's folders until then.
for _ in $(seq 650); do
  # (grep's status is no use here: processes that end while it reads make it answer 2)
  [ -n "$(grep -lsz "^RV_BRIDGE_E2E_RUN=$work\$" /proc/[0-9]*/environ)" ] || break
  sleep 0.02
done
desktop_stop
rm -rf "$work"
exit $rc
