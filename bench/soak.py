#!/usr/bin/env python3
"""Hours of play: the desktop client plays the local portal's game on a private Xvfb desktop
(the end-to-end tests' harness, tests/e2e/) for a given time, and the memory, CPU, threads and
open files of the client and of each of its engine processes are sampled and drawn.

  bench/soak.py [--build DIR] [--minutes M | --quick] [--out DIR] [--chart PNG]

Default: 120 minutes; --quick: 10 minutes. What it plays, in rounds of about three minutes
(a quarter of the run holds a whole number of rounds, so that the quarters compare like with
like): the game is entered from the launcher page (S7 and S8 in turn); the launcher is called
back through the tray icon, and its page's 联系客服 (ShowIM: the customer service and its
heartbeat start) and 充值中心 (openPay: the payment address) pressed; the payment window is
opened from the title bar and closed with its 完成; an agent writes, the VIP button blinks,
the VIP window is opened with it, the player's chat page shown for a while and closed with its
cross; then the game plays on by itself until the round's end, when the return button (and OK)
leaves it for the launcher.

Every 30 s, for the client and each of its engine processes (the network process and the web
processes, by their command name), from /proc: private memory (Private_Clean + Private_Dirty
of smaps_rollup: the pages no other process maps), PSS (smaps_rollup), CPU (user + system time
since the last sample, as a share of one core), threads and open files. The samples go to
samples.csv in the output folder, the chart to soak.png (or --chart), the figures to
summary.txt.

The verdict: each series (the client's, the network process's, and the sum over the web
processes of each figure) is averaged over the first and the last quarter of the run; the run
fails when any grows by more than 10 % between them. PSS is drawn and reported but not judged:
it divides the shared pages of the engine's libraries among every process that maps them, so it
moves when other programs on the machine start or end; private memory is the process's own. Counts of a few (threads, files) and CPU
shares of a few per cent move in steps: a growth must also exceed a small floor (one thread or
file; one point of CPU; 1 MB) to count, so that 2.1 % against 1.9 % of a core is no failure.
A step that fails (a window that does not come) is reported and the run goes on with the next
round, from the launcher; the run fails when the client ends or three rounds in a row fail.
"""
import argparse
import csv
import os
import statistics
import sys
import threading
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(root, "tests", "e2e"))

import harness  # noqa: E402
from cases_game import EXIT_PROMPT_CAPTION, done_button, exists, pay_windows  # noqa: E402
from cases_vip import SHOWIM_POINT, VIP_SIZE, Vip, post  # noqa: E402

SAMPLE_S = 30
ROUND_S = 180
# The launcher page's 充值中心: the button after 联系客服 in the same bar (both 72 px wide).
OPENPAY_POINT = (SHOWIM_POINT[0] + 72, SHOWIM_POINT[1])
GROWTH = 0.10
FLOORS = {"private_mb": 1.0, "pss_mb": 1.0, "cpu_pct": 1.0, "threads": 1.0, "files": 1.0}
FIGURES = ("private_mb", "pss_mb", "cpu_pct", "threads", "files")
# Reported beside the others, never judged (it follows what other programs map).
UNJUDGED = {"pss_mb"}
ROLES = ("client", "network", "web")
ENGINE_NAMES = {"WebKitNetworkPr": "network", "WebKitWebProces": "web"}
CLK_TCK = os.sysconf("SC_CLK_TCK")


# ---- sampling ----------------------------------------------------------------------------

def descendants(pid):
    out, todo = [], [pid]
    while todo:
        kids = harness.child_processes(todo.pop())
        out += kids
        todo += kids
    return out


