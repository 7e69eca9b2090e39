#!/usr/bin/env bash
# Start-up time of the desktop client: from exec to its launcher window being viewable, on a
# private Xvfb desktop (icewm, xcompmgr) that is already running.
#   bench/startup.sh [BUILD_DIR] [RUNS]      (defaults: build, 21)
#
# A Python program (standard library only, tests/e2e/xwire.py) holds an X connection that
# listens for structure events on the root window. For each run it reads the monotonic clock,
# spawns the client, and follows the events: every new top-level window gets a structure
# listener; after each map event it asks for the map state of the windows named LumoDrakmoor.
# The time is taken when the launcher's window first answers "viewable" (mapped, and its
# window manager frame mapped too), i.e. when the window manager has put it on the screen.
# The listener adds one round trip to the X server per map event (well under a millisecond).
# The client is ended with SIGTERM after each run and its window's destruction is awaited.
# One unmeasured run goes first (it writes static.ini; the measured runs are later starts).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
runs=${2:-21}
client=$build/client/raduvove
[ -x "$client" ] || { echo "startup: $client is missing (build first)" >&2; exit 1; }
if ! [[ $runs =~ ^[0-9]+$ ]] || [ "$runs" -lt 1 ]; then
  echo "startup: RUNS must be a positive number" >&2
  exit 2
fi

work=$(mktemp -d /tmp/rv-startup-XXXXXX)
# shellcheck source=scripts/desktop.sh
. "$root/scripts/desktop.sh"
finish() {
  desktop_stop
  rm -rf "$work"
}
trap finish EXIT
trap 'exit 130' INT TERM HUP

cp -r "$build/client" "$work/client"
rm -f "$work/client/static.ini"
desktop_start "$work/desktop" || { echo "startup: the desktop did not start" >&2; exit 1; }

python3 - "$root/tests/e2e" "$work/client/raduvove" "$runs" <<'EOF'
import os, signal, statistics, subprocess, sys, time
sys.path.insert(0, sys.argv[1])
import xwire

exe, runs = sys.argv[2], int(sys.argv[3])
# The client's own helper processes (the browser engine's) outlive it by a moment: they are
# handed to us when it ends, and reaped here, instead of to PID 1, which does not reap them.
import ctypes
ctypes.CDLL(None).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER


def children_left():
    me = str(os.getpid())
    for p in os.listdir("/proc"):
        if p.isdigit():
            try:
                with open(f"/proc/{p}/stat") as f:
                    if f.read().rsplit(")", 1)[1].split()[1] == me:
                        return True
            except (OSError, IndexError):
                pass
    return False


def reap():
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            return
d = xwire.Display()
d.select_input(d.root, xwire.SUBSTRUCTURE_NOTIFY)
d.sync()


def launcher_of(candidates):
    for w in candidates:
        try:
            if d.window_name(w) == "LumoDrakmoor" and d.geometry(w)[2] > 200:
                return w
        except xwire.XError:
            pass
    return None


def one_run():
    candidates = []
    found = None
    t1 = None
    t0 = time.monotonic()
    p = subprocess.Popen([exe], cwd=os.path.dirname(exe), stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = t0 + 20
    next_poll = t0 + 0.1
    while t1 is None:
        ev = d.next_event(0.1)
        now = ev.time if ev else time.monotonic()
        if ev and ev.code == xwire.CREATE_NOTIFY and ev.parent == d.root:
            d.select_input(ev.window, xwire.STRUCTURE_NOTIFY)
            candidates.append(ev.window)
        # Look on every map event, and now and then in case a map came before our listener.
        if (ev and ev.code == xwire.MAP_NOTIFY) or now >= next_poll:
            next_poll = now + 0.1
            found = found or launcher_of(candidates)
            if found and d.viewable(found):
                t1 = now
        if t1 is None and p.poll() is not None:
            sys.exit(f"startup: the client ended with code {p.returncode} before its launcher showed")
        if t1 is None and now > deadline:
            p.kill()
            p.wait()
            sys.exit("startup: no launcher window within 20 s")
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
    reap()
    return (t1 - t0) * 1000.0


one_run()  # warm-up: caches, and the first start writes static.ini
times = [one_run() for _ in range(runs)]
s = sorted(times)
xwire.wait_for(lambda: (reap(), not children_left())[1], 5, 0.05)  # helpers still ending
print(f"startup: exec -> launcher viewable, {runs} runs: median {statistics.median(s):.1f} ms, "
      f"min {s[0]:.1f} ms, max {s[-1]:.1f} ms")
print("startup: all runs (ms): " + " ".join(f"{t:.1f}" for t in times))
EOF
