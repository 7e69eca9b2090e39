#!/usr/bin/env python3
# Over 500 lines: one benchmark driver; its three programs share the measuring loop.
"""The side-by-side benchmark's driver: this client, Chromium in app mode and rv-webview (a
minimal WebKitGTK program) on the local portal's launcher page and game page, interleaved.

Run it through bench/side_by_side.sh, which builds nothing but checks the programs, installs
Chromium when it is missing, starts the portal (with --perf) and a private desktop (Xvfb,
icewm, xcompmgr: scripts/desktop.sh) and then starts this program with the desktop's
environment. `bench/side_by_side.sh --help` lists the options.

What one run is: a fresh profile (new HOME and XDG folders; Chromium also a new
--user-data-dir), the program started on the page, its figures taken, the program ended with
SIGTERM, its processes reaped (this process is their subreaper: PID 1 here reaps nothing) and
its windows gone before the next run starts. Runs go round by round, each round one run of
every program, the order turning by one each round, so that a slow spell of the machine falls
on all of them alike.

The figures:
- exec -> first window: the monotonic clock read just before the program is spawned, to the
  first top-level window of 100x100 or more that the X server calls viewable (mapped, and its
  window manager frame too). An X connection listens for structure events on the root window.
- exec -> page load: to the page's own `load` event. The portal's pages (started with --perf)
  send /__perf/load?... from their load handler; the portal records when the request came on
  CLOCK_MONOTONIC, the same clock as ours. That receive time is the figure: it needs no trust
  in the engines' clocks (performance.timeOrigin is wall-clock based, coarsened differently by
  each engine) and costs every program the same short local request. The page's own timestamp
  (timeOrigin + now) is kept too: "trip" is how much later the portal saw the report than the
  page sent it, by the wall clock (a few ms; reported so that the choice can be checked).
- For our client the game page is reached the way a player does: the launcher page loads, its
  dialog shows, and a click on a server entry (xdotool) opens the game window. Chromium and
  rv-webview open the same game address directly, maximised like the game window.
- After the page's load event: `settle` seconds untouched, then a measuring window (30 s):
  CPU time of the program's whole process tree over the window, then the tree's PSS.
  On the game page the page counts its own frames with requestAnimationFrame and reports the
  count about once a second (/__perf/frames?n=..&t=performance.now()); frames per second are
  the difference of two reports, at the window's start and end, over the page's own clock.
- The process tree: every process descending from this driver (the program, its children and
  the orphans handed to us as their subreaper; the portal and the desktop are not our
  children). CPU: for each process utime+stime+cutime+cstime from /proc/PID/stat, summed at
  the window's start and end. A process that ends inside the window is counted through its
  parent's cutime/cstime once the parent reaps it, or as a zombie until then (we reap nothing
  while measuring), so nothing is lost or counted twice. PSS: the sum of "Pss:" in
  /proc/PID/smaps_rollup of the tree's live processes.
- The X server (Xvfb), the compositor (xcompmgr) and the window manager do drawing work for
  the programs; their CPU over the same window is shown on a row of its own ("desktop CPU"),
  not added to the programs'.

Output: a table of medians with ratios to Chromium, a table of the spread (min-max), and every
run's figures as JSON (--json FILE).
"""
import argparse
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import time
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402
import xwire  # noqa: E402

CLK_TCK = os.sysconf("SC_CLK_TCK")
SCREEN_W, SCREEN_H = harness.SCREEN_W, harness.SCREEN_H
# The server entry S7 of the launcher page, in page coordinates (its grid is laid out at fixed
# places: tests/e2e/cases_game.py).
SERVER_ENTRY = (642, 120)
UID, SUID = "u4711", "s0815"
HOST_KEYS = ("portal", "game", "pay", "forum", "cs")
# Where the pointer rests while measuring: the taskbar's far corner, over no program's window.
POINTER_REST = (SCREEN_W - 1, SCREEN_H - 1)
_no_proxy = urllib.request.build_opener(urllib.request.ProxyHandler({}))


class BenchError(Exception):
    pass


# ---- the portal's log ---------------------------------------------------------------------

