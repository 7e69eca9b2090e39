#!/usr/bin/env python3
"""The boss key under load: thousands of F10 round trips while a game runs with the VIP window
open, with the desktop client, the real chat library and the local portal on a private Xvfb
desktop (the end-to-end tests' harness, tests/e2e/).

  bench/bosskey_stress.py [BUILD_DIR] [--rounds N] [--burners N] [--timeout S]
                          [--extra-clients N] [--storm-hz R]
      BUILD_DIR        default build
      --rounds N       round trips (two presses each), default 1000
      --burners N      processes that spin on the CPU meanwhile, default 2 (one per core here)
      --timeout S      how long a press may take to show its effect, default 3 s
      --extra-clients N further clients in folders of their own, each playing a game of its own
                       (their game pages draw all the time), default 0
      --storm-hz R     the agent's messages to the player per second, default 0

Set-up (not measured): a client plays on the portal; the launcher page's ShowIM starts the
customer service; an agent's message makes the VIP button blink and its press opens the VIP
window (as the end-to-end case vip_chat does). Then the extra clients start and play while
F10 has put the game away (two presses that the figures leave out but the client's count of
handled presses includes), and the burners and the agent's message storm start.

Each round: F10 (xdotool key, the harness's own call without its pause after the input) and
a wait until the game window and the VIP window are both unmapped; F10 again and a wait until
both are viewable again with the game window over the work area. The state is polled over the
X protocol every 5 ms. A press after which the expected state has not come within the timeout
is counted as lost; the key is then pressed again until the state comes (each press with the
same timeout), and those further presses are counted too. After 10 further presses in vain the
run stops: the client is stuck.

Printed: the wall time, the presses and the lost ones, the time from the press to the state
per press (median, p95, max; hides and shows apart), and a JSON line with the figures. The
client runs with RV_TRACE=1; its "boss-key-hide" and "boss-key-show" marks (one per press it
handled) tell a press that never reached the client from one that did and showed no effect,
and are printed for each lost press. Exit code 0 when no press was
lost, 1 when one was (or the set-up failed).
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import threading
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(root, "tests", "e2e"))

import harness  # noqa: E402
from cases_game import WORK_AREA, Game, ini_for  # noqa: E402
from cases_vip import Vip, post  # noqa: E402

POLL_S = 0.005
MAX_EXTRA_PRESSES = 10


def parse_args():
    p = argparse.ArgumentParser(description="F10 round trips under load (see the docstring)")
    p.add_argument("build", nargs="?", default="build")
    p.add_argument("--rounds", type=int, default=1000)
    p.add_argument("--burners", type=int, default=2)
    p.add_argument("--timeout", type=float, default=3.0)
    p.add_argument("--extra-clients", type=int, default=0)
    p.add_argument("--storm-hz", type=float, default=0.0)
    a = p.parse_args()
    if a.rounds < 1 or a.burners < 0 or a.timeout <= 0 or a.extra_clients < 0 or a.storm_hz < 0:
        p.error("--rounds must be at least 1; --burners, --extra-clients and --storm-hz not negative; "
                "--timeout above 0")
    return a


def open_vip_window(c, v):
    """ShowIM, an agent's message, the press on the blinking VIP button: the VIP window."""
    v.show_im()
    v.wait_shows("button")
    v.send("您好，我是客服 Lily，请问有什么可以帮您？")
    v.wait_shows("bare", timeout=5)
    bx, by, bw, bh = v.rect
    c.move(bx + bw // 2, by + bh // 2)
    c.click()
    return c.wait(lambda: v.vip_windows(), 10, "the VIP window")[0]


def extra_player(c, host, n):
    """A further client in a folder of its own, playing on the same portal."""
    g = Game.__new__(Game)
    g.c, g.host, g.uid = c, host, f"u{9000 + n}"
    g.client = c.start_client(ini=ini_for(host, g.uid), label=f"extra{n}")
    g.launcher = c.launcher(g.client)
    g.dlg = g.window = g.server = None
    g.wait_page(f"extra client {n}'s launcher page", timeout=30)
    g.enter("S8")
    return g


class Storm:
    """The agent writes to the player at a fixed rate on a thread of its own."""

    def __init__(self, c, uid, hz):
        self.c, self.uid, self.period = c, uid, 1.0 / hz
        self.sent = self.failed = 0
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        next_at = time.monotonic()
        while not self.stop.is_set():
            try:
                post(self.c, "/cs/agent/send", user=self.uid, text=f"消息 {self.sent + self.failed}")
                self.sent += 1
            except harness.Failure:
                self.failed += 1
            next_at += self.period
            self.stop.wait(max(0.0, next_at - time.monotonic()))

    def end(self):
        self.stop.set()
        self.thread.join(15)


def handled(client):
    """The presses the client handled: its boss-key marks (µs), with what each did."""
    out = []
    for line in client.stderr_text().splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[0] == "rv-trace" and parts[2] in ("boss-key-hide", "boss-key-show"):
            out.append((int(parts[1]), parts[2][len("boss-key-"):]))
    return out


def start_burners(n):
    return [subprocess.Popen([sys.executable, "-c", "while True: pass"], stdin=subprocess.DEVNULL)
            for _ in range(n)]


def stop_burners(burners):
    for b in burners:
        b.kill()
    for b in burners:
        b.wait()


def percentile(values, q):
    s = sorted(values)
    return s[min(len(s) - 1, int(round(q * (len(s) - 1))))]


def main():
    a = parse_args()
    c = harness.bench_case(a.build, "bench-bosskey-stress")
    if not c:
        return 1
    burners, storm = [], None
    times = {"hide": [], "show": []}
    lost = []  # (round, what, further presses it took)
    presses = 0
    t_start = None
    failed = None
    try:
        v = Vip(c)
        g = v.g
        game = v.window
        vip = open_vip_window(c, v)
        if a.extra_clients:
            # The VIP window would cover the other launchers' server lists: the boss key puts
            # the game away while they start and play.
            c.key("F10")
            c.wait(lambda: not c.x.viewable(game) and not c.x.viewable(vip), 5, "F10 to hide the game")
            for n in range(a.extra_clients):
                extra_player(c, g.host, n + 1)
            c.key("F10")
            c.wait(lambda: c.x.viewable(game) and c.x.viewable(vip), 5, "F10 to show the game again")
        burners = start_burners(a.burners)
        if a.storm_hz > 0:
            storm = Storm(c, g.uid, a.storm_hz)

        def hidden():
            return not c.x.viewable(game) and not c.x.viewable(vip)

        def shown():
            return c.x.viewable(game) and c.x.viewable(vip) and tuple(c.x.geometry(game)) == WORK_AREA

        def state_text():
            return (f"game window {'viewable' if c.x.viewable(game) else 'unmapped'} at "
                    f"{c.x.geometry(game)}, VIP window {'viewable' if c.x.viewable(vip) else 'unmapped'}")

        def press_until(want, what, rnd):
            """Presses F10 until `want` holds; answers the first press's time or None."""
            nonlocal presses
            for attempt in range(MAX_EXTRA_PRESSES + 1):
                t0 = time.monotonic()
                c.xdo("key", "F10")
                presses += 1
                deadline = t0 + a.timeout
                while True:
                    g.alive()
                    if want():
                        elapsed = time.monotonic() - t0
                        if attempt == 0:
                            return elapsed
                        lost.append((rnd, what, attempt))
                        print(f"round {rnd}: a press to {what} was lost; {attempt} further press(es) "
                              f"brought it", flush=True)
                        return None
                    if time.monotonic() >= deadline:
                        break
                    time.sleep(POLL_S)
                marks = handled(g.client)
                since = [f"{(us / 1e6 - t0) * 1000:.0f} ms {did}" for us, did in marks if us / 1e6 >= t0 - 1]
                print(f"round {rnd}: no {what} within {a.timeout:g} s of press {attempt + 1}: "
                      f"{state_text()}; the client handled {len(marks)} of {presses} presses, "
                      f"from 1 s before this one: {since}", flush=True)
            lost.append((rnd, what, None))
            raise harness.Failure(f"round {rnd}: {MAX_EXTRA_PRESSES} further presses did not {what}")

        t_start = time.monotonic()
        for rnd in range(1, a.rounds + 1):
            for want, what in ((hidden, "hide"), (shown, "show")):
                t = press_until(want, what, rnd)
                if t is not None:
                    times[what].append(1000 * t)
            if rnd % 100 == 0:
                print(f"  {rnd} rounds, {time.monotonic() - t_start:.0f} s, {len(lost)} lost", flush=True)
    except harness.Failure as e:
        failed = str(e)
    finally:
        wall = time.monotonic() - t_start if t_start else 0.0
        if storm:
            storm.end()
        stop_burners(burners)
        n_handled = None
        if c.clients:
            n_handled = len(handled(c.clients[0]))
        if failed:
            print(f"bosskey_stress: FAILED: {failed}")
            print(f"work folder kept: {c.work}")
        c.close()
        harness.reap_orphans(0.5)
        if not failed and not lost:
            shutil.rmtree(c.work, ignore_errors=True)

    every = times["hide"] + times["show"]
    print(f"Boss key under load: {a.rounds} rounds asked, {len(times['show'])} round trips timed, "
          f"{a.burners} burners, {a.extra_clients} extra clients, agent's messages "
          f"{a.storm_hz:g}/s{f' ({storm.sent} sent, {storm.failed} failed)' if storm else ''}")
    print(f"  wall time {wall:.0f} s; {presses} presses, the client handled {n_handled}; lost presses "
          f"{len(lost)}" + (f" (further presses: {[n for _, _, n in lost]})" if lost else ""))

    def line(name, values):
        if not values:
            return f"  {name:<22} (none)"
        return (f"  {name:<22} median {statistics.median(values):7.1f} ms   p95 {percentile(values, 0.95):7.1f} ms"
                f"   max {max(values):7.1f} ms   ({len(values)} presses)")

    print(line("press -> hidden", times["hide"]))
    print(line("press -> shown", times["show"]))
    print(line("every press", every))
    print(json.dumps({"rounds": a.rounds, "presses": presses, "handled": n_handled, "lost": len(lost),
                      "wall_s": round(wall, 1),
                      "median_ms": round(statistics.median(every), 1) if every else None,
                      "p95_ms": round(percentile(every, 0.95), 1) if every else None,
                      "max_ms": round(max(every), 1) if every else None}))
    return 1 if failed or lost else 0


if __name__ == "__main__":
    sys.exit(main())
