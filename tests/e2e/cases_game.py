# Over 500 lines: the game window's cases share their set-up helpers.
"""The game window with the local portal: opening it from the launcher page, its title-bar
buttons (payment, return, clear cache, boss key), F9, the boss key while playing and the
ways it closes."""
import os
import signal
import subprocess
import time

import xwire
from cases_keys_tray import exit_via_tray
from harness import CAPTION, EXIT_PROMPT_CAPTION, Failure, case, centre, child_processes, expect, layout, wait_box

HOST_KEYS = ("portal", "game", "pay", "forum", "cs")
UID, GUEST_UID, SUID = "u4711", "guest7", "s0815"

# The server entries of the launcher page: the page's style sheet lays the list out at fixed
# places (panel at 254,56 with 1 px border and 8/10 px padding, a 24 px heading, 4 px gap,
# entries of 246x54 with 8 px between them, two per row), so the first row is
# 265..511 and 519..765 x 93..147 in page coordinates. Checked on a screenshot.
SERVERS = {"S8": (388, 120), "S7": (642, 120)}
# The server list: no animation, no text that changes by itself.
STILL_AREA = (254, 60, 500, 280)

# Under icewm a maximised window covers the screen above the 26-pixel taskbar.
WORK_AREA = (0, 0, 1920, 1054)

# Widths of the title-bar pictures of the skin: payment 75, return 65, clear cache 75,
# boss key 65 (all 22 high, rows 9..31); minimise, maximise and close 25 (rows 7..32).
TITLE_ROW = 20


def title_button(name, width):
    """A point inside a title-bar button of a game window that is `width` wide, in window
    coordinates."""
    left = {"pay": width - 391}
    left["return"] = left["pay"] + 75 + 5
    left["clear"] = left["return"] + 65 + 5
    left["bosskey"] = left["clear"] + 75 + 5
    left["min"] = left["bosskey"] + 65 + 8
    left["max"] = left["min"] + 25 + 3
    left["close"] = left["max"] + 25 + 3
    return left[name] + 10, TITLE_ROW


CAPTION_RGB = (0xE4, 0xD1, 0x0D)
BOSSKEY_DLG = (355, 169)
BOSSKEY_CONFIRM = (239 + 10, 73 + 10)  # inside the confirm button (239..299 x 73..94)
PAY_SIZE = (238, 270)
CLEAR_CAPTION = "清除提示"


# ---- helpers ---------------------------------------------------------------------------

def ini_for(host, uid):
    return (f"[dmor]\nstart=1\nuid={uid}\nfilename={SUID}\n[hosts]\n"
            + "".join(f"{k}={host}\n" for k in HOST_KEYS))


def geometry_text(g):
    return f"{g[2]}x{g[3]}+{g[0]}+{g[1]}"


def requests(c, path, since=0):
    return [e for e in c.portal_log(since) if e["path"] == path]


def last_seq(c):
    log = c.portal_log()
    return log[-1]["seq"] if log else 0


def log_text(c, since=0):
    return "\n".join(f"  {e['seq']} {e['path']}?{e['query']} cookie={e['cookie']!r}" for e in c.portal_log(since))


def hold(c, seconds, check):
    """Polls for a while that a state lasts; check() raises Failure as soon as it does not."""
    deadline = time.monotonic() + seconds
    while True:
        check()
        if time.monotonic() >= deadline:
            return
        time.sleep(0.05)


def exists(c, w):
    return w in c.x.descendants()


def window_manager(c):
    """The pid of the desktop's window manager (a descendant of scripts/desktop.sh)."""
    todo = [c.desktop.proc.pid]
    while todo:
        pid = todo.pop()
        if child_processes(pid, "icewm"):
            return child_processes(pid, "icewm")[0]
        todo.extend(child_processes(pid))
    raise Failure("the desktop has no window manager (icewm)")