def read_process(pid):
    """comm, private memory and PSS (kB), CPU ticks, threads and open files of a process, or
    None once gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            st = f.read()
        comm = st[st.index("(") + 1:st.rindex(")")]
        fields = st.rsplit(")", 1)[1].split()
        ticks = int(fields[11]) + int(fields[12])  # utime, stime
        threads = int(fields[17])
        pss = private = 0
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                key = line.split(":", 1)[0]
                if key == "Pss":
                    pss = int(line.split()[1])
                elif key in ("Private_Clean", "Private_Dirty"):
                    private += int(line.split()[1])
        files = len(os.listdir(f"/proc/{pid}/fd"))
        return comm, private, pss, ticks, threads, files
    except (OSError, ValueError, IndexError):
        return None


class Sampler(threading.Thread):
    """Samples the client's processes every SAMPLE_S seconds until stopped."""

    def __init__(self, pid, t0):
        super().__init__(daemon=True)
        self.pid, self.t0 = pid, t0
        self.rows = []  # (t, role, pid, private_mb, pss_mb, cpu_pct, threads, files)
        self.stop_event = threading.Event()
        self.last = {}  # pid -> (monotonic time, ticks)

    def sample(self):
        now = time.monotonic()
        t = now - self.t0
        for pid in [self.pid] + descendants(self.pid):
            got = read_process(pid)
            if not got:
                continue
            comm, private, pss, ticks, threads, files = got
            role = "client" if pid == self.pid else ENGINE_NAMES.get(comm)
            if not role:
                continue
            prev = self.last.get(pid)
            cpu = 100.0 * (ticks - prev[1]) / CLK_TCK / (now - prev[0]) if prev else None
            self.last[pid] = (now, ticks)
            self.rows.append((round(t, 1), role, pid, private / 1024.0, pss / 1024.0, cpu, threads, files))

    def run(self):
        n = 0
        while not self.stop_event.is_set():
            self.sample()
            n += 1
            self.stop_event.wait(max(0.0, self.t0 + n * SAMPLE_S - time.monotonic()))


def series(rows):
    """role -> figure -> [(t, value)]: the client and the network process as they are, the
    web processes summed per sample (CPU only where every process had a previous sample)."""
    by_time = {}
    for t, role, pid, private, pss, cpu, threads, files in rows:
        by_time.setdefault(t, {}).setdefault(role, []).append((private, pss, cpu, threads, files))
    out = {r: {f: [] for f in FIGURES} for r in ROLES}
    for t in sorted(by_time):
        for role, procs in by_time[t].items():
            out[role]["private_mb"].append((t, sum(p[0] for p in procs)))
            out[role]["pss_mb"].append((t, sum(p[1] for p in procs)))
            if all(p[2] is not None for p in procs):
                out[role]["cpu_pct"].append((t, sum(p[2] for p in procs)))
            out[role]["threads"].append((t, sum(p[3] for p in procs)))
            out[role]["files"].append((t, sum(p[4] for p in procs)))
    return out


def verdict(data, duration):
    """Lines of figures, and the growths beyond the limit."""
    q = duration / 4
    lines, grown = [], []
    for role in ROLES:
        for fig in FIGURES:
            pts = data[role][fig]
            first = [v for t, v in pts if t <= q]
            last = [v for t, v in pts if t >= duration - q]
            if not first or not last:
                lines.append(f"{role:8} {fig:8} (too few samples)")
                continue
            a, b = statistics.mean(first), statistics.mean(last)
            lo, hi = min(v for _, v in pts), max(v for _, v in pts)
            pct = 100 * (b - a) / a if a else 0.0
            bad = fig not in UNJUDGED and b > a * (1 + GROWTH) and b - a > FLOORS[fig]
            note = "  GREW" if bad else ("  (not judged)" if fig in UNJUDGED else "")
            lines.append(f"{role:8} {fig:10} first quarter {a:8.1f}  last quarter {b:8.1f}  ({pct:+5.1f} %)  "
                         f"min {lo:8.1f}  max {hi:8.1f}{note}")
            if bad:
                grown.append(f"{role} {fig} {a:.1f} -> {b:.1f} ({pct:+.1f} %)")
    return lines, grown


