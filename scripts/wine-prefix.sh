#!/usr/bin/env bash
# One Wine prefix for the cross-built programs, and the wine server that serves it.
#   scripts/wine-prefix.sh ensure DIR   make the prefix DIR once (later calls return at once)
#   scripts/wine-prefix.sh start DIR    ensure DIR, then start a persistent wine server for it
#                                       and Wine's own helper processes, all with their
#                                       standard streams on /dev/null
#   scripts/wine-prefix.sh stop DIR     stop that server and every Wine process of the prefix
# Run start and the programs inside one X session: a wine server that started without a
# display breaks windows for every later program of the prefix.
#
# Why the server is started here: a program under Wine starts the server and Wine's helper
# processes when none run; they inherit its standard streams and keep ctest's pipe open until
# they exit, which costs seconds per test (or hangs until the time-out with a persistent server).
set -euo pipefail

cmd=${1:-}
prefix=${2:-}
[ -n "$cmd" ] && [ -n "$prefix" ] || { echo "usage: $0 ensure|start|stop DIR" >&2; exit 2; }
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEARCH=win64
wine=$(command -v wine64 || command -v wine || true)
[ -n "$wine" ] || { echo "wine-prefix: Wine is not installed (scripts/setup.sh windows)" >&2; exit 1; }
server=$(command -v wineserver || true)
[ -n "$server" ] || [ ! -x /usr/lib/wine/wineserver64 ] || server=/usr/lib/wine/wineserver64

ensure() {
  [ -f "$prefix/.rv-ready" ] && return 0
  exec 9>"$prefix.lock"
  flock 9
  [ -f "$prefix/.rv-ready" ] && return 0
  # No browser engine or .NET runtime is offered for download: the machine has no way out.
  WINEDLLOVERRIDES="mscoree=;mshtml=" "$wine" wineboot --init </dev/null >/dev/null 2>&1
  # The user's shell folders (Desktop, Documents, ...) of a new prefix link to the Linux home:
  # made the prefix's own, so what a program puts on its desktop stays in the prefix.
  local link
  for link in "$prefix"/drive_c/users/*/*; do
    if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
  done
  # Without a window manager every hidden or destroyed window would wait for one; Wine then
  # manages its windows itself.
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
  # A program that crashes ends at once with its failure, instead of waiting in a debugger.
  "$wine" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
    </dev/null >/dev/null 2>&1 || true
  # Chinese text in the system's own dialogs: the dialog fonts of message boxes fall back to the
  # Noto CJK face that setup.sh installs (without it the exit prompt's text shows as empty
  # squares). The client finds its own Chinese faces itself (fw/windows/fonts_win32.cpp).
  local reg=$prefix/rv-fonts.reg link="NotoSansCJK-Regular.ttc,Noto Sans CJK SC"
  {
    printf 'Windows Registry Editor Version 5.00\n\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\n'
    for face in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "Segoe UI"; do
      printf '"%s"=hex(7):%s\n' "$face" "$(printf '%s' "$link" | iconv -t UTF-16LE | od -An -tx1 -v |
        tr -s ' \n' ',' | sed 's/^,//; s/,$//'),00,00,00,00"
    done
  } | { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } >"$reg"  # the file's format: UTF-16 with its mark
  "$wine" regedit /S "$reg" </dev/null >/dev/null 2>&1
  "$server" -w
  touch "$prefix/.rv-ready"
}

case $cmd in
  ensure) ensure ;;
  start)
    ensure
    "$server" -p </dev/null >/dev/null 2>&1
    # Wine's helper processes (services, the desktop process) start now, on /dev/null.
    "$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true
    ;;
  stop)
    "$server" -k </dev/null >/dev/null 2>&1 || true
    "$server" -w </dev/null >/dev/null 2>&1 || true
    ;;
  *) echo "usage: $0 ensure|start|stop DIR" >&2; exit 2 ;;
esac