class Game:
    """A client on the portal with its launcher page shown, then playing on one server."""

    def __init__(self, c, uid=UID, portal_args=()):
        self.c = c
        port = c.start_portal(*portal_args)
        if not port:
            raise Failure("these cases need the local portal (run_e2e.py --portal PATH)")
        self.host = f"127.0.0.1:{port}"
        self.uid = uid
        self.client = c.start_client(ini=ini_for(self.host, uid))
        self.launcher = c.launcher(self.client)
        self.dlg = None
        self.window = None
        self.server = None
        self.wait_page("the launcher page to show")

    # -- the launcher side --

    def page_dialog(self):
        for w in self.c.windows_of(self.client, ""):
            if self.launcher in self.c.x.prop_cardinals(w, "WM_TRANSIENT_FOR"):
                return w
        return None

    def web_area(self):
        x, y, _, _ = self.c.x.geometry(self.launcher)
        left, top, _, _ = layout().web_area
        return (x + left, y + top) + layout().page_size

    def wait_page(self, what, timeout=15):
        """The launcher and its page dialog are on the screen, over the web area, and the
        page's server list is drawn."""
        c = self.c

        def shown():
            self.alive()
            if not c.x.viewable(self.launcher):
                return None
            d = self.page_dialog()
            if not d or not c.x.viewable(d) or tuple(c.x.geometry(d)) != self.web_area():
                return None
            return d
        try:
            self.dlg = c.wait(shown, timeout, what)
        except Failure as e:
            raise Failure(f"{e}; windows:\n{c.describe_windows()}") from None
        x, y, _, _ = self.web_area()
        c.wait_still((x + STILL_AREA[0], y + STILL_AREA[1], STILL_AREA[2], STILL_AREA[3]), 5,
                     "the launcher page's server list")

    def alive(self):
        if not self.client.alive():
            raise Failure(f"the client ended with code {self.client.proc.returncode}; stderr:\n"
                          f"{self.client.stderr_text()[-1500:]}")

    # -- the game side --

    def game_windows(self):
        """The client's windows named like the launcher that are not the launcher."""
        return [w for w in self.c.windows_of(self.client, CAPTION) if w != self.launcher]

    def enter(self, server="S7", at=WORK_AREA):
        """Clicks a server entry of the launcher page; waits for the game window to be up at
        `at` (x, y, width, height: maximised by default) and active, and for the portal to
        have served the game page."""
        c = self.c
        since = last_seq(c)
        px, py = SERVERS[server]
        x, y, _, _ = self.web_area()
        c.move(x + px, y + py)
        t0 = time.monotonic()
        c.click()

        def up():
            self.alive()
            for w in self.game_windows():
                if c.x.viewable(w) and tuple(c.x.geometry(w)) == at:
                    return w
            return None
        try:
            self.window = c.wait(up, 10, f"the game window at {geometry_text(at)}")
            # A figure for the record (not a check): from the start of the click (the press,
            # the harness's pause, the release) to the game window found over the work area.
            # bench/startup.sh --game times the client itself.
            print(f"open-game: {1000 * (time.monotonic() - t0):.0f} ms from the press to the game window "
                  "(with the harness's pauses)", flush=True)
        except Failure as e:
            raise Failure(f"{e}; windows:\n{c.describe_windows()}\nrequests since the click:\n"
                          f"{log_text(c, since)}") from None
        self.server = server
        want = f"server={server}&uid={self.uid}"
        try:
            c.wait(lambda: [e for e in requests(c, "/game/play/", since) if e["query"] == want], 10,
                   f"the portal to serve the game page /game/play/?{want}")
        except Failure as e:
            raise Failure(f"{e}; requests since the click:\n{log_text(c, since)}") from None
        self.activate()
        return self.window

    def activate(self):
        c = self.c
        try:
            c.wait(lambda: c.x.active_window() == self.window, 5, "the game window to be the active window")
        except Failure as e:
            a = c.x.active_window()
            raise Failure(f"{e}; the active window is {a:#x} {c.x.window_name(a)!r}") from None

    def click_title(self, name):
        x, y, w, _ = self.c.x.geometry(self.window)
        bx, by = title_button(name, w)
        self.c.move(x + bx, y + by)
        self.c.click()

    def side_windows(self, size=None):
        """Viewable windows of the client that belong to the game window."""
        c = self.c
        out = []
        for w in c.windows_of(self.client):
            if self.window in c.x.prop_cardinals(w, "WM_TRANSIENT_FOR") and c.x.viewable(w):
                if size is None or tuple(c.x.geometry(w)[2:]) == size:
                    out.append(w)
        return out

    def game_requests(self, since=0):
        want = f"server={self.server}&uid={self.uid}"
        return [e for e in requests(self.c, "/game/play/", since) if e["query"] == want]

    def expect_playing(self, what):
        c = self.c
        self.alive()
        expect(c.x.viewable(self.window), f"{what}: the game window is not on the screen")
        expect(not c.x.viewable(self.launcher), f"{what}: the launcher is on the screen")
        d = self.page_dialog()
        expect(not (d and c.x.viewable(d)), f"{what}: the launcher's page dialog is on the screen")

    def leave_by_return(self, what):
        """The return button, and Return on the question: back at the launcher."""
        c = self.c
        since = last_seq(c)
        self.click_title("return")
        wait_box(c, self.client, EXIT_PROMPT_CAPTION)
        c.key("Return")
        self.wait_back_at_launcher(since, what)

    def wait_back_at_launcher(self, since, what):
        """The game window is gone, the launcher and its page are back, and the launcher page
        was loaded again."""
        c = self.c
        old = self.window
        try:
            c.wait(lambda: not exists(c, old), 5, f"the game window to be destroyed ({what})")
        except Failure as e:
            raise Failure(f"{e}; it is {'viewable' if c.x.viewable(old) else 'hidden'}; windows:\n"
                          f"{c.describe_windows()}") from None
        self.wait_page(f"the launcher and its page to come back ({what})", timeout=10)
        got = [e["query"] for e in requests(c, "/game/s/dmor/", since)]
        expect(got == [f"uid={self.uid}&suid={SUID}"],
               f"{what}: the launcher page was requested {got} since, expected it once again (reloaded)")
        leftover = [w for w in self.game_windows() if c.x.viewable(w)]
        expect(not leftover, f"{what}: a game window is still on the screen: {[hex(w) for w in leftover]}")
        try:
            c.wait(lambda: c.x.active_window() in (self.launcher, self.dlg), 3,
                   f"the launcher or its page to be the active window ({what})")
        except Failure as e:
            a = c.x.active_window()
            raise Failure(f"{e}; the active window is {a:#x} {c.x.window_name(a)!r}") from None
        self.window = None