def draw(data, duration, path, title):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    names = {"private_mb": "private memory (MB)", "pss_mb": "PSS (MB, not judged)", "cpu_pct": "CPU (% of one core)",
             "threads": "threads", "files": "open files"}
    colours = {"client": "tab:blue", "network": "tab:green", "web": "tab:red"}
    labels = {"client": "client", "network": "network process", "web": "web processes (sum)"}
    fig, axes = plt.subplots(len(FIGURES), 1, figsize=(11, 15), sharex=True)
    for ax, f in zip(axes, FIGURES):
        for role in ROLES:
            pts = data[role][f]
            if pts:
                ax.plot([t / 60 for t, _ in pts], [v for _, v in pts], label=labels[role], color=colours[role],
                        linewidth=1)
        for edge in (duration / 4, 3 * duration / 4):
            ax.axvline(edge / 60, color="grey", linestyle=":", linewidth=0.8)
        ax.set_ylabel(names[f])
        ax.set_ylim(bottom=0)
        ax.grid(alpha=0.3)
    axes[0].legend(loc="upper left", fontsize=8)
    axes[0].set_title(title)
    axes[-1].set_xlabel("minutes (dotted: the first and the last quarter)")
    fig.tight_layout()
    fig.savefig(path, dpi=80)
    plt.close(fig)


# ---- playing -----------------------------------------------------------------------------

