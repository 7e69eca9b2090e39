#!/usr/bin/env bash
# Runs a command with the Linux servers that the Windows tests talk to over 127.0.0.1: the
# portal (its customer-service server for the chat library's tests) and the HTTP client's TLS
# test servers (tests/net/tls_server_main.cpp), both from the Linux build LINUX_BUILD. Wine
# hands the environment to the Windows programs:
#   RV_TEST_PORTAL    127.0.0.1:PORT of the portal
#   RV_TEST_TLS_DIR   the TLS servers' folder as a Windows path (Z: is the root of the host)
#   scripts/wine-test-servers.sh LINUX_BUILD COMMAND [ARGS...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 2 ] || { echo "usage: $0 LINUX_BUILD COMMAND [ARGS...]" >&2; exit 2; }
build=$1
shift
portal_bin=$build/portal/lumo-portal
tls_bin=$build/tests/net/net_tls_server
# Without them the command runs all the same: the tests that need them fail and say why.
for b in "$portal_bin" "$tls_bin"; do
  if [ ! -x "$b" ]; then
    echo "wine-test-servers: $b is missing (the Linux build makes it); running without the servers" >&2
    exec "$@"
  fi
done

# shellcheck source=lib.sh
. "$here/lib.sh"
work_dir test-servers
dir=$WORK
tls_pid=
at_exit 'reap_pid "$tls_pid"'

portal_start "$portal_bin" "$dir" || exit 1
mkdir -p "$dir/tls"
"$tls_bin" "$dir/tls" >"$dir/tls.log" 2>&1 &
tls_pid=$!
for ((i = 0; i < 500; i++)); do
  [ -e "$dir/tls/ready" ] && break
  kill -0 "$tls_pid" 2>/dev/null || break
  sleep 0.02
done
if [ ! -e "$dir/tls/ready" ]; then
  echo "wine-test-servers: the TLS test servers did not start:" >&2
  cat "$dir/tls.log" >&2
  exit 1
fi

export RV_TEST_PORTAL=127.0.0.1:$PORTAL_PORT
export RV_TEST_TLS_DIR=Z:$dir/tls
"$@"