class Portal:
    def __init__(self, port):
        self.port = port
        self.base = f"http://127.0.0.1:{port}"
        self.seq = 0

    def log(self, since):
        with _no_proxy.open(f"{self.base}/__log?since={since}", timeout=10) as r:
            return json.loads(r.read().decode("utf-8"))

    def mark(self):
        """The newest sequence number: reports after it belong to what comes next."""
        entries = self.log(self.seq)
        if entries:
            self.seq = entries[-1]["seq"]
        return self.seq

    def reports(self, since, path, page):
        out = []
        for e in self.log(since):
            if e["path"] != path:
                continue
            q = {k: v[0] for k, v in urllib.parse.parse_qs(e["query"]).items()}
            if q.get("page") == page:
                q["mono_us"], q["wall_ms"], q["seq"] = e["mono_us"], e["wall_ms"], e["seq"]
                out.append(q)
        return out

    def requests(self, since, path):
        return [e for e in self.log(since) if e["path"] == path]


# ---- processes ------------------------------------------------------------------------------

def read_stat(pid):
    """(ppid, comm, state, cpu ticks incl. reaped children) of a process, or None."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            text = f.read()
    except OSError:
        return None
    head, _, rest = text.rpartition(")")
    fields = rest.split()
    comm = head.partition("(")[2]
    # After the comm: state ppid ... utime(14) stime(15) cutime(16) cstime(17), 1-based.
    ticks = int(fields[11]) + int(fields[12]) + int(fields[13]) + int(fields[14])
    return int(fields[1]), comm, fields[0], ticks


def process_table():
    table = {}
    for name in os.listdir("/proc"):
        if name.isdigit():
            st = read_stat(int(name))
            if st:
                table[int(name)] = st
    return table


def descendants(table, root):
    kids = {}
    for pid, (ppid, *_rest) in table.items():
        kids.setdefault(ppid, []).append(pid)
    out, stack = [], [root]
    while stack:
        for k in kids.get(stack.pop(), []):
            out.append(k)
            stack.append(k)
    return out


def classify(comm, args):
    """What a process of a tree is, from its name and command line: ui, web, network, gpu or
    other (for the breakdowns by process)."""
    if comm.startswith("WebKitWebProc"):
        return "web"
    if comm.startswith("WebKitNetwork"):
        return "network"
    if comm.startswith("WebKitGPU"):
        return "gpu"
    if comm in ("raduvove", "rv-webview"):
        return "ui"
    types = [a[len("--type="):] for a in args if a.startswith("--type=")]
    if not types:
        return "ui" if comm in ("chromium", "chrome") else "other"
    if types[0] == "utility" and any("NetworkService" in a for a in args):
        return "network"
    return {"renderer": "web", "gpu-process": "gpu"}.get(types[0], "other")


_kinds = {}


def kind_of(pid, comm):
    key = (pid, comm)
    if key not in _kinds:
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                # Chromium's processes rewrite their command line as one space-separated string.
                args = f.read().decode(errors="replace").replace("\0", " ").split()
        except OSError:
            args = []
        _kinds[key] = classify(comm, args)
    return _kinds[key]


def tree_cpu(me):
    """CPU seconds of our process tree (ours excluded), in total and by kind."""
    table = process_table()
    total, by_kind = 0, {}
    for pid in descendants(table, me):
        _ppid, comm, _state, ticks = table[pid]
        total += ticks
        k = kind_of(pid, comm)
        by_kind[k] = by_kind.get(k, 0) + ticks
    return total / CLK_TCK, {k: v / CLK_TCK for k, v in by_kind.items()}


def pids_cpu(pids):
    out = {}
    for name, pid in pids.items():
        st = read_stat(pid)
        out[name] = st[3] / CLK_TCK if st else 0.0
    return out


def tree_pss(me, each=None):
    """PSS of our live process tree in MB, in total and by kind; each (a list) gets
    (kind, name, MB) of every process."""
    table = process_table()
    total, by_kind = 0, {}
    for pid in descendants(table, me):
        try:
            with open(f"/proc/{pid}/smaps_rollup") as f:
                kb = next((int(l.split()[1]) for l in f if l.startswith("Pss:")), 0)
        except (OSError, StopIteration, ValueError):
            continue  # ended meanwhile, or a zombie
        total += kb
        k = kind_of(pid, table[pid][1])
        by_kind[k] = by_kind.get(k, 0) + kb
        if each is not None:
            each.append((k, table[pid][1], round(kb / 1024, 1)))
    return total / 1024, {k: v / 1024 for k, v in by_kind.items()}


def delta(a, b):
    return {k: round(b.get(k, 0) - a.get(k, 0), 3) for k in set(a) | set(b)}


# ---- the programs ---------------------------------------------------------------------------

class Subject:
    """One column of the table: a program with its settings."""

    def __init__(self, label, program, env=None, args=None, client_dir=None):
        self.label = label
        self.program = program  # client, chromium, webkit
        self.env = dict(env or {})
        self.args = list(args or [])
        self.client_dir = client_dir  # another build's client folder (client:DIR); None: --client-dir
        self.client_copy = None  # where this subject's client runs from (set by main)

    def argv(self, cfg, url, page, run_dir):
        if self.program == "client":
            return [os.path.join(self.client_copy, "raduvove")] + self.args
        # The page's size: the launcher page's dialog, or maximised like the game window;
        # a size among the subject's own arguments wins.
        sized = any(a.startswith(("--size=", "--maximize", "--window-size=", "--start-maximized"))
                    for a in self.args)
        if self.program == "webkit":
            size = ["--maximize"] if page == "game" else ["--size={}x{}".format(*harness.layout().page_size)]
            return [cfg.webview] + ([] if sized else size) + self.args + [url]
        size = (["--start-maximized"] if page == "game"
                else ["--window-size={},{}".format(*harness.layout().page_size)])
        size = [] if sized else size
        flags = ["--no-first-run", "--no-default-browser-check", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--disable-quic",
                 "--password-store=basic", f"--user-data-dir={os.path.join(run_dir, 'chromium')}"]
        if os.geteuid() == 0:
            flags.append("--no-sandbox")  # Chromium refuses to start as root with its sandbox
        return [cfg.chromium] + flags + size + self.args + [f"--app={url}"]


def run_env(base, run_dir, extra):
    env = dict(base)
    for k in ("WAYLAND_DISPLAY", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS"):
        env.pop(k, None)
    for var, sub in (("HOME", "home"), ("XDG_CONFIG_HOME", "config"), ("XDG_DATA_HOME", "data"),
                     ("XDG_CACHE_HOME", "cache"), ("XDG_STATE_HOME", "state")):
        env[var] = os.path.join(run_dir, sub)
        os.makedirs(env[var], exist_ok=True)
    env.update(extra)
    return env


# ---- one run --------------------------------------------------------------------------------

class Run:
    def __init__(self, bench, subject, page, label):
        self.b = bench
        self.s = subject
        self.page = page
        self.run_dir = os.path.join(bench.cfg.work, "runs", label)
        os.makedirs(self.run_dir)
        self.candidates = []
        self.first_window = None
        self.t0 = None
        self.proc = None
        self.err = None

    # -- windows --
    def _watch(self, ev):
        if ev and ev.code == xwire.CREATE_NOTIFY and ev.parent == self.b.d.root:
            try:
                self.b.d.select_input(ev.window, xwire.STRUCTURE_NOTIFY)
            except xwire.XError:
                return
            self.candidates.append(ev.window)

    def _viewable(self, min_w=100, min_h=100, size=None):
        for w in self.candidates:
            try:
                g = self.b.d.geometry(w)
                if size and tuple(g[2:]) != size:
                    continue
                if g[2] >= min_w and g[3] >= min_h and self.b.d.viewable(w):
                    return w, g
            except xwire.XError:
                pass
        return None

    def wait(self, what, timeout, done, poll=0.1):
        """Follows X events (first window) and polls the portal until done() answers."""
        deadline = time.monotonic() + timeout
        next_poll = 0.0
        while True:
            ev = self.b.d.next_event(0.02)
            now = ev.time if ev else time.monotonic()
            self._watch(ev)
            if self.first_window is None and ((ev and ev.code == xwire.MAP_NOTIFY) or now >= next_poll):
                if self._viewable():
                    self.first_window = now - self.t0
            if now >= next_poll:
                next_poll = now + poll
                v = done()
                if v:
                    return v
            if self.proc.poll() is not None:
                raise BenchError(f"{self.s.label} ended with code {self.proc.returncode} while waiting for "
                                 f"{what} (see {self.err})")
            if now > deadline:
                raise BenchError(f"{self.s.label}: no {what} within {timeout:g} s")

    def load_report(self, since, page):
        r = self.b.portal.reports(since, "/__perf/load", page)
        return r[0] if r else None

    # -- the run --
    def start(self, url):
        b = self.b
        b.pointer(*POINTER_REST)
        while b.d.next_event(0) is not None:
            pass
        env = run_env(b.env, self.run_dir, self.s.env)
        argv = self.s.argv(b.cfg, url, self.page, self.run_dir)
        if self.s.program == "client":
            b.write_ini(self.s.client_copy)
        self.err = os.path.join(self.run_dir, "stderr.log")
        cwd = os.path.dirname(argv[0]) if self.s.program == "client" else self.run_dir
        with open(self.err, "wb") as err:
            self.t0 = time.monotonic()
            self.proc = subprocess.Popen(argv, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                                         stdout=err, stderr=err)

    def open_game_from_launcher(self, since):
        """Our client: waits for the launcher page and its dialog, clicks a server entry."""
        b = self.b
        self.wait("launcher page load", 30, lambda: self.load_report(since, "launcher"))
        dlg = self.wait("launcher page dialog", 10, lambda: self._viewable(size=harness.layout().page_size))
        x, y = dlg[1][0], dlg[1][1]
        for attempt in range(2):
            clicked = b.portal.mark()
            b.pointer(x + SERVER_ENTRY[0], y + SERVER_ENTRY[1])
            time.sleep(0.3)  # the page sees the pointer arrive before the press
            b.xdo("click", "1")
            t_click = time.monotonic()
            try:
                self.wait("game page request", 5, lambda: b.portal.requests(clicked, "/game/play/"))
                break
            except BenchError:
                if attempt:
                    raise
        b.pointer(*POINTER_REST)
        return t_click

    def measure(self, settle, window, frames):
        b = self.b
        time.sleep(settle)
        since = b.portal.seq
        first = last = None
        if frames:
            first = self.wait("frame report", 5, lambda: (b.portal.reports(since, "/__perf/frames", self.page)
                                                          or [None])[-1])
        cpu0, kinds0 = tree_cpu(b.me)
        x0 = pids_cpu(b.desktop_pids)
        w0 = time.monotonic()
        time.sleep(window)
        cpu1, kinds1 = tree_cpu(b.me)
        x1 = pids_cpu(b.desktop_pids)
        w1 = time.monotonic()
        if self.proc.poll() is not None:
            raise BenchError(f"{self.s.label} ended with code {self.proc.returncode} while measured (see {self.err})")
        if frames:
            last = self.wait("frame report", 5, lambda: [r for r in b.portal.reports(
                since, "/__perf/frames", self.page) if r["mono_us"] / 1e6 >= w1] or None)[0]
        processes = []
        pss, pss_kinds = tree_pss(b.me, processes)
        span = w1 - w0
        out = {"window_s": round(span, 3), "cpu_s": round(cpu1 - cpu0, 3), "cpu_by_kind": delta(kinds0, kinds1),
               "desktop_cpu_s": delta(x0, x1), "pss_mb": round(pss, 1),
               "pss_by_kind": {k: round(v, 1) for k, v in pss_kinds.items()},
               "pss_processes": sorted(processes, key=lambda p: -p[2])}
        if frames:
            n = int(last["n"]) - int(first["n"])
            t = (float(last["t"]) - float(first["t"])) / 1000
            out["fps"] = round(n / t, 2) if t > 0 else 0.0
            fps_cpu = out["fps"] * span
            out["cpu_ms_per_frame"] = round((cpu1 - cpu0) * 1000 / fps_cpu, 1) if fps_cpu else None
        return out

    def stop(self):
        b = self.b
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        # The engines' helper processes end a moment after their program; the next run starts
        # once they and the windows are gone, not while they still take the processors.
        harness.reap_orphans(8)
        xwire.wait_for(lambda: not any(b.d.viewable(w) for w in self.candidates), 5)
        while b.d.next_event(0) is not None:
            pass
        if not b.cfg.keep:
            shutil.rmtree(self.run_dir, ignore_errors=True)


# ---- the benchmark ----------------------------------------------------------------------------

class Bench:
    def __init__(self, cfg):
        self.cfg = cfg
        self.me = os.getpid()
        self.portal = Portal(cfg.port)
        self.env = dict(os.environ)
        self.d = xwire.Display(self.env["DISPLAY"])
        self.d.select_input(self.d.root, xwire.SUBSTRUCTURE_NOTIFY)
        self.d.sync()
        self.desktop_pids = dict(zip(("xserver", "wm", "compositor"), cfg.desktop_pids))
        self.launcher_url = None
        self.results = []
        self.again = []  # runs that failed once and were run again

    def xdo(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10)

    def pointer(self, x, y):
        self.xdo("mousemove", x, y)

    def write_ini(self, client_copy):
        host = f"127.0.0.1:{self.cfg.port}"
        text = (f"[dmor]\nstart=1\nuid={UID}\nfilename={SUID}\n[hosts]\n"
                + "".join(f"{k}={host}\n" for k in HOST_KEYS))
        with open(os.path.join(client_copy, "static.ini"), "w", encoding="utf-8") as f:
            f.write(text)

    def url(self, page):
        if page == "launcher":
            return self.launcher_url
        return f"{self.portal.base}/game/play/?server=S7&uid={UID}"

    def one(self, subject, page, label, measured=True):
        run = Run(self, subject, page, label)
        since = self.portal.mark()
        out = {"subject": subject.label, "page": page, "run": label,
               "loadavg": open("/proc/loadavg").read().split()[:3]}
        try:
            run.start(self.url(page))
            if page == "game" and subject.program == "client":
                t_click = run.open_game_from_launcher(since)
                load = run.wait("game page load", 30, lambda: run.load_report(since, "game"))
                out["click_to_load_ms"] = round(load["mono_us"] / 1000 - t_click * 1000, 1)
            else:
                load = run.wait(f"{page} page load", 30, lambda: run.load_report(since, page))
            if run.first_window is None:
                run.wait("first window", 10, lambda: run.first_window is not None)
            if page == "launcher" and self.launcher_url is None:
                got = self.portal.requests(since, "/game/s/dmor/")
                if not got:
                    raise BenchError("the client's launcher page request is not in the portal's log")
                self.launcher_url = f"{self.portal.base}/game/s/dmor/?{got[0]['query']}"
            out["first_window_ms"] = round(run.first_window * 1000, 1)
            out["load_ms"] = round(load["mono_us"] / 1000 - run.t0 * 1000, 1)
            out["trip_ms"] = round(load["wall_ms"] - float(load["at"]), 1)
            out["viewport"] = f"{load['w']}x{load['h']}"
            if measured:
                out.update(run.measure(self.cfg.settle, self.cfg.window, page == "game"))
        finally:
            run.stop()
        return out

    def rounds(self, subjects, page, count):
        for i in range(count):
            k = i % len(subjects)
            order = subjects[k:] + subjects[:k]
            for s in order:
                label = f"{page}-{s.label}-{i + 1}"
                try:
                    r = self.one(s, page, label)
                except BenchError as e:
                    # One failed run (a click the page did not see, say) is run again, once,
                    # and said so at the end; a second failure ends the benchmark.
                    print(f"side-by-side: {e}; running {label} again", file=sys.stderr, flush=True)
                    self.again.append(f"{label}: {e}")
                    r = self.one(s, page, label + "-again")
                self.results.append(r)
                self.progress(r)

    def progress(self, r):
        parts = [f"{r['run']}: window {r['first_window_ms']:.0f} ms, load {r['load_ms']:.0f} ms"]
        if "fps" in r:
            parts.append(f"{r['fps']:.1f} fps, {r['cpu_ms_per_frame']} ms CPU/frame")
        parts.append(f"CPU {r['cpu_s']:.2f} s, PSS {r['pss_mb']:.0f} MB, load avg {r['loadavg'][0]}")
        print("side-by-side: " + ", ".join(parts), file=sys.stderr, flush=True)


# ---- the report ---------------------------------------------------------------------------------

ROWS = [
    # (label, page, figure from a run, format)
    ("exec → first window (ms)", "launcher", lambda r: r["first_window_ms"], "{:.0f}"),
    ("exec → launcher page `load` (ms)", "launcher", lambda r: r["load_ms"], "{:.0f}"),
    ("PSS with the launcher page (MB)", "launcher", lambda r: r["pss_mb"], "{:.0f}"),
    ("idle CPU over 30 s, launcher page shown (s)", "launcher", lambda r: r["cpu_s"] * 30 / r["window_s"], "{:.2f}"),
    ("game page: frames per second", "game", lambda r: r["fps"], "{:.1f}"),
    ("game page: CPU seconds per 30 s", "game", lambda r: r["cpu_s"] * 30 / r["window_s"], "{:.1f}"),
    ("game page: CPU ms per frame", "game", lambda r: r["cpu_ms_per_frame"], "{:.1f}"),
    ("PSS with the game page (MB)", "game", lambda r: r["pss_mb"], "{:.0f}"),
    ("game page: desktop CPU per 30 s (X server + compositor + WM, s)", "game",
     lambda r: sum(r["desktop_cpu_s"].values()) * 30 / r["window_s"], "{:.1f}"),
    ("exec → game page `load` (ms; ours: click → load)", "game",
     lambda r: r.get("click_to_load_ms", r["load_ms"]), "{:.0f}"),
    # How much later the portal saw the load report than the page sent it (wall clock): what
    # taking the portal's receive time as the end costs each program.
    ("launcher page: load report's trip to the portal (ms)", "launcher", lambda r: r["trip_ms"], "{:.1f}"),
]


def values(results, subject, page, fn):
    out = []
    for r in results:
        if r["subject"] == subject and r["page"] == page:
            try:
                v = fn(r)
            except (KeyError, TypeError, ZeroDivisionError):
                v = None
            if v is not None:
                out.append(v)
    return out


def table(results, subjects, reference):
    labels = [s.label for s in subjects]
    pages = {r["page"] for r in results}
    head = ["figure (median)"] + labels
    if reference:
        head += [f"{l} / {reference}" for l in labels if l != reference]
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    spread = ["| figure (min – max, runs) | " + " | ".join(labels) + " |", "|" + "---|" * (len(labels) + 1)]
    for name, page, fn, fmt in ROWS:
        if page not in pages:
            continue
        med, cells, ranges = {}, [], []
        for l in labels:
            v = values(results, l, page, fn)
            med[l] = statistics.median(v) if v else None
            cells.append(fmt.format(med[l]) if v else "–")
            ranges.append(f"{fmt.format(min(v))} – {fmt.format(max(v))} ({len(v)})" if v else "–")
        if reference:
            ref = med.get(reference)
            for l in labels:
                if l == reference:
                    continue
                cells.append(f"{med[l] / ref:.2f}×" if med[l] is not None and ref else "–")
        lines.append(f"| {name} | " + " | ".join(cells) + " |")
        spread.append(f"| {name} | " + " | ".join(ranges) + " |")
    return "\n".join(lines), "\n".join(spread)


def breakdown(results, subjects):
    """Median CPU per 30 s and PSS by kind of process, per subject and page."""
    lines = ["| subject, page | CPU s per 30 s by process | PSS MB by process | desktop CPU s per 30 s |",
             "|---|---|---|---|"]
    for s in subjects:
        for page in ("launcher", "game"):
            rs = [r for r in results if r["subject"] == s.label and r["page"] == page and "cpu_by_kind" in r]
            if not rs:
                continue

            def med(key, scale):
                keys = sorted({k for r in rs for k in r[key]})
                return ", ".join(f"{k} {statistics.median(r[key].get(k, 0) * scale(r) for r in rs):.1f}"
                                 for k in keys)
            per30 = lambda r: 30 / r["window_s"]  # noqa: E731
            lines.append(f"| {s.label}, {page} | {med('cpu_by_kind', per30)} | {med('pss_by_kind', lambda r: 1)} | "
                         f"{med('desktop_cpu_s', per30)} |")
    return "\n".join(lines)


# ---- main ---------------------------------------------------------------------------------------

def parse_subject(text):
    """LABEL=PROGRAM[,VAR=VALUE...][,--arg...]: a column; PROGRAM is client, chromium or webkit,
    or client:DIR for the client folder of another build (to compare two builds)."""
    label, _, rest = text.partition("=")
    parts = [p for p in rest.split(",") if p]
    client_dir = None
    if parts and parts[0].startswith("client:") and len(parts[0]) > len("client:"):
        client_dir = parts[0][len("client:"):]
        parts[0] = "client"
    if not label or not parts or parts[0] not in ("client", "chromium", "webkit"):
        raise argparse.ArgumentTypeError(
            f"bad subject {text!r}: LABEL=client[:DIR]|chromium|webkit[,VAR=VALUE|,--arg]...")
    env, args = {}, []
    for p in parts[1:]:
        if p.startswith("-"):
            args.append(p)
        elif "=" in p:
            k, _, v = p.partition("=")
            env[k] = v
        else:
            raise argparse.ArgumentTypeError(f"bad setting {p!r} in subject {text!r}")
    return Subject(label, parts[0], env, args, client_dir)


DEFAULT_SUBJECTS = ["this client=client", "Chromium --app=chromium", "rv-webview=webkit"]


def main(argv):
    ap = argparse.ArgumentParser(prog="side_by_side.py", description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--port", type=int, required=True, help="the portal's port (started with --perf)")
    ap.add_argument("--client-dir", required=True, help="the client folder (build/client)")
    ap.add_argument("--webview", required=True, help="the rv-webview program")
    ap.add_argument("--chromium", default="chromium", help="the Chromium command (default: chromium)")
    ap.add_argument("--work", required=True, help="a folder for the runs' profiles")
    ap.add_argument("--desktop-pids", default="", help="pids of Xvfb, icewm, xcompmgr (comma-separated)")
    ap.add_argument("--launcher-runs", type=int, default=10)
    ap.add_argument("--game-runs", type=int, default=9)
    ap.add_argument("--settle", type=float, default=3.0, help="seconds after the load event before measuring")
    ap.add_argument("--window", type=float, default=30.0, help="seconds of the measuring window")
    ap.add_argument("--subject", action="append", type=parse_subject, metavar="LABEL=PROGRAM[,VAR=V][,--arg]",
                    help="a column (repeatable); default: our client, Chromium --app, rv-webview")
    ap.add_argument("--json", help="write every run's figures to this file")
    ap.add_argument("--keep", action="store_true", help="keep the runs' profile folders")
    cfg = ap.parse_args(argv)
    subjects = cfg.subject or [parse_subject(s) for s in DEFAULT_SUBJECTS]
    if len({s.label for s in subjects}) != len(subjects):
        ap.error("subject labels must differ")
    cfg.desktop_pids = [int(p) for p in cfg.desktop_pids.split(",") if p]
    # Each client folder runs from a copy of its own (static.ini is written there per run).
    copies = {}
    for s in subjects:
        if s.program != "client":
            continue
        src = os.path.abspath(s.client_dir or cfg.client_dir)
        if src not in copies:
            if not os.access(os.path.join(src, "raduvove"), os.X_OK):
                ap.error(f"no client in {src}")
            copies[src] = os.path.join(cfg.work, f"client-{len(copies) + 1}")
            shutil.copytree(src, copies[src], ignore=shutil.ignore_patterns("static.ini", "static.ini.*", "screenshots"))
        s.client_copy = copies[src]
    # The page dialog's size: the launcher's web area, from the build of --client-dir.
    layout = harness.layout_beside(cfg.client_dir)
    if not os.path.isfile(layout):
        ap.error(f"no {layout} (the build writes it beside the client folder)")
    harness.use_layout(layout)
    harness.become_subreaper()
    bench = Bench(cfg)
    reference = next((s.label for s in subjects if s.program == "chromium"), None)

    started = time.monotonic()
    try:
        # One unmeasured run of each program first: caches warm, and our client's run tells the
        # launcher page's address (with the user's ids) that the others then open.
        client_first = sorted(subjects, key=lambda s: s.program != "client")
        if not any(s.program == "client" for s in subjects):
            bench.launcher_url = f"{bench.portal.base}/game/s/dmor/?uid={UID}&suid={SUID}"
        for s in client_first:
            bench.one(s, "launcher" if cfg.launcher_runs else "game", f"warmup-{s.label}", measured=False)
        if cfg.launcher_runs:
            bench.rounds(subjects, "launcher", cfg.launcher_runs)
        if cfg.game_runs:
            bench.rounds(subjects, "game", cfg.game_runs)
    except BenchError as e:
        print(f"side-by-side: {e}", file=sys.stderr)
        return 1
    finally:
        if cfg.json:
            with open(cfg.json, "w") as f:
                json.dump({"subjects": [vars(s) for s in subjects], "runs": bench.results}, f, indent=1)
    medians, spread = table(bench.results, subjects, reference)
    print(medians)
    print()
    print(spread)
    print()
    print(breakdown(bench.results, subjects))
    for line in bench.again:
        print(f"side-by-side: run again after a failure: {line}")
    print(f"\nside-by-side: {len(bench.results)} runs in {(time.monotonic() - started) / 60:.1f} min; "
          f"load average now {' '.join(open('/proc/loadavg').read().split()[:3])}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
