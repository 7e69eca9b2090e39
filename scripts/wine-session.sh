#!/usr/bin/env bash
# Runs a command with Wine ready for it: the prefix DIR made (once; scripts/wine-prefix.sh)
# and its wine server started, then stopped again after the command. Run it inside the X
# session that the Windows programs are to use (xvfb-run), so the server starts on it.
#   scripts/wine-session.sh DIR COMMAND [ARGS...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 2 ] || { echo "usage: $0 DIR COMMAND [ARGS...]" >&2; exit 2; }
prefix=$1
shift
start=$(date +%s%N)
if ! "$here/wine-prefix.sh" start "$prefix"; then
  echo "wine-session: the Wine prefix $prefix could not be prepared" >&2
  exit 1
fi
echo "wine: prefix and server ready in $(( ($(date +%s%N) - start) / 1000000 )) ms"
WINEPREFIX=$(cd "$prefix" && pwd)
export WINEPREFIX
# An output device that drops the sound, where the machine has no sound card.
ALSA_CONFIG_PATH=${ALSA_CONFIG_PATH:-$here/wine-null-sound.conf}
export ALSA_CONFIG_PATH
"$@"
rc=$?
"$here/wine-prefix.sh" stop "$prefix"
exit $rc
