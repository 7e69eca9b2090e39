# Over 500 lines: one class, the case's desktop, clients and portal, used by every case.
"""Running the real client on a private desktop and looking at it from outside.

A Case owns one work folder, one desktop (scripts/desktop.sh serve), the clients it starts
(each in its own copy of the client folder) and optionally the local portal. Every wait is
a bounded poll; the only plain sleeps are the short pauses between synthetic input steps
that xdotool needs.
"""
import json
import os
import select
import shutil
import signal
import subprocess
import tempfile
import time
import urllib.request

import xwire

CAPTION = "LumoDrakmoor"
EXIT_PROMPT_CAPTION = "退出提示"
SCREEN_W, SCREEN_H = 1920, 1080
LAUNCHER_W, LAUNCHER_H = 1290, 704
LAUNCHER_X, LAUNCHER_Y = (SCREEN_W - LAUNCHER_W) // 2, (SCREEN_H - LAUNCHER_H) // 2

# The launcher's layout, as the build writes it from shared/launcher_layout.h.
LAYOUT_FILE = "launcher_layout.json"  # in the build folder, beside the client folder

INPUT_PAUSE = 0.15  # between xdotool steps: X needs it to see separate moves and presses


class Failure(AssertionError):
    pass


# The local portal is asked directly, whatever proxy the environment names.
_no_proxy = urllib.request.build_opener(urllib.request.ProxyHandler({}))


