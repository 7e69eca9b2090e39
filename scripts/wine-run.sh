#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine: ctest's emulator for the Windows build
# (cmake/mingw-w64.cmake). The prefix is $WINEPREFIX when set (scripts/test.sh prepares one
# per run and starts its server), otherwise one kept under ~/.cache, made on first use.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX=${XDG_CACHE_HOME:-$HOME/.cache}/raduvove/wine
  "$here/wine-prefix.sh" ensure "$WINEPREFIX"
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win64
wine=$(command -v wine64 || command -v wine)
exec "$wine" "$@"
