#!/usr/bin/env bash
# Hours of play in the desktop client, sampled and drawn (bench/soak.py has the details).
#   bench/soak.sh [BUILD_DIR] [--quick | --minutes M] [--out DIR] [--chart PNG]
# Default: the build folder build, two hours. Exit status 0 when no figure grew by more than
# 10 % between the first and the last quarter, 2 when one did, 1 when the run failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=build
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then build=$1; shift; fi
"$root/scripts/setup.sh" bench >/dev/null || exit 1
# Debian's Python, where the package's matplotlib is (another python3 may come first on PATH).
py=/usr/bin/python3
[ -x "$py" ] || py=python3
exec "$py" "$root/bench/soak.py" --build "$build" "$@"
