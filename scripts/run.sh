#!/usr/bin/env bash
# make run: starts the local portal, points the client's static.ini (section hosts) at it and
# starts the client: on $DISPLAY in the foreground when there is a display, otherwise on a
# private Xvfb desktop where it takes screenshots of the launcher, a game and the VIP window
# (scripts/run_tour.py) into <build>/screenshots/ and stops again.
#   scripts/run.sh [BUILD_DIR]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
[ -d "$build" ] || { echo "run: no build folder $build (run make first)" >&2; exit 1; }
build=$(cd "$build" && pwd)
client=$build/client/raduvove
portal=$build/portal/lumo-portal
ini=$build/client/static.ini
work=$build/run
xwire=$root/tests/e2e/xwire.py
# The client runs under a subreaper that also reaps the browser engine's helper processes.
reaper=$root/tests/e2e/subreaper.py
[ -x "$client" ] || { echo "run: $client is missing (run make first)" >&2; exit 1; }
mkdir -p "$work"

say() { echo "run: $*"; }

# shellcheck source=scripts/desktop.sh
. "$root/scripts/desktop.sh"
# The client is stopped first at exit, before the desktop and the portal (registered after them).
client_pid=

# ---- the portal and static.ini ---------------------------------------------------------

# set_hosts FILE HOST: section "hosts" gets portal, game, pay, forum and cs = HOST; every
# other section, key and comment stays as it was. The file is replaced in one rename.
set_hosts() {
  python3 - "$1" "$2" <<'EOF'
import os, sys
path, host = sys.argv[1], sys.argv[2]
keys = ["portal", "game", "pay", "forum", "cs"]
try:
    raw = open(path, "rb").read()
except FileNotFoundError:
    raw = b""
except OSError as e:
    sys.exit(f"run: cannot read {path}: {e.strerror}")
if raw.startswith(b"\xff\xfe"):
    text = raw[2:].decode("utf-16-le", "replace")
elif raw.startswith(b"\xef\xbb\xbf"):
    text = raw[3:].decode("utf-8", "surrogateescape")
else:
    text = raw.decode("utf-8", "surrogateescape")
nl = "\r\n" if "\r\n" in text else "\n"
lines = [l[:-1] if l.endswith("\r") else l for l in text.split("\n")]
if lines and lines[-1] == "":
    lines.pop()

def section_name(line):
    t = line.strip()
    if not t.startswith("["):
        return None
    return t[1:t.index("]") if "]" in t else len(t)].strip().lower()

start = next((i for i, l in enumerate(lines) if section_name(l) == "hosts"), None)
if start is None:
    if lines and lines[-1].strip():
        lines.append("")
    lines.append("[hosts]")
    lines += [f"{k}={host}" for k in keys]
else:
    end = next((i for i in range(start + 1, len(lines)) if section_name(lines[i]) is not None), len(lines))
    seen = set()
    last = start
    for i in range(start + 1, end):
        t = lines[i].strip()
        if t:
            last = i
        if "=" in t and not t.startswith((";", "#")):
            k = t.split("=", 1)[0].strip().lower()
            if k in keys and k not in seen:
                lines[i] = f"{k}={host}"
                seen.add(k)
    lines[last + 1:last + 1] = [f"{k}={host}" for k in keys if k not in seen]
tmp = f"{path}.run-{os.getpid()}"
with open(tmp, "wb") as f:
    f.write((nl.join(lines) + nl).encode("utf-8", "surrogateescape"))
os.replace(tmp, path)
EOF
}

if [ -x "$portal" ]; then
  if portal_start "$portal" "$work" 2>/dev/null; then
    port=$PORTAL_PORT
    say "portal on http://127.0.0.1:$port/ (log: $work/portal.log)"
    say "customer-service agent console: http://127.0.0.1:$port/cs/agent/"
    if [ -d "$ini" ]; then
      say "$ini is a directory: the hosts are left as they are"
    elif set_hosts "$ini" "127.0.0.1:$port"; then
      say "$ini: section hosts points at 127.0.0.1:$port"
    fi
  else
    say "the portal did not start (see $work/portal.log); the client uses the hosts it has"
  fi
