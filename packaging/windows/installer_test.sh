#!/usr/bin/env bash
# raduvove-setup.exe as a player meets it, in the Wine prefix of the session ($WINEPREFIX, on
# $DISPLAY: scripts/wine-session.sh inside xvfb-run): a silent install with the start with
# Windows, its files, shortcuts and registry; the installed client started until its launcher
# shows; an upgrade over the running client that keeps static.ini; a silent uninstall while the
# client runs, which ends it and leaves nothing behind.
#   installer_test.sh SETUP_EXE VERSION
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib.sh
. "$here/../../scripts/lib.sh"
[ $# -eq 2 ] || { echo "usage: $0 SETUP_EXE VERSION" >&2; exit 2; }
setup=$1 version=$2
[ -f "$setup" ] || { echo "installer_test: $setup is missing (build first)" >&2; exit 1; }
[ -n "${WINEPREFIX:-}" ] && [ -n "${DISPLAY:-}" ] ||
  { echo "installer_test: run inside scripts/wine-session.sh on an X display" >&2; exit 1; }
export WINEDEBUG=-all WINEARCH=win64
# Shortcuts stay Windows' own: Wine's menu builder would add them to the Linux desktop's menus.
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
wine=$(command -v wine64 || command -v wine)
product=RaduVove
uninstall_key="HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

failures=0
check() {  # check WHAT COMMAND...: one line per check, the test fails on any that fails
  if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}
win() { "$wine" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
unix_path() { "$wine" winepath -u "$1" </dev/null 2>/dev/null | tr -d '\r'; }
# reg_value KEY NAME: the value's data as `reg query` shows it; fails when there is none.
reg_value() {
  local out
  out=$(win reg query "$1" /v "$2") || return 1
  echo "$out" | sed -n -E "s/^ +$2 +REG_[A-Z_]+ +//p" | grep .
}
client_pid=""
first_pid=""
at_exit 'reap_pid "$client_pid"; reap_pid "$first_pid"'
# start_client: the installed raduvove.exe, as the shortcut starts it; sets client_pid.
start_client() {
  (cd "$dir" && exec "$wine" "$exe_win" </dev/null >/dev/null 2>&1) &
  client_pid=$!
}
launcher_shown() {  # the launcher's window (its skin's size) mapped on the X display
  local w
  for w in $(xdotool search --onlyvisible --classname "raduvove.exe" 2>/dev/null); do
    xdotool getwindowgeometry "$w" | grep -q 'Geometry: 1290x704' && return 0
  done
  return 1
}
wait_for() {  # wait_for SECONDS COMMAND...
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
}
not() { ! "$@"; }

start=$(date +%s%N)
check "silent install with the start with Windows" win "$setup" /S /AUTOSTART=1

inst_win=$(reg_value "$uninstall_key" InstallLocation)
dir=$(unix_path "$inst_win")
exe_win="$inst_win\\raduvove.exe"
check "installed under the user's LocalAppData\\Programs" \
  test "$inst_win" = "$(win cmd /c 'echo %LOCALAPPDATA%')\\Programs\\$product"
check "the client folder's files" test -f "$dir/raduvove.exe" -a -f "$dir/SupportIM.dll" -a -f "$dir/uninstall.exe"
check "no static.ini shipped" test ! -e "$dir/static.ini"
lnk_targets_client() { [ -f "$1" ] && tr -d '\0' <"$1" | grep -qaF "$exe_win"; }
start_menu=$(unix_path "$(win cmd /c 'echo %APPDATA%')\\Microsoft\\Windows\\Start Menu\\Programs\\$product.lnk")
desktop=$(unix_path "$(win cmd /c 'echo %USERPROFILE%')\\Desktop\\$product.lnk")
check "Start menu shortcut" lnk_targets_client "$start_menu"
check "desktop shortcut" lnk_targets_client "$desktop"
check "uninstall entry's version is the project's" test "$(reg_value "$uninstall_key" DisplayVersion)" = "$version"
check "uninstall entry's name, publisher, icon" test "$(reg_value "$uninstall_key" DisplayName)|$(
  reg_value "$uninstall_key" Publisher)|$(reg_value "$uninstall_key" DisplayIcon)" = "$product|Lumo|$exe_win,0"
check "quiet uninstall command" test "$(reg_value "$uninstall_key" QuietUninstallString)" = "\"$inst_win\\uninstall.exe\" /S"
size_kb=$(($(reg_value "$uninstall_key" EstimatedSize)))
files_kb=$(($(cat "$dir"/* | wc -c) / 1024))
check "estimated size ($size_kb KB) is the folder's ($files_kb KB)" test $((size_kb - files_kb)) -ge -4 -a $((size_kb - files_kb)) -le 4
check "start with Windows runs the hidden start" test "$(reg_value "$run_key" $product)" = "\"$exe_win\" -hh"
echo "installed and checked in $((($(date +%s%N) - start) / 1000000)) ms"

# The player's settings, beside the client as it writes them; no page request leaves the machine.
marker="kept-$RANDOM$RANDOM"
printf '[dmor]\r\nstart=1\r\nfilename=xyz\r\nuid=abc\r\n[hosts]\r\nportal=127.0.0.1:9\r\n[player]\r\nmarker=%s\r\n' \
  "$marker" >"$dir/static.ini"
start_client
check "the installed client shows its launcher" wait_for 30 launcher_shown
first_pid=$client_pid

check "silent upgrade over the running client" win "$setup" /S
check "the upgrade ended the running client" wait_for 5 not pid_alive "$first_pid"
check "the upgrade kept static.ini" grep -q "marker=$marker" "$dir/static.ini"
check "the upgrade kept the start with Windows" test "$(reg_value "$run_key" $product)" = "\"$exe_win\" -hh"

start_client
check "the upgraded client shows its launcher" wait_for 30 launcher_shown
start=$(date +%s%N)
# The uninstaller runs from a copy of itself in the temporary folder and returns at once: its
# last step removes the uninstall entry.
win "$inst_win\\uninstall.exe" /S
uninstall_done() { [ ! -e "$dir" ] && ! win reg query "$uninstall_key" >/dev/null; }
check "silent uninstall while the client runs" wait_for 30 uninstall_done
echo "uninstalled in $((($(date +%s%N) - start) / 1000000)) ms"
check "the uninstall ended the client" wait_for 5 not pid_alive "$client_pid"
check "no shortcut left" test ! -e "$start_menu" -a ! -e "$desktop"
check "no start with Windows left" not reg_value "$run_key" $product

[ $failures -eq 0 ] || { echo "installer_test: $failures check(s) failed" >&2; exit 1; }