class Player:
    """Drives one client through the rounds."""

    def __init__(self, c):
        self.c = c
        self.v = Vip(c)  # enters S7
        self.g = self.v.g
        self.rounds = 0
        self.failed_steps = []
        self.entered = True

    def launcher_buttons(self):
        """ShowIM and openPay on the launcher page, called back over the game through the
        tray; a server entry sends the launcher away again."""
        c, g = self.c, self.g
        self.v.show_im()  # ends with the launcher hidden again
        _, (tx, ty, tw, th) = c.tray_icon(g.client)
        c.move(tx + tw // 2, ty + th // 2)
        c.double_click()
        g.wait_page("the launcher to come back for openPay")
        x, y, _, _ = g.web_area()
        c.move(x + OPENPAY_POINT[0], y + OPENPAY_POINT[1])
        c.click()
        time.sleep(0.5)
        px, py = (642, 120) if g.server == "S7" else (388, 120)
        c.move(x + px, y + py)
        c.click()
        c.wait(lambda: not c.x.viewable(g.launcher), 5, "the launcher to hide again")

    def payment(self):
        c, g = self.c, self.g
        g.click_title("pay")
        pay = c.wait(lambda: pay_windows(g), 10, "the payment window")[0]
        bx, by = done_button(c, pay)
        time.sleep(2)
        c.move(bx, by)
        c.click()
        c.wait(lambda: not exists(c, pay), 5, "完成 to close the payment window")

    def vip(self, n):
        c, v = self.c, self.v
        post(c, "/cs/agent/send", user=self.g.uid, text=f"第 {n} 轮：您好，请问有什么可以帮您？")
        v.wait_shows("bare", timeout=5)
        bx, by, bw, bh = v.rect
        c.move(bx + bw // 2, by + bh // 2)
        c.click()
        vip = c.wait(lambda: v.vip_windows(), 10, "the VIP window")[0]
        time.sleep(5)
        vx, vy, _, _ = c.x.geometry(vip)
        c.move(vx + VIP_SIZE[0] - 20, vy + 12)
        c.click()
        c.wait(lambda: not exists(c, vip), 5, "the close cross to close the VIP window")

    def leave(self):
        c, g = self.c, self.g
        g.click_title("return")
        harness.wait_box(c, g.client, EXIT_PROMPT_CAPTION)
        c.key("Return")
        old = g.window
        c.wait(lambda: not exists(c, old), 5, "the game window to go")
        g.wait_page("the launcher page after leaving the game", timeout=15)
        g.window = None
        self.entered = False

    def enter(self):
        g, v = self.g, self.v
        g.enter("S8" if g.server == "S7" else "S7")
        x, y, w, _ = self.c.x.geometry(g.window)
        from cases_vip import vip_button
        bx, by, bw, bh = vip_button(w)
        v.rect = (x + bx, y + by, bw, bh)
        self.entered = True

    def play_round(self, until):
        self.rounds += 1
        n = self.rounds
        steps = [("enter", self.enter)] if not self.entered else []
        steps += [("ShowIM and openPay", self.launcher_buttons), ("payment window", self.payment),
                  ("VIP window", lambda: self.vip(n))]
        ok = True
        for name, step in steps:
            try:
                step()
            except harness.Failure as e:
                self.g.alive()
                self.failed_steps.append(f"round {n}, {name}: {e}")
                print(f"soak: round {n}: {name} failed: {e}", flush=True)
                ok = False
                break
        while time.monotonic() < until - 15:
            self.g.alive()
            time.sleep(min(5.0, until - 15 - time.monotonic()))
        try:
            if self.entered and self.g.window:
                self.leave()
        except harness.Failure as e:
            self.g.alive()
            self.failed_steps.append(f"round {n}, leave: {e}")
            print(f"soak: round {n}: leave failed: {e}", flush=True)
            ok = False
        while time.monotonic() < until:
            time.sleep(min(1.0, max(0.0, until - time.monotonic())))
        return ok


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--build", default="build")
    ap.add_argument("--minutes", type=float, default=120)
    ap.add_argument("--quick", action="store_true", help="10 minutes")
    ap.add_argument("--out", default=None, help="folder for samples.csv, soak.png, summary.txt")
    ap.add_argument("--chart", default=None, help="where the chart goes (default: OUT/soak.png)")
    args = ap.parse_args()
    minutes = 10 if args.quick else args.minutes
    duration = minutes * 60
    out = args.out or os.path.join(args.build, "soak")
    os.makedirs(out, exist_ok=True)
    chart = args.chart or os.path.join(out, "soak.png")
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        print("soak: matplotlib is missing (scripts/setup.sh bench installs python3-matplotlib)")
        return 1
    quarter = duration / 4
    round_s = quarter / max(1, round(quarter / ROUND_S))

    c = harness.bench_case(args.build, "soak")
    if not c:
        return 1
    sampler = None
    status = 0
    failures_in_a_row = 0
    try:
        p = Player(c)
        t0 = time.monotonic()
        sampler = Sampler(p.g.client.pid, t0)
        sampler.start()
        print(f"soak: {minutes:g} minutes, rounds of {round_s:.0f} s, samples every {SAMPLE_S} s into {out}",
              flush=True)
        k = 0
        while time.monotonic() - t0 < duration - 1:
            k += 1
            ok = p.play_round(min(t0 + k * round_s, t0 + duration))
            failures_in_a_row = 0 if ok else failures_in_a_row + 1
            if failures_in_a_row >= 3:
                raise harness.Failure("three rounds in a row failed")
            if not p.entered:
                try:
                    p.enter()
                except harness.Failure as e:
                    p.failed_steps.append(f"after round {k}, enter: {e}")
                    print(f"soak: enter failed: {e}", flush=True)
        sampler.stop_event.set()
        sampler.join()
    except harness.Failure as e:
        print(f"soak: FAILED: {e}", flush=True)
        status = 1
    finally:
        if sampler:
            sampler.stop_event.set()
        c.close()
        harness.reap_orphans(0.5)
    if not sampler or not sampler.rows:
        return 1
    elapsed = max(r[0] for r in sampler.rows)

    with open(os.path.join(out, "samples.csv"), "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(["t_s", "role", "pid", "private_mb", "pss_mb", "cpu_pct", "threads", "files"])
        for r in sampler.rows:
            w.writerow([r[0], r[1], r[2], f"{r[3]:.1f}", f"{r[4]:.1f}", "" if r[5] is None else f"{r[5]:.2f}", r[6],
                        r[7]])
    data = series(sampler.rows)
    lines, grown = verdict(data, elapsed)
    head = (f"soak: {elapsed / 60:.1f} minutes, {p.rounds} rounds, {len(p.failed_steps)} failed steps, "
            f"{len({r[0] for r in sampler.rows})} samples")
    draw(data, elapsed, chart, f"The client over {elapsed / 60:.0f} minutes of play ({p.rounds} rounds)")
    text = "\n".join([head] + lines + [f"failed step: {s}" for s in p.failed_steps] +
                     [f"grew more than {100 * GROWTH:.0f} %: {g}" for g in grown] + [f"chart: {chart}"])
    print(text, flush=True)
    with open(os.path.join(out, "summary.txt"), "w") as f:
        f.write(text + "\n")
    if grown:
        status = status or 2
    return status


if __name__ == "__main__":
    sys.exit(main())
