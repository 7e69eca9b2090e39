#!/usr/bin/env bash
# Screenshots of the installer's pages under Wine on a private Xvfb display, into
# docs/screenshots/installer-N-PAGE.png (welcome, directory, components, finish). By hand, after
# make windows; not part of make test. The installer runs in a Wine prefix of its own
# (scripts/wine-prefix.sh), removed at the end, in which the face that the installer's Chinese
# pages ask for (宋体, SimSun on Windows) is replaced by the Noto CJK face that setup.sh installs.
#   packaging/windows/screenshots.sh [BUILD_WIN]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build-win}
setup=$build/raduvove-setup.exe
out=$root/docs/screenshots
[ -f "$setup" ] || { echo "screenshots: $setup is missing (make windows)" >&2; exit 1; }
if [ -z "${RV_SHOTS_INNER:-}" ]; then
  # shellcheck source=../../scripts/lib.sh
  . "$root/scripts/lib.sh"
  work_dir installer-shots
  RV_SHOTS_INNER=1 exec xvfb-run -a -s "-screen 0 1280x800x24" \
    "$root/scripts/wine-session.sh" "$WORK/prefix" "$0" "$build"
fi

export WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
wine=$(command -v wine64 || command -v wine)
mkdir -p "$out"
reg=$WINEPREFIX/rv-simsun.reg
{
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\n'
  printf '"%s"="Noto Sans CJK SC"\n' "宋体" SimSun
} | { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } >"$reg"  # regedit's format: UTF-16 with its mark
"$wine" regedit /S "$reg" </dev/null >/dev/null 2>&1
"$wine" "$setup" </dev/null >/dev/null 2>&1 &
pid=$!
window=
for _ in $(seq 300); do
  window=$(xdotool search --onlyvisible --classname raduvove-setup.exe 2>/dev/null | head -n 1)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "screenshots: the installer's window did not show" >&2; exit 1; }

# shot N NAME: the installer's window as it is now; next: its default button (Enter).
shot() {
  sleep 1.5
  import -window "$window" "$out/installer-$1-$2.png"
  echo "screenshots: $out/installer-$1-$2.png"
}
next() {
  xdotool windowfocus --sync "$window" 2>/dev/null
  xdotool key --window "$window" Return
}
shot 1 welcome && next
shot 2 directory && next
shot 3 components && next
sleep 2  # the files go in; the finish page follows by itself
shot 4 finish
kill "$pid" 2>/dev/null  # before its Enter would start the client
