#!/usr/bin/env bash
# A private X desktop for running the client: Xvfb (1920x1080, Composite), the icewm window
# manager with its system tray, a keymap that lets Ctrl+Alt+Fn through, and the xcompmgr
# compositor, so that per-pixel alpha, input shapes, the tray and global keys behave as on a
# real desktop. Each start gets its own HOME and XDG folders under the work folder, with a
# fake default browser that appends every address it is asked to open to <workdir>/browser.log.
#
# Sourced:   . scripts/desktop.sh; desktop_start WORKDIR; ...; desktop_stop
#            desktop_start exports DISPLAY, HOME, XDG_*, NO_AT_BRIDGE=1, GDK_BACKEND=x11;
#            DESKTOP_WM_CLOSE_KEY=1 keeps the window manager's Alt+F4 (close the active window)
#            (desktop_stop puts the old values back) and sets DESKTOP_DIR.
#            DESKTOP_SCREEN=WxH sizes the screen (1920x1080); DESKTOP_MONITORS="WxH+X+Y ..."
#            divides it into monitors, the first the primary (one monitor without it). The desktop is
#            stopped when the script ends (at_exit of scripts/lib.sh, which this file sources)
#            if desktop_stop was not called before.
# Executed:  scripts/desktop.sh serve WORKDIR
#            starts the desktop, prints its environment as NAME=VALUE lines and then READY,
#            and stops it when its standard input closes (or on SIGTERM/SIGINT/SIGHUP).
#            The end-to-end tests drive it this way.
# Executed:  scripts/desktop.sh sound WORKDIR
#            a private PulseAudio server with one null sink (below); prints PULSE_SERVER=...
#            and then READY, and stops like serve. Only the cases that listen to the client
#            start it: the others run without a sound server.

_DESKTOP_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/lib.sh
. "$_DESKTOP_HERE/lib.sh"
_DESKTOP_XWIRE="$_DESKTOP_HERE/../tests/e2e/xwire.py"
_DESKTOP_VARS=(DISPLAY HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_STATE_HOME
               XDG_RUNTIME_DIR NO_AT_BRIDGE GDK_BACKEND XAUTHORITY)
DESKTOP_PIDS=()
_DESKTOP_UP=
_DESKTOP_AT_EXIT=
export DESKTOP_DIR=

_desktop_log() { echo "desktop: $*" >&2; }