def caption_span(img):
    """Columns of a picture that hold the caption's colour: (first, last) or None."""
    cols = [x for x in range(img.width)
            if any(all(abs(a - b) <= 40 for a, b in zip(img.pixel(x, y), CAPTION_RGB)) for y in range(img.height))]
    return (cols[0], cols[-1]) if cols else None


# ---- cases -----------------------------------------------------------------------------

@case
def test_game_opens_maximised(c):
    g = Game(c)
    since = last_seq(c)
    w = g.enter("S7")
    expect(c.x.window_name(w) == CAPTION, f"the game window is named {c.x.window_name(w)!r}, expected {CAPTION!r}")
    g.expect_playing("after a click on a server")
    # The caption "LumoDrakmoor--S7 苍穹(F9刷新)" is drawn right of the logo in its yellow; a
    # caption without the server part would be about half as wide.
    bar = (60, 8, 600, 26)

    def caption_drawn(img):
        span = caption_span(img)
        return span and span[0] <= 8 and span[1] - span[0] >= 150
    img = c.wait_pixels(bar, caption_drawn, 5, "the caption with the server name in the title bar")
    expect(len(g.game_requests(since)) == 1, f"the game page was requested more than once:\n{log_text(c, since)}")

    # F9 loads the launcher's game address again.
    g.activate()
    c.key("F9")
    try:
        c.wait(lambda: len(g.game_requests(since)) == 2, 5, "F9 to load the game page again")
    except Failure as e:
        raise Failure(f"{e}; requests since entering:\n{log_text(c, since)}") from None
    g.expect_playing("after F9")
    expect(tuple(c.x.geometry(w)) == WORK_AREA, f"after F9 the game window is at {geometry_text(c.x.geometry(w))}")
    expect(caption_span(c.screenshot(bar)) == caption_span(img), "the caption changed after F9")


@case
def test_game_music_plays_without_a_click(c):
    # The game page starts its music as it loads; the only click is on the launcher page's
    # server entry, in another view.
    c.start_sound()
    g = Game(c, portal_args=("--music",))
    g.enter("S7")
    t0 = time.monotonic()
    heard = []

    def music():
        g.alive()
        peak, loud = c.sound_peak()
        heard.append(peak)
        return loud >= 1000 and peak >= 1000  # most of a quarter second, well above noise
    try:
        c.wait(music, 8, "the game's music on the sound server, without a click in the game page", interval=0)
    except Failure as e:
        raise Failure(f"{e}; peaks seen: {heard}\n{c.sound_streams()}") from None
    print(f"music: heard {time.monotonic() - t0:.1f} s after the game window showed, peak {heard[-1]} of 32767",
          flush=True)

    # The boss key silences the client while it hides it, and the music comes back by itself.
    w = g.window
    c.key("F10")
    c.wait(lambda: not c.x.viewable(w), 3, "F10 to hide the game window")
    quiet = []

    def silent():
        peak, _ = c.sound_peak()
        quiet.append(peak)
        return peak <= 64
    try:
        c.wait(silent, 3, "silence on the sound server while the boss key hides the game", interval=0)
        hold(c, 1, lambda: expect(c.sound_peak()[0] <= 64, "the hidden game made a sound"))
    except Failure as e:
        raise Failure(f"{e}; peaks heard: {quiet}\n{c.sound_streams()}") from None
    c.key("F10")
    c.wait(lambda: c.x.viewable(w), 3, "F10 again to show the game window")
    heard.clear()
    try:
        c.wait(music, 5, "the game's music back on the sound server after the boss key showed the game", interval=0)
    except Failure as e:
        raise Failure(f"{e}; peaks seen: {heard}\n{c.sound_streams()}") from None


