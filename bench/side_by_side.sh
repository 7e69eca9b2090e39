#!/usr/bin/env bash
# The side-by-side benchmark: this client, Chromium in app mode and rv-webview (a minimal
# WebKitGTK program, bench/webview/) on the local portal's launcher page and game page,
# interleaved, each run with a fresh profile, on a private desktop (Xvfb 1920x1080, icewm,
# xcompmgr). It prints a table of medians with ratios to Chromium.
#
#   bench/side_by_side.sh [BUILD_DIR] [options]          (make bench-side)
#
# Options (all passed on to bench/side_by_side.py; more there, see its --help):
#   --launcher-runs N   runs of each program on the launcher page (default 10)
#   --game-runs N       runs of each program on the game page (default 9)
#   --window S          the measuring window in seconds (default 30)
#   --settle S          seconds after the page's load event before measuring (default 3)
#   --subject LABEL=PROGRAM[,VAR=VALUE][,--arg]   a column of its own (repeatable), e.g.
#                       --subject 'no dmabuf=client,WEBKIT_DISABLE_DMABUF_RENDERER=1'
#                       PROGRAM is client, chromium or webkit; client:DIR runs the client folder
#                       DIR of another build (e.g. --subject 'base=client:/tmp/base/build/client')
#   --json FILE         every run's figures as JSON
#   --no-compositor     run the desktop without xcompmgr (this script's own option)
#
# Needs a build (make): BUILD_DIR/client/raduvove, BUILD_DIR/portal/lumo-portal and
# BUILD_DIR/bench/webview/rv-webview. Chromium comes from the Debian package `chromium`,
# installed with apt-get when it is missing (as root; otherwise install it yourself).
# One full run (10 + 9 rounds of three programs, 30-second windows) takes about 35 minutes.
# Figures are only worth comparing from a quiet machine: the script prints `uptime` first.
#
# How the figures are taken, and why so, is written at the top of bench/side_by_side.py.
#
# Chromium's flags: --no-first-run --no-default-browser-check --disable-background-networking
# --disable-component-update --disable-sync --disable-quic --password-store=basic, a new
# --user-data-dir each run, --no-sandbox as root (it refuses to start otherwise), the page size
# (--window-size for the launcher page, --start-maximized for the game page) and --app=URL.
# No --disable-gpu: on a machine without a GPU Chromium finds none by itself and draws as it
# would for a user there. Measured here, --disable-gpu gives the same frames per second and
# CPU per frame and about 40 MB less PSS (a smaller GPU process); to see both, add
#   --subject 'Chromium --disable-gpu=chromium,--disable-gpu'
# (bench/RESULTS-rendering.md).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=build
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  build=$1
  shift
fi
compositor=1
args=()
for a in "$@"; do
  case $a in
    --no-compositor) compositor=0 ;;
    -h|--help)
      sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//'
      exit 0
      ;;
    *) args+=("$a") ;;
  esac
done

build=$(cd "$build" 2>/dev/null && pwd) || { echo "side-by-side: no build folder ${build} (build first: make)" >&2; exit 1; }
client=$build/client/raduvove
portal=$build/portal/lumo-portal
webview=$build/bench/webview/rv-webview
# shellcheck source=scripts/desktop.sh
. "$root/scripts/desktop.sh"
need_built side-by-side "$client" "$portal" "$webview"
for tool in Xvfb icewm xcompmgr xdotool setxkbmap python3; do
  command -v "$tool" >/dev/null || { echo "side-by-side: $tool is missing (scripts/setup.sh test installs it)" >&2; exit 1; }
done

chromium=$(command -v chromium || true)
if [ -z "$chromium" ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "side-by-side: Chromium is missing; install the Debian package chromium (as root)" >&2
    exit 1
  fi
  echo "side-by-side: installing Chromium (apt-get install chromium)" >&2
  # Another apt-get may hold the lock for a while: wait for it rather than fail.
  if ! DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends chromium >&2; then
    apt-get -o DPkg::Lock::Timeout=600 update -q >&2 &&
      DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends chromium >&2
  fi
  chromium=$(command -v chromium || true)
  [ -n "$chromium" ] || { echo "side-by-side: Chromium could not be installed" >&2; exit 1; }
fi

echo "side-by-side: $(uptime)"
echo "side-by-side: $(nproc) processors; $($chromium --version 2>/dev/null | tail -n 1); WebKitGTK $(pkg-config --modversion webkit2gtk-4.1 2>/dev/null || echo '?')"

work_dir side
work=$WORK

# --perf: the launcher and game pages report their load event, the game page its frames.
portal_start "$portal" "$work" --perf || { echo "side-by-side: no portal" >&2; exit 1; }
desktop_start "$work/desktop" || { echo "side-by-side: the desktop did not start" >&2; exit 1; }
if [ "$compositor" = 0 ]; then
  # The compositor is the desktop's last process: end it, and its selection goes with it.
  reap_pid "${DESKTOP_PIDS[2]}"
  unset 'DESKTOP_PIDS[2]'
  echo "side-by-side: without a compositor"
fi

python3 "$root/bench/side_by_side.py" --port "$PORTAL_PORT" --client-dir "$build/client" --webview "$webview" \
  --chromium "$chromium" --work "$work" --desktop-pids "$(IFS=,; echo "${DESKTOP_PIDS[*]}")" "${args[@]}"
