#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine: ctest's emulator for the Windows build
# (cmake/mingw-w64.cmake). The prefix is $WINEPREFIX when set (scripts/test.sh prepares one
# per run and starts its server), otherwise one kept under ~/.cache, made on first use.
#
# A program that makes windows starts Wine's desktop process, which inherits the program's
# standard streams and outlives it by a second or two; on a pipe (ctest's) the reader would
# wait for it. So the program writes into a file, which is passed on once it has ended.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX=${XDG_CACHE_HOME:-$HOME/.cache}/raduvove/wine
  "$here/wine-prefix.sh" ensure "$WINEPREFIX"
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win64
wine=$(command -v wine64 || command -v wine)
out=$(mktemp "${TMPDIR:-/tmp}/rv-wine-out.XXXXXX")
trap 'rm -f "$out"' EXIT
# A failing program's output is what its reader needs most: passed on whatever the status.
rc=0
"$wine" "$@" >"$out" 2>&1 </dev/null || rc=$?
cat "$out"
exit $rc