@case
def test_game_boss_key(c):
    g = Game(c)
    w = g.enter("S8")
    # The boss key hides the game window only: the launcher stays hidden. Held past the
    # keyboard's repeat delay (660 ms), the key is still one press: the window stays away.
    c.x.select_input(w, xwire.STRUCTURE_NOTIFY)
    c.xdo("keydown", "F10")
    try:
        c.wait(lambda: not c.x.viewable(w), 3, "F10 to hide the game window")
        maps = c.events_for(w, {xwire.MAP_NOTIFY}, 1, 1.5)
    finally:
        c.xdo("keyup", "F10")
    expect(not maps, "the game window came back while F10 was held")
    hold(c, 0.5, lambda: (g.alive(), expect(not c.x.viewable(w), "the game window came back after F10 was held"),
                          expect(not c.x.viewable(g.launcher), "F10 while playing showed the launcher")))
    c.key("F10")
    c.wait(lambda: c.x.viewable(w), 3, "F10 again to show the game window")
    g.expect_playing("after F10 twice")
    try:
        c.wait(lambda: tuple(c.x.geometry(w)) == WORK_AREA, 3, "the game window back over the work area")
    except Failure as e:
        raise Failure(f"{e}; it is at {geometry_text(c.x.geometry(w))}") from None
    g.activate()
    # Still the same window, and still working: F9 reaches it.
    since = last_seq(c)
    c.key("F9")
    c.wait(lambda: g.game_requests(since), 5, "F9 to load the game page after the boss key")

    # A window manager slow to pick the next focus once the game window is gone (stopped here,
    # as one starved under load is) costs no press: F10 right after the hide still reaches the
    # client, and the window shows as soon as the window manager runs again.
    wm = window_manager(c)
    os.kill(wm, signal.SIGSTOP)
    try:
        c.key("F10")
        c.wait(lambda: not c.x.viewable(w), 3, "F10 to hide the game window while the window manager stalls")
        c.key("F10")
    finally:
        os.kill(wm, signal.SIGCONT)
    c.wait(lambda: c.x.viewable(w), 3, "the F10 pressed while the window manager stalled to show the game window")
    g.expect_playing("after F10 twice while the window manager stalled")


