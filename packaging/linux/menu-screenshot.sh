#!/usr/bin/env bash
# Takes docs/screenshots/app-menu-entry.png: the package's menu entry with its icon in the
# Game folder of icewm's start menu, on a private Xvfb desktop (scripts/desktop.sh). The
# package is unpacked into a scratch root that goes on PATH and XDG_DATA_DIRS; icewm-menu-fdo
# makes the menu from its .desktop file and icewm finds the icon in its hicolor folders.
# Run by hand after make deb:
#   packaging/linux/menu-screenshot.sh [PACKAGE.deb [OUT.png]]
set -uo pipefail  # no -e: the desktop's clean-up (scripts/lib.sh) runs commands that may fail
src=$(cd "$(dirname "$0")/../.." && pwd)
deb=${1:-$(ls "$src"/build/raduvove_*_amd64.deb 2>/dev/null | tail -n 1)}
out=${2:-$src/docs/screenshots/app-menu-entry.png}
[ -f "$deb" ] || { echo "menu-screenshot: no package (make deb makes build/raduvove_<version>_amd64.deb)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/rv-menu.XXXXXX")
root=$work/root
dpkg -x "$deb" "$root" || exit 1
export PATH="$root/usr/bin:$PATH" XDG_DATA_DIRS="$root/usr/share:/usr/share"
# shellcheck source=scripts/desktop.sh
. "$src/scripts/desktop.sh"
at_exit "rm -rf '$work'"
desktop_start "$work/desktop" || { echo "menu-screenshot: the desktop did not start" >&2; exit 1; }

# The menu as icewm-menu-fdo makes it (a program on PATH is shown), large enough to read; icewm
# restarts to take it.
icewm-menu-fdo >"$HOME/.icewm/menu" || exit 1
grep -q '^prog ' "$HOME/.icewm/menu" || { echo "menu-screenshot: icewm-menu-fdo made no entry" >&2; exit 1; }
printf 'IconPath="%s"\nMenuIconSize=32\nMenuFontNameXft="sans-serif:size=14"\n' \
  "$root/usr/share/icons:/usr/share/icons:/usr/share/pixmaps" >>"$HOME/.icewm/preferences"
icewm -r
sleep 1

# The start button, then the first folder (Game) opened with the keyboard.
xdotool mousemove 12 $(($(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[2] }') - 12))
sleep 0.2
xdotool click 1
sleep 0.8
xdotool key Home
sleep 0.2
xdotool key Right
sleep 0.8
mkdir -p "$(dirname "$out")"
import -window root -gravity SouthWest -crop 480x260+0+0 +repage "$out" || exit 1
echo "menu-screenshot: $out"
at_exit_run