def centre(rect):
    return (rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2


class Layout:
    """The launcher's layout (shared/launcher_layout.h, written by the build to
    launcher_layout.json): the hit rectangles of its buttons by name (close, min, official,
    pay, service, forum) and its web area, where the page dialog sits, in window coordinates
    (left, top, right, bottom)."""

    def __init__(self, path):
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
        self.path = path
        self.buttons = {name: tuple(rect) for name, rect in data["buttons"].items()}
        self.web_area = tuple(data["web_area"])

    @property
    def page_size(self):
        """The page dialog's width and height."""
        left, top, right, bottom = self.web_area
        return right - left, bottom - top


_layout = None


def layout_beside(client_dir):
    """launcher_layout.json of the build whose client folder (BUILD/client) this is."""
    return os.path.join(os.path.dirname(os.path.abspath(client_dir)), LAYOUT_FILE)


def use_layout(path):
    """Reads the launcher's layout from launcher_layout.json (run_e2e.py does before any case
    runs, bench_case for the benchmarks)."""
    global _layout
    if not os.path.isfile(path):
        raise Failure(f"{path} is missing: the build writes it (build first)")
    _layout = Layout(path)
    return _layout


def layout():
    """The launcher's layout that use_layout read."""
    if _layout is None:
        raise Failure("the launcher's layout has not been read (harness.use_layout)")
    return _layout


class Config:
    def __init__(self, client, client_dir, portal=None, source_dir=None, keep=False):
        self.client = os.path.abspath(client)
        self.client_dir = os.path.abspath(client_dir)
        self.portal = os.path.abspath(portal) if portal else None
        here = os.path.dirname(os.path.abspath(__file__))
        self.source_dir = os.path.abspath(source_dir or os.path.join(here, "..", ".."))
        self.keep = keep


class Desktop:
    """scripts/desktop.sh serve WORKDIR (or another of its commands: sound), alive while its
    standard input is open; env holds what it exported."""

    def __init__(self, source_dir, workdir, command="serve", name="desktop", wm_close_key=False, monitors=None):
        """wm_close_key: the window manager keeps Alt+F4 for itself (closing the active
        window), as most desktops do; otherwise the key is left to the client. monitors:
        (x, y, width, height) of each monitor, the primary first; the screen is sized to hold
        them all (by default one 1920x1080 monitor)."""
        self.workdir = workdir
        self.name = name
        script = os.path.join(source_dir, "scripts", "desktop.sh")
        self.log = open(os.path.join(workdir, f"{name}.log"), "wb")
        env = dict(os.environ, DESKTOP_WM_CLOSE_KEY="1" if wm_close_key else "0")
        env.pop("DESKTOP_MONITORS", None)
        env.pop("DESKTOP_SCREEN", None)
        if monitors:
            env["DESKTOP_SCREEN"] = f"{max(x + w for x, _, w, _ in monitors)}x{max(y + h for _, y, _, h in monitors)}"
            env["DESKTOP_MONITORS"] = " ".join(f"{w}x{h}+{x}+{y}" for x, y, w, h in monitors)
        self.proc = subprocess.Popen(["bash", script, command, os.path.join(workdir, name)], env=env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.log)
        self.env = {}
        deadline = time.monotonic() + 30
        buf = b""
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                self.stop()
                raise Failure(f"the {name} did not start within 30 s (see {name}.log)")
            r, _, _ = select.select([self.proc.stdout], [], [], left)
            if not r:
                continue
            chunk = os.read(self.proc.stdout.fileno(), 4096)
            if not chunk:
                self.stop()
                raise Failure(f"the {name} did not start: " + self._log_tail())
            buf += chunk
            lines = buf.split(b"\n")
            buf = lines.pop()
            done = False
            for line in lines:
                text = line.decode()
                if text == "READY":
                    done = True
                elif "=" in text:
                    k, _, v = text.partition("=")
                    self.env[k] = v
            if done:
                break
        self.browser_log = os.path.join(workdir, "desktop", "browser.log")

    def _log_tail(self):
        try:
            with open(os.path.join(self.workdir, f"{self.name}.log"), "rb") as f:
                return f.read()[-2000:].decode(errors="replace")
        except OSError:
            return ""

    def stop(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.close()
            except OSError:
                pass
            try:
                self.proc.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()

    def browsed(self):
        try:
            with open(self.browser_log, encoding="utf-8", errors="replace") as f:
                return [l.rstrip("\n") for l in f if l.strip()]
        except OSError:
            return []


class Client:
    def __init__(self, case, folder, args, label, command=None):
        """command: what starts the client (a program that ends by executing it, keeping its
        process), by default the executable in the folder."""
        self.case = case
        self.folder = folder
        self.label = label
        self.exe = os.path.join(folder, os.path.basename(case.cfg.client))
        self.out = open(os.path.join(case.work, f"{label}.stdout"), "wb")
        self.err_path = os.path.join(case.work, f"{label}.stderr")
        self.err = open(self.err_path, "wb")
        self.proc = subprocess.Popen(list(command or [self.exe]) + list(args), cwd=folder, env=case.env,
                                     stdin=subprocess.DEVNULL, stdout=self.out, stderr=self.err)
        self.pid = self.proc.pid

    def alive(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout, what="the client to end"):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"timed out after {timeout:g} s waiting for {what} ({self.label} still runs)")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.out.close()
        self.err.close()

    def stderr_text(self):
        self.err.flush()
        try:
            with open(self.err_path, "rb") as f:
                return f.read().decode(errors="replace")
        except OSError:
            return ""


class Case:
    def __init__(self, cfg, name):
        self.cfg = cfg
        self.name = name
        self.work = tempfile.mkdtemp(prefix=f"rv-e2e-{name}-")
        self.clients = []
        self._closers = []
        self.portal_proc = None
        self.portal_port = None
        self.desktop = Desktop(cfg.source_dir, self.work, **DESKTOP_OPTIONS.get(name, {}))
        self.env = dict(os.environ)
        self.env.update(self.desktop.env)
        for k in ("WAYLAND_DISPLAY", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS"):
            self.env.pop(k, None)
        try:
            self.x = xwire.Display(self.env["DISPLAY"])
        except (OSError, ConnectionError) as e:
            self.desktop.stop()
            raise Failure(f"cannot connect to the desktop's X server: {e}") from None

    # ---- set-up and tear-down ----------------------------------------------------------

    def on_close(self, fn):
        self._closers.append(fn)

    def close(self):
        for c in self.clients:
            c.stop()
        for fn in self._closers:
            fn()
        if self.portal_proc:
            if self.portal_proc.poll() is None:
                self.portal_proc.terminate()
                try:
                    self.portal_proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    self.portal_proc.kill()
                    self.portal_proc.wait()
        self.x.close()
        self.desktop.stop()

    def client_folder(self, label="client", ini=None):
        """A private copy of the client folder. ini: None (no static.ini), text, bytes, or a
        callable that makes <folder>/static.ini itself."""
        dst = os.path.join(self.work, label)
        shutil.copytree(self.cfg.client_dir, dst,
                        ignore=shutil.ignore_patterns("static.ini", "static.ini.*", "screenshots"))
        if not os.path.exists(os.path.join(dst, os.path.basename(self.cfg.client))):
            shutil.copy2(self.cfg.client, dst)
        path = os.path.join(dst, "static.ini")
        if callable(ini):
            ini(path)
        elif isinstance(ini, str):
            with open(path, "w", encoding="utf-8") as f:
                f.write(ini)
        elif isinstance(ini, bytes):
            with open(path, "wb") as f:
                f.write(ini)
        return dst

    def start_client(self, args=(), ini=None, label=None, folder=None, command=None):
        label = label or f"client{len(self.clients) + 1}"
        folder = folder or self.client_folder(label, ini)
        c = Client(self, folder, args, label, command)
        self.clients.append(c)
        return c

    def start_sound(self):
        """A private sound server whose one sink, a null sink, the clients started afterwards
        play into (scripts/desktop.sh sound)."""
        sound = Desktop(self.cfg.source_dir, self.work, command="sound", name="sound")
        self.on_close(sound.stop)
        self.env.update(sound.env)

    def sound_peak(self, seconds=0.25):
        """Records the null sink's monitor for a while: the largest sample (of 32767) and how
        many samples were not silent, at 8000 samples a second."""
        want = int(seconds * 8000) * 2
        rec = subprocess.Popen(["parec", "--latency-msec=50", "-d", "rvnull.monitor", "--format=s16le",
                                "--channels=1", "--rate=8000", "--raw"],
                               env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
        data = b""
        deadline = time.monotonic() + seconds + 3
        try:
            while len(data) < want and time.monotonic() < deadline:
                r, _, _ = select.select([rec.stdout], [], [], 0.1)
                if r:
                    chunk = os.read(rec.stdout.fileno(), want - len(data))
                    if not chunk:
                        break
                    data += chunk
        finally:
            rec.kill()
            rec.wait()
        samples = [abs(int.from_bytes(data[i:i + 2], "little", signed=True)) for i in range(0, len(data) - 1, 2)]
        if len(samples) < want // 4:
            raise Failure(f"parec recorded {len(samples)} samples of the sink in {seconds + 3:g} s")
        return max(samples, default=0), sum(1 for v in samples if v > 64)

    def sound_streams(self):
        """What the sound server says of its playback streams (pactl list sink-inputs)."""
        r = subprocess.run(["pactl", "list", "sink-inputs"], env=self.env, capture_output=True, text=True,
                           timeout=10)
        return r.stdout.strip() or "(no playback stream)"

    def start_portal(self, *args, port=0):
        """Starts the local portal (with further options, --slow-ms N say) when it was built,
        on the given port (0: one the system picks); answers its port, or None."""
        if not self.cfg.portal or not os.path.exists(self.cfg.portal):
            return None
        port_file = os.path.join(self.work, "portal.port")
        log = open(os.path.join(self.work, "portal.log"), "wb")
        self.portal_proc = subprocess.Popen([self.cfg.portal, "--port", str(port), "--port-file", port_file,
                                             *map(str, args)],
                                            stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        log.close()

        def port():
            if self.portal_proc.poll() is not None:
                raise Failure(f"the portal ended at once with code {self.portal_proc.returncode}")
            try:
                with open(port_file) as f:
                    t = f.read().strip()
                return int(t) if t.isdigit() else None
            except OSError:
                return None

        self.portal_port = self.wait(port, 10, "the portal's port file")
        return self.portal_port

    def portal_log(self, since=0):
        """The requests the portal has served, oldest first: dicts with seq, method, path,
        query (as sent, still percent-encoded), cookie, user_agent, referer and t_ms."""
        if not self.portal_port:
            raise Failure("the portal is not running")
        url = f"http://127.0.0.1:{self.portal_port}/__log?since={since}"
        try:
            with _no_proxy.open(url, timeout=5) as r:
                return json.loads(r.read().decode("utf-8"))
        except (OSError, ValueError) as e:
            raise Failure(f"cannot read the portal's request log: {e}") from None

    # ---- waiting -----------------------------------------------------------------------

    def wait(self, predicate, timeout, what, interval=0.02):
        deadline = time.monotonic() + timeout
        while True:
            try:
                v = predicate()
            except xwire.XError:
                v = None
            if v:
                return v
            if time.monotonic() >= deadline:
                raise Failure(f"timed out after {timeout:g} s waiting for {what}")
            time.sleep(interval)

    # ---- windows -----------------------------------------------------------------------

    def windows_of(self, client, name=None):
        """Windows of a client's process (by _NET_WM_PID), tray icons (XEMBED clients) left out."""
        out = []
        for w in self.x.descendants():
            if self.x.window_pid(w) != client.pid:
                continue
            if name is not None and self.x.window_name(w) != name:
                continue
            if self.x.embedded(w):
                continue
            out.append(w)
        return out

    def launcher(self, client, timeout=10, viewable=True):
        """The launcher window of a client, waiting until it exists (and is viewable)."""
        def find():
            if not client.alive():
                raise Failure(f"{client.label} ended with code {client.proc.returncode} before its launcher "
                              f"showed; stderr:\n{client.stderr_text()[-1500:]}")
            for w in self.windows_of(client, CAPTION):
                if not viewable or self.x.viewable(w):
                    return w
            return None
        try:
            return self.wait(find, timeout, f"a {'viewable ' if viewable else ''}window named "
                                            f"{CAPTION!r} of {client.label}")
        except Failure as e:
            raise Failure(f"{e}\nwindows now:\n{self.describe_windows()}") from None

    def launcher_viewable(self, client):
        return any(self.x.viewable(w) for w in self.windows_of(client, CAPTION))

    def describe_windows(self):
        lines = []
        for w in self.x.descendants():
            name = self.x.window_name(w)
            pid = self.x.window_pid(w)
            if not name and not pid:
                continue
            try:
                g = self.x.geometry(w)
            except xwire.XError:
                continue
            lines.append(f"  {w:#x} name={name!r} pid={pid} geometry={g[2]}x{g[3]}+{g[0]}+{g[1]} "
                         f"map_state={self.x.map_state(w)}")
        return "\n".join(lines) or "  (none)"

    def wm_states(self, w):
        return self.x.prop_atoms(w, "_NET_WM_STATE")

    def iconic(self, w):
        st = self.x.prop_cardinals(w, "WM_STATE")
        return (st and st[0] == 3) or "_NET_WM_STATE_HIDDEN" in self.wm_states(w)

    def find_named(self, name, pid=None):
        for w in self.x.descendants():
            if self.x.window_name(w) == name and (pid is None or self.x.window_pid(w) == pid):
                if self.x.viewable(w):
                    return w
        return None

    def tray_icon(self, client, timeout=10):
        """The client's tray icon (its XEMBED window, viewable in the tray) once it has a real
        size; answers (window, (x, y, w, h))."""
        def candidates():
            return [w for w in self.x.descendants()
                    if self.x.window_pid(w) == client.pid and self.x.embedded(w)]

        seen = []

        def find():
            if not client.alive():
                raise Failure(f"{client.label} ended with code {client.proc.returncode}; stderr:\n"
                              f"{client.stderr_text()[-1500:]}")
            for w in candidates():
                if not self.x.viewable(w):
                    continue
                g = self.x.geometry(w)
                if g[2] > 1 and g[3] > 1:
                    # The tray lays its icons out again as others come and go: the place must
                    # hold for three looks in a row.
                    seen.append((w, g))
                    del seen[:-3]
                    return seen[0] if len(seen) == 3 and seen[0] == seen[1] == seen[2] else None
            seen.clear()
            return None
        try:
            return self.wait(find, timeout, f"the tray icon of {client.label} with a real size and place",
                             interval=0.1)
        except Failure as e:
            found = []
            for w in candidates():
                try:
                    found.append(f"  {w:#x} geometry={self.x.geometry(w)} map_state={self.x.map_state(w)}")
                except xwire.XError:
                    pass
            raise Failure(f"{e}\nits XEMBED windows:\n" + ("\n".join(found) or "  (none)")) from None

    def popup_menu(self, client, timeout=5):
        """A viewable pop-up menu window of the client, with its geometry."""
        menu_types = {"_NET_WM_WINDOW_TYPE_POPUP_MENU", "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
                      "_NET_WM_WINDOW_TYPE_MENU"}

        def find():
            for w in self.x.query_tree(self.x.root)[1]:
                if self.x.window_pid(w) != client.pid or not self.x.viewable(w):
                    continue
                if menu_types & set(self.x.prop_atoms(w, "_NET_WM_WINDOW_TYPE")):
                    return w, self.x.geometry(w)
            return None
        return self.wait(find, timeout, f"a pop-up menu of {client.label}")

    def events_for(self, window, codes, count, timeout):
        """Collects events of the given codes for a window until count of them came or the
        time is up; answers them."""
        got = []
        deadline = time.monotonic() + timeout
        while len(got) < count:
            ev = self.x.next_event(max(0.0, deadline - time.monotonic()))
            if ev is None:
                break
            if ev.code in codes and ev.window == window:
                got.append(ev)
        return got

    # ---- input -------------------------------------------------------------------------

    def xdo(self, *args):
        r = subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=10)
        if r.returncode != 0:
            raise Failure(f"xdotool {' '.join(map(str, args))} failed: {r.stderr.decode(errors='replace')}")
        return r.stdout.decode()

    def move(self, x, y):
        self.xdo("mousemove", x, y)
        time.sleep(INPUT_PAUSE)

    def down(self, button=1):
        self.xdo("mousedown", button)
        time.sleep(INPUT_PAUSE)

    def up(self, button=1):
        self.xdo("mouseup", button)
        time.sleep(INPUT_PAUSE)

    def click(self, button=1):
        self.down(button)
        self.up(button)

    def double_click(self, button=1):
        self.xdo("click", "--repeat", 2, "--delay", 80, button)
        time.sleep(INPUT_PAUSE)

    def key(self, keys):
        self.xdo("key", keys)
        time.sleep(INPUT_PAUSE)

    def move_to_window_point(self, origin, point):
        self.move(origin[0] + point[0], origin[1] + point[1])

    # ---- pixels ------------------------------------------------------------------------

    def screenshot(self, rect=None):
        x, y, w, h = rect or (0, 0, self.x.width, self.x.height)
        return self.x.get_image(x, y, w, h)

    def save(self, image, name):
        path = os.path.join(self.work, name)
        image.save_png(path)
        return path

    def wait_still(self, rect, timeout, what):
        """Polls a screen rectangle until two pictures 0.1 s apart agree (a picture taken
        while the compositor repaints can be half old, half new); answers the picture."""
        last = [None]

        def still():
            img = self.screenshot(rect)
            prev, last[0] = last[0], img
            return img if prev is not None and prev.data == img.data else None
        return self.wait(still, timeout, f"{what} to stop changing", interval=0.1)

    def wait_pixels(self, rect, predicate, timeout, what):
        """Polls a screen rectangle until predicate(image) holds; answers the image."""
        last = [None]

        def check():
            img = self.screenshot(rect)
            last[0] = img
            return img if predicate(img) else None
        try:
            return self.wait(check, timeout, what, interval=0.05)
        except Failure as e:
            if last[0] is not None:
                p = self.save(last[0], "last-compared.png")
                raise Failure(f"{e} (last picture of the area: {p})") from None
            raise


def _children():
    """Pids of our child processes (orphans handed to us included), from /proc."""
    return child_processes(os.getpid(), zombies=True)


def reap_orphans(timeout=0.0):
    """Reaps the processes handed to us as their subreaper (the browser engine's helpers of a
    client that ended, say). Call it only when none of our Popen objects waits any more.
    With a timeout, waits that long for the rest to end and kills what is left."""
    deadline = time.monotonic() + timeout
    while True:
        while True:
            try:
                pid, _ = os.waitpid(-1, os.WNOHANG)
            except ChildProcessError:
                return
            if pid == 0:
                break
        left = _children()
        if not left:
            return
        if time.monotonic() >= deadline:
            if timeout <= 0:
                return
            for pid in left:
                try:
                    os.kill(pid, signal.SIGKILL)
                    os.waitpid(pid, 0)
                except (ProcessLookupError, ChildProcessError):
                    pass
            return
        time.sleep(0.05)


def bench_case(build, name):
    """A case for a benchmark script (bench/): the client and the portal of the build folder on
    a private desktop, its orphans reaped by us; None, with a line saying why, when either was
    not built."""
    client = os.path.join(build, "client", "raduvove")
    portal = os.path.join(build, "portal", "lumo-portal")
    layout_file = os.path.join(build, LAYOUT_FILE)
    for path in (client, portal, layout_file):
        if not (os.access(path, os.X_OK) if path != layout_file else os.path.isfile(path)):
            print(f"{name}: {path} is missing (build first)")
            return None
    use_layout(layout_file)
    become_subreaper()
    return Case(Config(client, os.path.dirname(client), portal), name)


def become_subreaper():
    """Orphans of the processes we start (programs the client launches, say) come to us
    instead of to PID 1, which does not reap them here."""
    try:
        import ctypes
        libc = ctypes.CDLL(None, use_errno=True)
        libc.prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
    except (OSError, AttributeError):
        pass


def child_processes(pid, name=None, zombies=False):
    """Pids of the direct children of a process, from /proc: those whose command name is
    `name` (as /proc shows it, cut to 15 characters) when one is given; zombies only when
    asked for."""
    out = []
    for p in os.listdir("/proc"):
        if not p.isdigit():
            continue
        try:
            with open(f"/proc/{p}/stat") as f:
                st = f.read()
            comm = st[st.index("(") + 1:st.rindex(")")]
            state, ppid = st.rsplit(")", 1)[1].split()[:2]
        except (OSError, ValueError):
            continue
        if int(ppid) == pid and (name is None or comm == name[:15]) and (zombies or state != "Z"):
            out.append(int(p))
    return out


# ---- the registry of cases -------------------------------------------------------------

CASES = {}


DESKTOP_OPTIONS = {}  # case name -> the options of its desktop (Desktop's keywords)
TIMEOUTS = {}  # case name -> seconds ctest gives it
DEFAULT_TIMEOUT = 90


def case(fn=None, timeout=DEFAULT_TIMEOUT, **desktop):
    """Registers a case function fn(c: Case) under its name without the test_ prefix; used
    as @case, or as @case(wm_close_key=True) for a case whose desktop takes options, or
    @case(timeout=S) for one that needs more than DEFAULT_TIMEOUT seconds under ctest."""
    def register(f):
        name = f.__name__.removeprefix("test_")
        CASES[name] = f
        DESKTOP_OPTIONS[name] = desktop
        TIMEOUTS[name] = timeout
        return f
    return register(fn) if fn else register


def wait_box(c, client, caption, timeout=5):
    """A message box of the client with the caption, mapped and active."""
    d = c.wait(lambda: c.find_named(caption, client.pid), timeout, f"the message box {caption!r}")
    try:
        c.wait(lambda: c.x.active_window() == d, 5, f"the message box {caption!r} to become the active window")
    except Failure as e:
        a = c.x.active_window()
        raise Failure(f"{e}; the active window is {a:#x} {c.x.window_name(a)!r}") from None
    return d


def expect(cond, message):
    if not cond:
        raise Failure(message)


def skin_rgba(cfg, png_name, points):
    """(r, g, b, a) of pixels of a skin picture of the source tree, read with ImageMagick."""
    path = os.path.join(cfg.source_dir, "res", "png", png_name)
    if not os.path.exists(path):
        raise Failure(f"the skin picture {path} is missing")
    fmt = " ".join(f"%[fx:int(255*p{{{x},{y}}}.{ch}+0.5)]" for (x, y) in points for ch in "rgba")
    r = subprocess.run(["convert", path, "-format", fmt, "info:"],
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    values = r.stdout.decode(errors="replace").split()
    if r.returncode != 0 or len(values) != 4 * len(points):
        raise Failure(f"cannot read pixels of {path}: {r.stderr.decode(errors='replace')}")
    nums = [int(v) for v in values]
    return {p: tuple(nums[4 * i:4 * i + 4]) for i, p in enumerate(points)}