@case
def test_game_page_popup_storm(c):
    # One key press in a hostile game page asks for 200 windows: one opens, in a browser
    # window of the game window's own that the boss key hides with it and that goes with it.
    g = Game(c, portal_args=("--hostile",))
    w = g.enter("S8")
    x, y, ww, wh = c.x.geometry(w)
    c.move(x + ww // 2, y + wh // 3)  # the sky of the game page: nothing to click there
    c.click()
    c.key("p")
    popups = c.wait(lambda: g.side_windows(), 5, "the game page's new window")
    hold(c, 2, lambda: expect(len(g.side_windows()) == 1, f"one key press opened {len(g.side_windows())} windows"))

    def refused():
        return [l for l in g.client.stderr_text().splitlines() if "game page's new window refused" in l]
    expect(len(refused()) >= 199, f"{len(refused())} refusals were logged on standard error, expected at least 199")
    # The pop-up's page storms as well (a news page of the hostile portal): its windows go
    # through the same limits, one for the click, and belong to the pop-up.
    before = len(refused())
    px, py, pw, ph = c.wait(lambda: (lambda gm: gm if gm[2] > 100 else None)(c.x.geometry(popups[0])), 5,
                            "the pop-up's size")
    c.move(px + pw // 2, py + ph - 40)
    c.click()
    c.key("p")
    def nested():
        return [n for n in c.windows_of(g.client)
                if popups[0] in c.x.prop_cardinals(n, "WM_TRANSIENT_FOR") and c.x.viewable(n)]
    c.wait(nested, 5, "the pop-up's own new window")
    hold(c, 2, lambda: expect(len(g.side_windows()) == 1 and len(nested()) == 1,
                              f"one key press in the pop-up opened {len(g.side_windows()) - 1 + len(nested())} "
                              "windows"))
    expect(len(refused()) - before >= 199, f"the pop-up's storm logged {len(refused()) - before} refusals")
    popups += nested()
    c.key("F10")
    c.wait(lambda: not c.x.viewable(w) and not any(c.x.viewable(p) for p in popups), 3,
           "F10 to hide the game window and its pop-ups")
    c.key("F10")
    c.wait(lambda: c.x.viewable(w) and all(c.x.viewable(p) for p in popups), 3, "F10 again to show them all")
    since = last_seq(c)
    subprocess.run(["wmctrl", "-i", "-c", hex(w)], env=c.env, timeout=10)
    g.wait_back_at_launcher(since, "the window manager's close")
    c.wait(lambda: not any(exists(c, p) for p in popups), 5, "the pop-ups to go with the game window")

    # A game page hung in an endless loop: the tray's 退出 ends the client and every engine
    # process of its pages at once.
    w = g.enter("S7")
    x, y, ww, wh = c.x.geometry(w)
    c.move(x + ww // 2, y + wh // 3)
    c.click()
    c.key("h")
    pages = child_processes(g.client.pid, "WebKitWebProcess")
    exit_via_tray(c, g.client)

    def gone(pid):
        try:
            with open(f"/proc/{pid}/stat") as f:
                return f.read().rsplit(")", 1)[1].split()[0] == "Z"
        except OSError:
            return True
    c.wait(lambda: all(gone(p) for p in pages), 2, f"the web processes {pages} to end with the client")


@case
def test_game_page_with_an_untrusted_certificate(c):
    # The game site answers https with a certificate of its own, issued for another host: the
    # game window says why it shows no game, and so does standard error.
    tls = os.path.join(c.work, "tls")
    os.mkdir(tls)
    server = subprocess.Popen([os.path.join(os.path.dirname(c.cfg.client_dir), "tests", "net", "net_tls_server"), tls],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    c.on_close(lambda: (server.terminate(), server.wait()))
    c.wait(lambda: os.path.exists(os.path.join(tls, "ready")), 10, "the TLS test server")
    with open(os.path.join(tls, "untrusted.port")) as f:
        base = f"https://127.0.0.1:{int(f.read())}"
    g = Game(c, portal_args=("--game-base", base))
    x, y, _, _ = g.web_area()
    c.move(x + SERVERS["S7"][0], y + SERVERS["S7"][1])
    c.click()
    w = c.wait(lambda: next((w for w in g.game_windows() if c.x.viewable(w)), None), 10, "the game window")
    said = f"raduvove: page not loaded: {base}/game/play/?server=S7&uid={g.uid}: untrusted certificate (unknown issuer"
    c.wait(lambda: said in g.client.stderr_text(), 10, f"standard error to say {said!r}")
    # The error page: its first line, and the reason on a line of its own below it.
    wx, wy, ww, _ = c.x.geometry(w)

    def two_lines(img):
        rows = [r for r in range(img.height) if any(sum(img.pixel(px, r)) < 600 for px in range(0, 400, 2))]
        bands = [r for i, r in enumerate(rows) if i == 0 or r > rows[i - 1] + 1]
        return len(bands) >= 2
    c.wait_pixels((wx + 2, wy + 40, 400, 90), two_lines, 10, "the error page with its reason")


def pay_windows(g):
    return g.side_windows(PAY_SIZE)


def done_button(c, pay, timeout=10):
    """Centre of the payment page's "完成" button, found by its colours once the page is
    drawn: the only yellow-orange box in the lower half of the page (the QR code is black
    and white, the rest dark brown). Until the page is drawn, the window may still show what
    was under it (the game page has orange buttons too): the QR code's white must be there
    first."""
    x, y, w, h = c.x.geometry(pay)

    def button_coloured(rgb):
        r, g, b = rgb
        return r >= 220 and 140 <= g <= 235 and b <= 170

    def hits(img):
        return [(px, py) for py in range(img.height // 2, img.height) for px in range(img.width)
                if button_coloured(img.pixel(px, py))]

    def drawn(img):
        white = sum(1 for py in range(0, img.height // 2, 2) for px in range(0, img.width, 2)
                    if img.pixel(px, py) == (255, 255, 255))
        return white >= 500 and len(hits(img)) >= 200
    img = c.wait_pixels((x, y, w, h), drawn, timeout, "the payment page with its QR code and 完成 button")
    found = hits(img)
    xs = sorted(p[0] for p in found)
    ys = sorted(p[1] for p in found)
    return x + xs[len(xs) // 2], y + ys[len(ys) // 2]


@case
def test_game_payment(c):
    # A guest: the launcher page calls openPay with the payment page's address as it loads.
    g = Game(c, uid=GUEST_UID)
    w = g.enter("S7")
    gx, gy, gw, _ = c.x.geometry(w)
    want_geometry = (gx + gw - 400, gy + 40) + PAY_SIZE
    want_query = f"g=dmor&uid={GUEST_UID}"

    def open_payment(what):
        since = last_seq(c)
        g.click_title("pay")
        try:
            pay = c.wait(lambda: pay_windows(g), 10, f"the payment window ({what})")[0]
        except Failure as e:
            raise Failure(f"{e}; requests since the click:\n{log_text(c, since)}\nwindows:\n"
                          f"{c.describe_windows()}") from None
        got = [e["query"] for e in requests(c, "/pay/", since)]
        expect(got == [want_query], f"{what}: the payment page was requested as {got}, expected [{want_query!r}]")
        expect(tuple(c.x.geometry(pay)) == want_geometry,
               f"{what}: the payment window is at {geometry_text(c.x.geometry(pay))}, expected "
               f"{geometry_text(want_geometry)}")
        return pay, since

    pay, since = open_payment("first click")
    # One payment window at a time: another click on the button opens nothing.
    g.click_title("pay")
    hold(c, 1, lambda: expect(len(pay_windows(g)) == 1 and len(requests(c, "/pay/", since)) == 1,
                              f"a second click on the payment button opened another: windows "
                              f"{[hex(p) for p in pay_windows(g)]}, requests:\n{log_text(c, since)}"))
    bx, by = done_button(c, pay)

    # The boss key hides and shows the payment window with the game window.
    c.key("F10")
    c.wait(lambda: not c.x.viewable(w) and not c.x.viewable(pay), 3,
           "F10 to hide the game window and its payment window")
    c.key("F10")
    c.wait(lambda: c.x.viewable(w) and c.x.viewable(pay), 3, "F10 again to show both")
    expect(tuple(c.x.geometry(pay)) == want_geometry,
           f"after the boss key the payment window is at {geometry_text(c.x.geometry(pay))}")

    # Alt+F4 in the payment page asks about quitting the whole client; Cancel keeps all.
    px, py, _, _ = c.x.geometry(pay)
    c.move(px + PAY_SIZE[0] // 2, py + 16)  # the page's heading: nothing to click there
    c.click()
    c.wait(lambda: c.x.active_window() == pay, 5, "the payment window to become the active window")
    c.key("alt+F4")
    box = wait_box(c, g.client, EXIT_PROMPT_CAPTION)
    c.key("Escape")
    c.wait(lambda: not c.x.viewable(box), 5, "Escape to close the exit question")
    hold(c, 0.5, lambda: (g.expect_playing("after Escape on the exit question"),
                          expect(c.x.viewable(pay), "the payment window went after Escape on the exit question")))

    c.move(bx, by)
    c.click()
    try:
        c.wait(lambda: not exists(c, pay), 5, "完成 (closedBox) to close the payment window")
    except Failure as e:
        raise Failure(f"{e}; it is {'viewable' if c.x.viewable(pay) else 'hidden'}") from None
    g.expect_playing("after the payment window closed")
    expect(not c.desktop.browsed(), f"the default browser was asked for {c.desktop.browsed()}")
    # Closed, the button makes a new one.
    open_payment("a click after it closed")


@case
def test_game_maximise_button(c):
    g = Game(c, uid=GUEST_UID)
    w = g.enter("S8")
    g.click_title("pay")
    pay = c.wait(lambda: pay_windows(g), 10, "the payment window")[0]

    def wait_layout(want, what):
        """The game window at `want`, its payment window at its right edge less 400, 40."""
        pay_want = (want[0] + want[2] - 400, want[1] + 40) + PAY_SIZE
        try:
            c.wait(lambda: tuple(c.x.geometry(w)) == want and tuple(c.x.geometry(pay)) == pay_want, 5, what)
        except Failure as e:
            raise Failure(f"{e}: expected the game window at {geometry_text(want)} and the payment window at "
                          f"{geometry_text(pay_want)}, they are at {geometry_text(c.x.geometry(w))} and "
                          f"{geometry_text(c.x.geometry(pay))}") from None

    # Restored: 1300x820, centred above the 37 rows a Windows taskbar would take.
    restored = ((1920 - 1300) // 2, (1080 - 37 - 820) // 2, 1300, 820)
    g.click_title("max")
    wait_layout(restored, "the maximise button to restore the game window")
    expect("_NET_WM_STATE_MAXIMIZED_HORZ" not in c.wm_states(w), "restored, the window manager still has it maximised")
    g.click_title("max")
    wait_layout(WORK_AREA, "the maximise button to maximise the game window again")
    g.expect_playing("after restoring and maximising")


# A second monitor right of the primary one; icewm's taskbar stays on the primary, so its work
# area is the whole monitor.
SECOND_MONITOR = (1920, 0, 1600, 900)


@case(monitors=((0, 0, 1920, 1080), SECOND_MONITOR))
def test_game_keeps_its_place(c):
    g = Game(c)
    g.enter("S7")

    def wait_at(want, what):
        try:
            c.wait(lambda: tuple(c.x.geometry(g.window)) == want, 5, what)
        except Failure as e:
            raise Failure(f"{e}: expected {geometry_text(want)}, it is at {geometry_text(c.x.geometry(g.window))}") \
                from None

    def drag(start, by):
        """Drags from `start` (window coordinates) by `by`, as the player's mouse would."""
        x, y, _, _ = c.x.geometry(g.window)
        c.move(x + start[0], y + start[1])
        c.down()
        for step in (1, 2, 3):
            c.move(x + start[0] + by[0] * step // 3, y + start[1] + by[1] * step // 3)
        c.up()

    # Restored, moved by its title bar and made larger by its bottom right corner.
    g.click_title("max")
    wait_at(((1920 - 1300) // 2, (1080 - 37 - 820) // 2, 1300, 820), "the maximise button to restore")
    drag((300, 20), (-200, -60))
    wait_at((110, 51, 1300, 820), "the title bar to move the game window")
    drag((1299, 819), (100, 50))
    placed = (110, 51, 1400, 870)
    wait_at(placed, "the corner to size the game window")
    g.leave_by_return("the return button")
    g.enter("S8", at=placed)
    expect("_NET_WM_STATE_MAXIMIZED_HORZ" not in c.wm_states(g.window), "reopened, the game window is maximised")

    # Moved onto the second monitor and maximised there: it fills that monitor, in the next
    # game and after a new start (static.ini holds the place).
    drag((300, 20), (SECOND_MONITOR[0] + 100 - placed[0], 0))
    c.wait(lambda: c.x.geometry(g.window)[0] == SECOND_MONITOR[0] + 100, 5,
           "the title bar to move the game window onto the second monitor")
    on_second = tuple(c.x.geometry(g.window))  # where the window manager let it stay
    g.click_title("max")
    wait_at(SECOND_MONITOR, "the maximise button to maximise on the second monitor")
    g.leave_by_return("the return button")
    g.enter("S7", at=SECOND_MONITOR)
    g.leave_by_return("the return button")
    c.move_to_window_point(c.x.geometry(g.launcher)[:2], centre(layout().buttons["close"]))
    c.click()
    wait_box(c, g.client, EXIT_PROMPT_CAPTION)
    c.key("Return")
    g.client.wait_exit(10, "the client to end after the exit prompt")
    with open(os.path.join(g.client.folder, "static.ini"), encoding="utf-8") as f:
        ini = f.read()
    want = f"gameRect={on_second[0]},{on_second[1]},{on_second[0] + on_second[2]},{on_second[1] + on_second[3]}"
    expect(want in ini and "gameMax=1" in ini and f"uid={UID}" in ini,
           f"static.ini does not hold the place ({want}, gameMax=1) beside its keys:\n{ini}")
    g.client = c.start_client(folder=g.client.folder, label="restarted")
    g.launcher = c.launcher(g.client)
    g.wait_page("the launcher page after the new start")
    g.enter("S8", at=SECOND_MONITOR)
    g.click_title("max")
    wait_at(on_second, "the maximise button to restore on the second monitor")


@case
def test_game_payment_without_address(c):
    # A player that is no guest: the launcher page never called openPay, so the payment
    # button opens the payment site in the default browser.
    g = Game(c)
    g.enter("S8")
    since = last_seq(c)
    g.click_title("pay")
    want = [f"http://{g.host}/?g=dmor"]
    c.wait(lambda: c.desktop.browsed(), 5, "the default browser to be asked for the payment site")
    hold(c, 1, lambda: (expect(c.desktop.browsed() == want, f"the browser was asked for {c.desktop.browsed()}, "
                                                            f"expected {want}"),
                        expect(not g.side_windows(), "a window opened inside the client"),
                        expect(not requests(c, "/pay/", since), "the client loaded the payment page itself")))
    g.expect_playing("after the payment button")


def cache_files(folder):
    """Files under a folder: path -> (inode, change time), so that a file deleted and made
    again under the same name counts as another file."""
    out = {}
    for root, _, files in os.walk(folder):
        for f in files:
            p = os.path.join(root, f)
            try:
                st = os.lstat(p)
            except OSError:
                continue
            out[p] = (st.st_ino, st.st_ctime_ns)
    return out


@case
def test_game_clear_cache(c):
    g = Game(c)
    g.enter("S7")
    # The game page got a session cookie; its frame, loaded after it, carries it.
    frame = c.wait(lambda: requests(c, "/game/play/frame"), 5, "the game page's frame")[0]
    session = dict(p.strip().partition("=")[::2] for p in frame["cookie"].split(";") if "=" in p).get("lumo_session")
    expect(session, f"the game page's frame came without the lumo_session cookie: {frame['cookie']!r}")

    folder = os.path.join(c.env["XDG_CACHE_HOME"], "raduvove")
    records = os.path.join(folder, "WebKitCache")

    def cached():
        files = cache_files(folder)
        return files if any(p.startswith(records) and "/Records/" in p for p in files) else None
    before = c.wait(cached, 5, f"the engine to cache the pages in {records}")

    t0 = time.monotonic()
    g.click_title("clear")
    # A second press while it clears does nothing: one clearing, one message.
    g.click_title("clear")
    box = wait_box(c, g.client, CLEAR_CAPTION, timeout=10)
    took = time.monotonic() - t0
    expect(took >= 0.9, f"the message came {took:.2f} s after the click, before the clearing's 1 s pause")
    after = cache_files(folder)
    kept = sorted(p for p, ident in before.items() if after.get(p) == ident)
    expect(not kept, "files of the cache folder survived the clearing:\n  " + "\n  ".join(kept))
    stale = sorted(p for p in after if p in before and "/Records/" in p)
    expect(not stale, "cached pages are back in the cache folder after the clearing:\n  " + "\n  ".join(stale))

    c.key("Return")
    c.wait(lambda: not c.x.viewable(box), 5, "Return to close the message")
    hold(c, 1.5, lambda: expect(not c.find_named(CLEAR_CAPTION, g.client.pid),
                                "a second clearing message came: the second press cleared again"))
    g.expect_playing("after the clearing")

    # The cookie survived: the game page asked for again carries the same session.
    g.activate()
    since = last_seq(c)
    c.key("F9")
    got = c.wait(lambda: g.game_requests(since), 5, "F9 to load the game page again")[0]
    expect(f"lumo_session={session}" in got["cookie"],
           f"after the clearing the game page came with the cookies {got['cookie']!r}, "
           f"expected lumo_session={session}")


@case
def test_game_return(c):
    g = Game(c)
    w = g.enter("S7")

    # Cancel keeps the game, whether the question came from the return or the close button.
    for button in ("return", "close"):
        g.click_title(button)
        box = wait_box(c, g.client, EXIT_PROMPT_CAPTION)
        c.key("Escape")
        c.wait(lambda: not c.x.viewable(box), 5, f"Escape to close the question of the {button} button")
        hold(c, 1, lambda: g.expect_playing(f"after Escape on the question of the {button} button"))
        expect(tuple(c.x.geometry(w)) == WORK_AREA, f"the game window moved to {geometry_text(c.x.geometry(w))}")

    # OK leaves it: back to the launcher, whose page is loaded again.
    g.leave_by_return("Return on the question")

    # The next game opens maximised again.
    g.enter("S8")
    g.expect_playing("in the second game")


@case
def test_game_alt_f4(c):
    g = Game(c)
    g.enter("S7")
    since = last_seq(c)
    g.activate()
    c.key("alt+F4")
    g.wait_back_at_launcher(since, "Alt+F4 on the game window")
    expect(not c.find_named(EXIT_PROMPT_CAPTION, g.client.pid), "Alt+F4 on the game window asked a question")

    # The window manager's close (WM_DELETE_WINDOW) is a system close too.
    w = g.enter("S8")
    since = last_seq(c)
    r = subprocess.run(["wmctrl", "-i", "-c", hex(w)], env=c.env, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, timeout=10)
    expect(r.returncode == 0, f"wmctrl -c failed: {r.stderr.decode(errors='replace')}")
    g.wait_back_at_launcher(since, "the window manager's close")


@case
def test_game_bosskey_dialog(c):
    g = Game(c)
    w = g.enter("S7")
    g.click_title("bosskey")
    try:
        dlg = c.wait(lambda: g.side_windows(BOSSKEY_DLG), 5, "the boss-key dialog")[0]
    except Failure as e:
        raise Failure(f"{e}; windows:\n{c.describe_windows()}") from None
    dx, dy, _, _ = c.x.geometry(dlg)
    want = ((WORK_AREA[2] - BOSSKEY_DLG[0]) // 2, (WORK_AREA[3] - BOSSKEY_DLG[1]) // 2)
    expect((dx, dy) == want, f"the boss-key dialog is at {dx},{dy}, expected centred over the game at {want}")
    c.wait(lambda: c.x.active_window() == dlg, 5, "the boss-key dialog to become the active window")
    # The field has the focus: the new combination goes there.
    c.key("ctrl+alt+F11")
    c.move(dx + BOSSKEY_CONFIRM[0], dy + BOSSKEY_CONFIRM[1])
    c.click()
    c.wait(lambda: not exists(c, dlg), 5, "confirm to close the boss-key dialog")
    expect(not c.find_named("RaduVove", g.client.pid), "the key was refused (a message box came)")
    g.expect_playing("after the boss-key dialog")

    # F10 is no boss key any more; Ctrl+Alt+F11 is.
    c.key("F10")
    hold(c, 1, lambda: expect(c.x.viewable(w), "F10 still hides the game window"))
    c.key("ctrl+alt+F11")
    c.wait(lambda: not c.x.viewable(w), 3, "Ctrl+Alt+F11 to hide the game window")
    expect(not c.x.viewable(g.launcher), "Ctrl+Alt+F11 showed the launcher")
    c.key("ctrl+alt+F11")
    c.wait(lambda: c.x.viewable(w), 3, "Ctrl+Alt+F11 again to show the game window")