else
  say "no portal built ($portal); the client uses the hosts in static.ini or its defaults"
fi

# ---- on the user's display ---------------------------------------------------------------

if [ -n "${DISPLAY:-}" ] && python3 "$xwire" reachable; then
  say "starting the client on $DISPLAY; close it (or use the tray menu) to finish"
  at_exit 'reap_pid "$client_pid" 5; client_pid='
  python3 "$reaper" "$client" &
  client_pid=$!
  wait "$client_pid"
  rc=$?
  client_pid=
  say "the client ended with code $rc"
  exit "$rc"
fi

# ---- on a private desktop, with screenshots ------------------------------------------------

[ -n "${DISPLAY:-}" ] && say "DISPLAY=$DISPLAY does not answer"
say "no display: starting a private Xvfb desktop (1920x1080, icewm, xcompmgr)"
rm -rf "$work/desktop"
desktop_start "$work/desktop" || { say "the desktop did not start"; exit 1; }
shots=$build/screenshots
mkdir -p "$shots"
# From the launcher's layout as the build wrote it (shared/launcher_layout.h): the page
# dialog's size and the centre of the official-site button.
layout=$build/launcher_layout.json
if ! read -r page_size official_x official_y < <(python3 -c '
import json, sys
with open(sys.argv[1], encoding="utf-8") as f:
    layout = json.load(f)
l, t, r, b = layout["web_area"]
ol, ot, orr, ob = layout["buttons"]["official"]
print(f"{r - l}x{b - t} {(ol + orr) // 2} {(ot + ob) // 2}")' "$layout"); then
  say "$layout is missing or unreadable (run make first)"
  exit 1
fi

at_exit 'reap_pid "$client_pid" 5; client_pid='
python3 "$reaper" "$client" >"$work/client.stdout" 2>"$work/client.stderr" &
client_pid=$!
# The desktop is private: the only windows of that name and size are the client's.
if ! found=$(python3 "$xwire" wait-window 15 LumoDrakmoor); then
  say "the launcher did not show within 15 s; the client's last words:"
  tail -n 20 "$work/client.stderr" | sed 's/^/  /'
  exit 1
fi
read -r _ wx wy ww wh <<<"$found"
say "launcher shown at ${ww}x${wh}+${wx}+${wy}"
# Its page window comes once the launcher page has loaded.
if page=$(python3 "$xwire" wait-window 10 '*' '' "$page_size"); then
  read -r _ px py pw ph <<<"$page"
  if python3 "$xwire" wait-varied 10 "$px" "$py" "$pw" "$ph" >/dev/null; then
    say "its page is shown"
  else
    say "its page window is shown but stays blank"
  fi
else
  say "its page did not show within 10 s"
fi
python3 "$xwire" wait-still 5 "$wx" "$wy" "$ww" "$wh" || true
import -window root "$shots/launcher.png"
convert "$shots/launcher.png" -crop "${ww}x${wh}+${wx}+${wy}" +repage "$shots/launcher-crop.png"
# Hover over the official-site button of the skin.
xdotool mousemove $((wx + official_x)) $((wy + official_y))
sleep 0.15
python3 "$xwire" wait-still 5 "$wx" "$wy" "$ww" "$wh" || true
import -window root "$shots/launcher-hover.png"
say "screenshots: $shots/launcher.png, $shots/launcher-hover.png, $shots/launcher-crop.png"
# Then a game on the portal, and the VIP chat window (game.png, game-vip.png, vip.png).
if [ -n "${port:-}" ]; then
  python3 "$root/scripts/run_tour.py" "$shots" "$port" "$(cut -d' ' -f1 <<<"$found")" "$build/client" ||
    say "no pictures of the game (see above)"
else
  say "no portal: no game to take pictures of"
fi
at_exit_run
say "client, desktop and portal stopped"
exit 0