desktop_start() {
  local dir=${1:?desktop_start needs a work folder}
  if [ ${#DESKTOP_PIDS[@]} -ne 0 ]; then
    _desktop_log "already running"
    return 1
  fi
  mkdir -p "$dir" || return 1
  dir=$(cd "$dir" && pwd)
  DESKTOP_DIR=$dir
  local v
  for v in "${_DESKTOP_VARS[@]}"; do
    if [ -n "${!v+x}" ]; then eval "_DESKTOP_OLD_$v=\${$v}"; else eval "unset _DESKTOP_OLD_$v"; fi
  done
  _DESKTOP_UP=1
  if [ -z "$_DESKTOP_AT_EXIT" ]; then
    at_exit desktop_stop
    _DESKTOP_AT_EXIT=1
  fi

  mkdir -p "$dir"/{home,config,data/applications,cache,state,runtime,bin} || return 1
  chmod 700 "$dir/runtime"
  export HOME=$dir/home XDG_CONFIG_HOME=$dir/config XDG_DATA_HOME=$dir/data
  export XDG_CACHE_HOME=$dir/cache XDG_STATE_HOME=$dir/state XDG_RUNTIME_DIR=$dir/runtime
  export NO_AT_BRIDGE=1 GDK_BACKEND=x11
  unset XAUTHORITY

  # The default browser: a script that logs what it was asked to open.
  : >"$dir/browser.log"
  cat >"$dir/bin/fake-browser" <<EOF
#!/bin/sh
for a in "\$@"; do printf '%s\n' "\$a" >>'$dir/browser.log'; done
EOF
  chmod +x "$dir/bin/fake-browser"
  cat >"$XDG_DATA_HOME/applications/rv-fake-browser.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Fake Browser
Exec=$dir/bin/fake-browser %u
MimeType=x-scheme-handler/http;x-scheme-handler/https;x-scheme-handler/file;
NoDisplay=true
EOF
  # Local files (file: addresses) go to it too, so that tests see a local file being opened.
  local mime
  mime=$'[Default Applications]\nx-scheme-handler/http=rv-fake-browser.desktop\nx-scheme-handler/https=rv-fake-browser.desktop\nx-scheme-handler/file=rv-fake-browser.desktop\n'
  printf '%s' "$mime" >"$XDG_CONFIG_HOME/mimeapps.list"
  printf '%s' "$mime" >"$XDG_DATA_HOME/applications/mimeapps.list"

  # icewm: no monitors or clock that repaint the taskbar every second, and Alt+F4 left to
  # the application (icewm would close the active window itself and the client never see it)
  # unless DESKTOP_WM_CLOSE_KEY=1 asks for the window manager's own binding, as most
  # desktops have it.
  mkdir -p "$HOME/.icewm"
  cat >"$HOME/.icewm/preferences" <<'EOF'
TaskBarShowClock=0
TaskBarShowCPUStatus=0
TaskBarShowNetStatus=0
TaskBarShowMEMStatus=0
TaskBarShowMailboxStatus=0
TaskBarShowApm=0
TaskBarAutoHide=0
ShowSettingsMenu=0
EOF
  [ "${DESKTOP_WM_CLOSE_KEY:-0}" = 1 ] || echo 'KeyWinClose=""' >>"$HOME/.icewm/preferences"

  # 1. The X server picks a free display and writes its number on fd 3 once it accepts
  #    connections.
  : >"$dir/display"
  Xvfb -displayfd 3 -screen 0 "${DESKTOP_SCREEN:-1920x1080}x24" +extension Composite -nolisten tcp -noreset \
    3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  DESKTOP_PIDS+=($!)
  local i n=
  for ((i = 0; i < 500; i++)); do
    if [ "$(wc -l <"$dir/display")" -ge 1 ]; then
      n=$(head -n 1 "$dir/display")
      break
    fi
    pid_alive "${DESKTOP_PIDS[0]}" || break
    sleep 0.02
  done
  if ! [[ $n =~ ^[0-9]+$ ]]; then
    _desktop_log "Xvfb did not start (see $dir/xvfb.log)"
    desktop_stop
    return 1
  fi
  export DISPLAY=:$n

  # Monitors of the screen (RandR 1.5, before the window manager reads them): the first takes
  # the screen's one output, which replaces the output's own monitor; the server keeps them
  # while it runs (-noreset).
  local mon k=0
  for mon in ${DESKTOP_MONITORS:-}; do
    if ! [[ $mon =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] ||
      ! xrandr --setmonitor "rv$k" "${BASH_REMATCH[1]}/$((BASH_REMATCH[1] / 4))x${BASH_REMATCH[2]}/$((BASH_REMATCH[2] / 4))+${BASH_REMATCH[3]}+${BASH_REMATCH[4]}" \
        "$([ $k = 0 ] && echo screen || echo none)" >>"$dir/xrandr.log" 2>&1; then
      _desktop_log "the monitor $mon could not be set (see $dir/xrandr.log)"
      desktop_stop
      return 1
    fi
    k=$((k + 1))
  done

  # 2. The window manager; it announces itself with _NET_SUPPORTING_WM_CHECK.
  icewm >"$dir/icewm.log" 2>&1 &
  DESKTOP_PIDS+=($!)
  if ! python3 "$_DESKTOP_XWIRE" wait-root-prop 10 _NET_SUPPORTING_WM_CHECK >&2; then
    _desktop_log "icewm did not start (see $dir/icewm.log)"
    desktop_stop
    return 1
  fi

  # 3. Let Ctrl+Alt+F1..F12 reach clients instead of switching virtual terminals (after the
  #    window manager, which sets the keymap again when it starts).
  if ! setxkbmap -option srvrkeys:none >"$dir/setxkbmap.log" 2>&1; then
    _desktop_log "setxkbmap failed (see $dir/setxkbmap.log)"
    desktop_stop
    return 1
  fi

  # 4. The compositor, and the tray of icewm's taskbar.
  xcompmgr >"$dir/xcompmgr.log" 2>&1 &
  DESKTOP_PIDS+=($!)
  if ! python3 "$_DESKTOP_XWIRE" wait-owner 10 _NET_WM_CM_S0 _NET_SYSTEM_TRAY_S0 >&2; then
    _desktop_log "the compositor or the tray did not come up (see $dir/xcompmgr.log, $dir/icewm.log)"
    desktop_stop
    return 1
  fi
  return 0
}

desktop_stop() {
  [ -n "$_DESKTOP_UP" ] || return 0
  _DESKTOP_UP=
  local i v
  for ((i = ${#DESKTOP_PIDS[@]} - 1; i >= 0; i--)); do
    reap_pid "${DESKTOP_PIDS[i]}"
  done
  DESKTOP_PIDS=()
  for v in "${_DESKTOP_VARS[@]}"; do
    local old=_DESKTOP_OLD_$v
    if [ -n "${!old+x}" ]; then export "$v=${!old}"; else unset "$v"; fi
    unset "$old"
  done
  return 0
}

# ---- Sound ------------------------------------------------------------------------------------
# sound_start WORKDIR: PulseAudio with a null sink named rvnull and nothing else (no sound card,
# no D-Bus, no autospawn), listening on WORKDIR/native; exports PULSE_SERVER for the clients
# started afterwards. What they play can be recorded from rvnull.monitor (parec -d
# rvnull.monitor). sound_stop ends it.
SOUND_PID=
sound_start() {
  local dir=${1:?sound_start needs a work folder} i
  mkdir -p "$dir" || return 1
  dir=$(cd "$dir" && pwd)
  # Its own HOME: the server writes its cookie and state there.
  HOME=$dir XDG_RUNTIME_DIR=$dir pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --disable-shm=yes -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
    -L "module-null-sink sink_name=rvnull" >"$dir/pulseaudio.log" 2>&1 &
  SOUND_PID=$!
  export PULSE_SERVER=unix:$dir/native
  for ((i = 0; i < 250; i++)); do
    pactl list short sinks 2>/dev/null | grep -q rvnull && return 0
    pid_alive "$SOUND_PID" || break
    sleep 0.02
  done
  _desktop_log "PulseAudio did not start (see $dir/pulseaudio.log)"
  sound_stop
  return 1
}

sound_stop() {
  reap_pid "$SOUND_PID"
  SOUND_PID=
  unset PULSE_SERVER
  return 0
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  case ${1:-} in
  serve)
    [ -n "${2:-}" ] || { echo "usage: $0 serve WORKDIR" >&2; exit 2; }
    desktop_start "$2" || exit 1
    trap 'desktop_stop; exit 0' TERM INT HUP
    for v in DISPLAY HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_STATE_HOME \
             XDG_RUNTIME_DIR NO_AT_BRIDGE GDK_BACKEND; do
      printf '%s=%s\n' "$v" "${!v}"
    done
    echo READY
    while read -r _; do :; done
    desktop_stop
    exit 0
    ;;
  sound)
    [ -n "${2:-}" ] || { echo "usage: $0 sound WORKDIR" >&2; exit 2; }
    sound_start "$2" || exit 1
    trap 'sound_stop; exit 0' TERM INT HUP
    printf 'PULSE_SERVER=%s\n' "$PULSE_SERVER"
    echo READY
    while read -r _; do :; done
    sound_stop
    exit 0
    ;;
  *)
    echo "usage: . $0 (then desktop_start WORKDIR / desktop_stop), or $0 serve|sound WORKDIR" >&2
    exit 2
    ;;
  esac
fi
