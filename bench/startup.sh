#!/usr/bin/env bash
# Start-up time of the desktop client, on a private Xvfb desktop (icewm, xcompmgr) that is
# already running:
#   bench/startup.sh [--page|--game|--wine] [BUILD_DIR] [RUNS]      (defaults: build, 21)
#
# Without --page: from exec to its launcher window being viewable.
# With --wine: the same for the Windows client (BUILD_DIR/client/raduvove.exe of a Windows
# build, default build-win) under Wine, with a Wine prefix made for the run on the private
# desktop (its server and helper processes started before the first run): from the exec of
# `wine raduvove.exe` to the launcher's X window being viewable. Wine manages its windows
# itself there (scripts/wine-prefix.sh), so no window manager frames them. Each run is ended
# as a user ends the program from outside, with a close request (taskkill without /f).
# With --page: the local portal (BUILD_DIR/portal/lumo-portal) is started and static.ini's
# section hosts points the client at it; each run then measures both the launcher and its
# page: from exec to the page dialog's window being viewable. The dialog is mapped only once
# the launcher page has finished loading (its first DocumentComplete), so this is the time
# until the user sees the page. The dialog is a transient toplevel without caption, of the
# size of the launcher's web area (BUILD_DIR/launcher_layout.json).
#
# With --game: as --page, then a click on a server entry of the launcher page (xdotool) makes
# the page call OpenGame; measured is the time from that call reaching the client (its
# "open-game" mark: the client runs with RV_TRACE=1, which writes marks on the monotonic
# clock to standard error) to the game window being viewable over the work area. The game
# page itself loads after that. Every run is a new client, so every game window is the
# client's first, with a browser engine view that has to be made.
#
# A Python program (standard library only, tests/e2e/xwire.py) holds an X connection that
# listens for structure events on the root window. For each run it reads the monotonic clock,
# spawns the client, and follows the events: every new top-level window gets a structure
# listener; after each map event it asks for the map state of the windows it waits for.
# A time is taken when a window first answers "viewable" (mapped, and its window manager
# frame mapped too), i.e. when the window manager has put it on the screen.
# The listener adds one round trip to the X server per map event (well under a millisecond).
# The client is ended with SIGTERM after each run; its window's destruction and the end of the
# browser engine's processes are awaited before the next run.
# One unmeasured run goes first (it writes static.ini; the measured runs are later starts).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
page=0
game=0
wine=0
case "${1:-}" in
  --page) page=1; shift ;;
  --game) page=1; game=1; shift ;;
  --wine) wine=1; shift ;;
esac
if [ "$wine" = 1 ]; then
  build=${1:-build-win}
  client=$build/client/raduvove.exe
  winebin=$(command -v wine64 || command -v wine || true)
  [ -n "$winebin" ] || { echo "startup: --wine needs Wine (scripts/setup.sh windows)" >&2; exit 1; }
else
  build=${1:-build}
  client=$build/client/raduvove
fi
runs=${2:-21}
portal=$build/portal/lumo-portal
# shellcheck source=scripts/desktop.sh
. "$root/scripts/desktop.sh"
[ -x "$client" ] || [ -f "$client" ] || { echo "startup: $client is missing (build first)" >&2; exit 1; }
if [ "$page" = 1 ] && ! [ -x "$portal" ]; then
  echo "startup: --page needs the local portal, $portal is missing" >&2
  exit 1
fi
layout=$build/launcher_layout.json  # the launcher's layout, where its page dialog sits
if [ "$page" = 1 ] && ! [ -f "$layout" ]; then
  echo "startup: --page needs the launcher's layout, $layout is missing" >&2
  exit 1
fi
need_count startup RUNS "$runs"

work_dir startup
work=$WORK

cp -r "$build/client" "$work/client"
rm -f "$work/client/static.ini"
if [ "$page" = 1 ]; then
  portal_start "$portal" "$work" || { echo "startup: no portal" >&2; exit 1; }
  portal_hosts_ini "$work/client/static.ini" || exit 1
fi
desktop_start "$work/desktop" || { echo "startup: the desktop did not start" >&2; exit 1; }
if [ "$wine" = 1 ]; then
  # On the private desktop: a wine server that started without it would break windows.
  at_exit '"$root/scripts/wine-prefix.sh" stop "$work/wine"'
  "$root/scripts/wine-prefix.sh" start "$work/wine" || { echo "startup: no Wine prefix" >&2; exit 1; }
  export WINEPREFIX=$work/wine WINEDEBUG=-all WINEARCH=win64 RV_WINE=$winebin
fi

if [ "$game" = 1 ] && ! command -v xdotool >/dev/null; then
  echo "startup: --game needs xdotool" >&2
  exit 1
fi
python3 - "$root/tests/e2e" "$work/client/$(basename "$client")" "$runs" "$page" "$game" "$work" "$layout" <<'PYEOF'
import os, signal, statistics, subprocess, sys, time
sys.path.insert(0, sys.argv[1])
import harness
import xwire

exe, runs, page, game, work = sys.argv[2], int(sys.argv[3]), sys.argv[4] == "1", sys.argv[5] == "1", sys.argv[6]
wine = os.environ.get("RV_WINE")  # the Windows client under Wine
# The client's own helper processes (the browser engine's) outlive it by a moment: they are
# handed to us when it ends, and reaped here, instead of to PID 1, which does not reap them.
harness.become_subreaper()
if page:
    harness.use_layout(sys.argv[7])
    WEB_LEFT, WEB_TOP, _, _ = harness.layout().web_area
    PAGE_SIZE = harness.layout().page_size

d = xwire.Display()
d.select_input(d.root, xwire.SUBSTRUCTURE_NOTIFY)
d.sync()


def first(candidates, test):
    """The first candidate window that passes `test` (windows gone meanwhile do not)."""
    for w in candidates:
        try:
            if test(w):
                return w
        except xwire.XError:
            pass
    return None


def launcher_of(candidates):
    return first(candidates, lambda w: d.window_name(w) == "LumoDrakmoor" and d.geometry(w)[2] > 200)


def viewable_page(candidates, launcher):
    return first(candidates, lambda w: w != launcher and tuple(d.geometry(w)[2:]) == PAGE_SIZE and d.viewable(w))


def game_window(candidates, launcher):
    return first(candidates, lambda w: w != launcher and d.window_name(w) == "LumoDrakmoor"
                 and d.geometry(w)[2] > 1000 and d.viewable(w))


def open_game_mark(path):
    """The client's last "open-game" mark, in seconds of the monotonic clock."""
    mark = None
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            parts = line.split()
            if len(parts) == 3 and parts[0] == "rv-trace" and parts[2] == "open-game":
                mark = int(parts[1]) / 1e6
    return mark


def open_game(p, candidates, launcher, stderr_path):
    """Clicks the server entry S7 of the launcher page; returns the times from the client's
    OpenGame mark and from the click to the game window being viewable, in ms."""
    x, y, _, _ = d.geometry(launcher)
    subprocess.run(["xdotool", "mousemove", str(x + WEB_LEFT + 642), str(y + WEB_TOP + 120)], check=True)
    time.sleep(0.3)  # the page sees the pointer arrive before the press
    t_click = time.monotonic()
    subprocess.run(["xdotool", "click", "1"], check=True)
    deadline = t_click + 20
    next_poll = t_click
    while True:
        ev = d.next_event(0.05)
        now = ev.time if ev else time.monotonic()
        if ev and ev.code == xwire.CREATE_NOTIFY and ev.parent == d.root:
            d.select_input(ev.window, xwire.STRUCTURE_NOTIFY)
            candidates.append(ev.window)
        if (ev and ev.code == xwire.MAP_NOTIFY) or now >= next_poll:
            next_poll = now + 0.05
            if game_window(candidates, launcher):
                break
        if p.poll() is not None:
            sys.exit(f"startup: the client ended with code {p.returncode} before the game window showed")
        if now > deadline:
            sys.exit("startup: no game window within 20 s of the click")
    t_open = open_game_mark(stderr_path)
    if t_open is None:
        sys.exit("startup: the client wrote no open-game mark (was the click on a server entry?)")
    return (now - t_open) * 1000.0, (now - t_click) * 1000.0


def one_run():
    candidates = []
    found = None
    t_launcher = t_page = None
    stderr_path = os.path.join(work, "client-stderr.log")
    env = dict(os.environ, RV_TRACE="1") if game else None
    t0 = time.monotonic()
    with open(stderr_path, "w") as err:
        p = subprocess.Popen([wine, exe] if wine else [exe], cwd=os.path.dirname(exe), stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=err, env=env)
    deadline = t0 + 20
    next_poll = t0 + 0.1

    def done():
        return t_launcher is not None and (not page or t_page is not None)
    while not done():
        ev = d.next_event(0.1)
        now = ev.time if ev else time.monotonic()
        if ev and ev.code == xwire.CREATE_NOTIFY and ev.parent == d.root:
            d.select_input(ev.window, xwire.STRUCTURE_NOTIFY)
            candidates.append(ev.window)
        # Look on every map event, and now and then in case a map came before our listener.
        if (ev and ev.code == xwire.MAP_NOTIFY) or now >= next_poll:
            next_poll = now + 0.1
            found = found or launcher_of(candidates)
            if t_launcher is None and found and d.viewable(found):
                t_launcher = now
            if page and t_page is None and viewable_page(candidates, found):
                t_page = now
        if not done() and p.poll() is not None:
            sys.exit(f"startup: the client ended with code {p.returncode} before it showed")
        if not done() and now > deadline:
            p.kill()
            p.wait()
            sys.exit("startup: no launcher window within 20 s" if t_launcher is None
                     else "startup: no page within 20 s")
    t_game = open_game(p, candidates, found, stderr_path) if game else None
    if wine:
        # A close request to its windows, as the taskbar sends it: the launcher ends the program.
        subprocess.run([wine, "taskkill", "/im", os.path.basename(exe)], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    else:
        p.send_signal(signal.SIGTERM)
    try:
        p.wait(timeout=10)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()
    # The next run starts on a clean screen: wait until the window is gone.
    xwire.wait_for(lambda: d.map_state(found) is None, 5)
    while d.next_event(0) is not None:  # what is left of this run
        pass
    # The browser engine's processes of this run end a moment after the client: the next run
    # starts once they are gone, not while they still take the processors.
    harness.reap_orphans(5)
    return ((t_launcher - t0) * 1000.0, (t_page - t0) * 1000.0 if page else None, t_game)


def report(what, times, start="exec"):
    s = sorted(times)
    print(f"startup: {start} -> {what}, {runs} runs: median {statistics.median(s):.1f} ms, "
          f"min {s[0]:.1f} ms, max {s[-1]:.1f} ms")
    print("startup: all runs (ms): " + " ".join(f"{t:.1f}" for t in times))


one_run()  # warm-up: caches, and the first start writes static.ini
results = [one_run() for _ in range(runs)]
harness.reap_orphans(5)  # helpers still ending
report("launcher viewable" + (" (Windows client under Wine)" if wine else ""), [r[0] for r in results])
if page:
    report("launcher page viewable", [r[1] for r in results])
if game:
    report("game window viewable", [r[2][0] for r in results], "OpenGame")
    report("game window viewable", [r[2][1] for r in results], "click")
PYEOF
