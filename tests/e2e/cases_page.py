"""The launcher's page dialog with the local portal: when it shows and where, the script
bridge as the page sees it, links that leave the page, the client link, no context menu and
the keys the page must not act on."""
import socket
import time

import xwire
from harness import (CAPTION, EXIT_PROMPT_CAPTION, LAUNCHER_H, LAUNCHER_W, Failure, case, centre, expect, layout,
                     wait_box)

HOST_KEYS = ("portal", "game", "pay", "forum", "cs")
UID, SUID = "u4711", "s0815"
PAGE_PATH = "/game/s/dmor/"
PAGE_QUERY = f"uid={UID}&suid={SUID}"

# Points of the launcher page, in page coordinates. The page's style sheet places everything
# at fixed positions and sizes (the link texts are four full-width characters of 11 px), so
# these follow from it; they were checked on a screenshot of the client.
PAGE_POINTS = {
    "client-link": (128, 149),  # the S9 link written with "client = 1": 21..235 x 137..161
    "news-link": (50, 278),     # 官网公告, target=_blank: 21..79 x 268..288
    "file-link": (174, 278),    # 本地说明, file:///etc/hostname, target=_blank: 145..203 x 268..288
    "blank": (120, 320),        # the empty foot of the left panel: no link, no tool tip
}
# The server list: no animation, no text that changes by itself.
STILL_AREA = (254, 60, 500, 280)


def page_ini(host):
    return (f"[dmor]\nstart=1\nuid={UID}\nfilename={SUID}\n[hosts]\n"
            + "".join(f"{k}={host}\n" for k in HOST_KEYS))


def start_portal(c, *args, **kw):
    port = c.start_portal(*args, **kw)
    if not port:
        raise Failure("these cases need the local portal (run_e2e.py --portal PATH)")
    return f"127.0.0.1:{port}"


def closed_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def page_dialog(c, client, launcher):
    """The page dialog: the client's window without a caption that belongs to the launcher
    (transient for it); None while it has no X window."""
    for w in c.windows_of(client, ""):
        if launcher in c.x.prop_cardinals(w, "WM_TRANSIENT_FOR"):
            return w
    return None


def viewable_windows(c, client):
    return {w for w in c.windows_of(client) if c.x.viewable(w)}


def expect_same_windows(c, client, before, what):
    after = viewable_windows(c, client)
    expect(after == before, f"{what}: the client's windows on the screen changed: "
                            f"{sorted(map(hex, before))} -> {sorted(map(hex, after))}")


def web_area(c, launcher):
    """Where the page belongs on the screen: the launcher's web area."""
    x, y, _, _ = c.x.geometry(launcher)
    left, top, _, _ = layout().web_area
    return (x + left, y + top) + layout().page_size


def geometry_text(g):
    return f"{g[2]}x{g[3]}+{g[0]}+{g[1]}"


def gold(rgb):
    r, g, b = rgb
    return r >= 150 and g >= 100 and b <= 150 and r > b + 60


def gold_pixels(img):
    """Pixels of a picture in the skin's gold (the status line's text and ornaments)."""
    return sum(1 for y in range(img.height) for x in range(img.width) if gold(img.pixel(x, y)))


def gold_columns(img):
    """How wide the gold of a picture is: its first and last column holding gold."""
    cols = [x for x in range(img.width) if any(gold(img.pixel(x, y)) for y in range(img.height))]
    return (cols[0], cols[-1]) if cols else None


# The status line in the middle band of the web area (588 px wide, centred): the line that it
# connects spans about columns 180..408 of it, the longer one that it tries again 120..467.
RETRYING_LEFT_BELOW = 150


def wait_retrying(c, client, launcher, timeout):
    """Waits until the launcher's web area says, in its status line, that the launcher page
    could not be loaded and is asked for again."""
    lx, ly, _, _ = c.x.geometry(launcher)
    left, top, right, _ = layout().web_area
    middle = (lx + left + 100, ly + top + 170, right - left - 200, 47)  # the middle band of the web area

    def retrying(im):
        span = gold_columns(im)
        return gold_pixels(im) >= 150 and span and span[0] < RETRYING_LEFT_BELOW
    try:
        c.wait_pixels(middle, retrying, timeout, "the status line that the client tries again")
    except Failure as e:
        raise Failure(f"{e}\nclient stderr:\n{client.stderr_text()[-1500:]}") from None


def wait_over_web_area(c, launcher, dlg, timeout, what):
    try:
        c.wait(lambda: c.x.viewable(dlg) and tuple(c.x.geometry(dlg)) == web_area(c, launcher), timeout, what)
    except Failure as e:
        raise Failure(f"{e}; the page dialog is at {geometry_text(c.x.geometry(dlg))} (viewable: "
                      f"{c.x.viewable(dlg)}), the web area at {geometry_text(web_area(c, launcher))}") from None


def start_with_page(c, *portal_args):
    """Portal, client and its launcher with the page shown and drawn; answers
    (host, client, launcher, page dialog)."""
    host = start_portal(c, *portal_args)
    client = c.start_client(ini=page_ini(host))
    launcher = c.launcher(client)

    def shown():
        d = page_dialog(c, client, launcher)
        return d if d and c.x.viewable(d) else None
    dlg = c.wait(shown, 15, "the page dialog to show")
    wait_over_web_area(c, launcher, dlg, 2, "the page dialog over the launcher's web area")
    x, y, _, _ = web_area(c, launcher)
    c.wait_still((x + STILL_AREA[0], y + STILL_AREA[1], STILL_AREA[2], STILL_AREA[3]), 5, "the page")
    return host, client, launcher, dlg


def click_page(c, launcher, point, button=1):
    x, y, _, _ = web_area(c, launcher)
    px, py = PAGE_POINTS[point]
    c.move(x + px, y + py)
    c.click(button)


def requests(c, path, since=0):
    return [e for e in c.portal_log(since) if e["path"] == path]


def last_seq(c):
    log = c.portal_log()
    return log[-1]["seq"] if log else 0


def wait_absent(c, seconds, check):
    """Polls for a while that something does not happen; check() raises Failure if it did."""
    deadline = time.monotonic() + seconds
    while True:
        check()
        if time.monotonic() >= deadline:
            return
        time.sleep(0.05)


@case
def test_page_appears_after_load(c):
    # Every page of the portal answers 1.5 s late: the launcher page, then its news frame.
    host = start_portal(c, "--slow-ms", 1500)
    client = c.start_client(ini=page_ini(host))
    launcher = None
    launcher_alone = False  # the launcher was seen on the screen without its page
    frame_seen = None
    deadline = time.monotonic() + 20
    while True:
        if not client.alive():
            raise Failure(f"the client ended with code {client.proc.returncode}")
        now = time.monotonic()
        if launcher is None:
            launcher = next(iter(c.windows_of(client, CAPTION)), None)
        launcher_up = launcher is not None and c.x.viewable(launcher)
        dlg = page_dialog(c, client, launcher) if launcher else None
        if dlg and c.x.viewable(dlg):
            break
        launcher_alone = launcher_alone or launcher_up
        if frame_seen is None and requests(c, "/game/s/dmor/frame"):
            frame_seen = now
        if now >= deadline:
            raise Failure(f"the page dialog did not show within 20 s; windows:\n{c.describe_windows()}")
        time.sleep(0.02)
    shown_at = time.monotonic()
    geometry = tuple(c.x.geometry(dlg))
    expect(launcher_alone, "the page dialog showed together with the launcher, before its page had loaded")
    # The frame is asked for once the page has come, and its answer takes 1.5 s more; the
    # first load completes with its frames.
    expect(frame_seen is not None, "the page dialog showed before the page's news frame was even asked for")
    expect(shown_at - frame_seen >= 1.2,
           f"the page dialog showed {shown_at - frame_seen:.2f} s after the news frame was asked for, "
           f"whose answer takes 1.5 s: before the page had loaded")
    want = web_area(c, launcher)
    expect(geometry == want, f"the page dialog showed at {geometry_text(geometry)}, "
                             f"not over the web area {geometry_text(want)}")
    got = [(e["path"], e["query"]) for e in requests(c, PAGE_PATH)]
    expect(got == [(PAGE_PATH, PAGE_QUERY)],
           f"launcher page requests {got}, expected one with uid and suid from static.ini ({PAGE_QUERY})")


@case
def test_page_loaded_while_minimised(c):
    # The page comes while the launcher is minimised; restoring the launcher brings it.
    c.env["RV_TRACE"] = "1"
    host = start_portal(c, "--slow-ms", 2000)
    client = c.start_client(ini=page_ini(host))
    launcher = c.launcher(client)
    lx, ly, _, _ = c.x.geometry(launcher)
    c.move_to_window_point((lx, ly), centre(layout().buttons["min"]))
    c.click()
    c.wait(lambda: c.iconic(launcher) and not c.x.viewable(launcher), 5, "the launcher to be iconified")
    expect(not any("load finished" in l for l in client.stderr_text().splitlines()),
           "the launcher page had loaded before the launcher was minimised: nothing is tested")
    c.wait(lambda: any("load finished" in l for l in client.stderr_text().splitlines()), 20,
           "the launcher page to load while the launcher is minimised")
    _, (tx, ty, tw, th) = c.tray_icon(client)
    c.move(tx + tw // 2, ty + th // 2)
    c.double_click()
    c.wait(lambda: c.x.viewable(launcher) and not c.iconic(launcher), 5, "the launcher to come back")
    dlg = c.wait(lambda: page_dialog(c, client, launcher), 5, "the page dialog's window")
    wait_over_web_area(c, launcher, dlg, 5, "the page to show over the restored launcher")


@case
def test_portal_down(c):
    client = c.start_client(ini=page_ini(f"127.0.0.1:{closed_port()}"))
    launcher = c.launcher(client)
    t0 = time.monotonic()
    # The failed page load blocks nothing: the boss key answers at once. (Once the load has
    # failed, that is: before, the browser engine starts, which takes the UI thread for a
    # while, more than a second on a loaded machine.)
    wait_retrying(c, client, launcher, 10)
    c.key("F10")
    c.wait(lambda: not c.x.viewable(launcher), 1, "the launcher to hide on F10")
    c.key("F10")
    c.wait(lambda: c.x.viewable(launcher), 1, "the launcher to come back on F10")

    def no_page():
        expect(client.alive(), f"the client ended with code {client.proc.returncode}")
        d = page_dialog(c, client, launcher)
        expect(not (d and c.x.viewable(d)), "the page dialog showed although its page could not be loaded")
    wait_absent(c, max(2.0, 5 - (time.monotonic() - t0)), no_page)
    expect(c.x.viewable(launcher), "the launcher is gone")


@case
def test_api_version(c):
    start_with_page(c)

    def beacons():
        found = requests(c, "/__beacon")
        return found if len(found) >= 2 else None
    try:
        found = c.wait(beacons, 5, "the reports of the launcher page and its frame")
    except Failure as e:
        raise Failure(f"{e}; requests: {[(r['path'], r['query']) for r in c.portal_log()]}") from None
    by_query = {e["query"]: e for e in found}
    top, frame = by_query.get("api=1"), by_query.get("api=1&frame=1")
    expect(top and frame and len(found) == 2,
           f"window.external.WD_JAPI('getApiVersion') as the page and its frame saw it: "
           f"{[e['query'] for e in found]}, expected api=1 from each")
    expect(top["referer"].endswith(f"{PAGE_PATH}?{PAGE_QUERY}"), f"api=1 came from {top['referer']!r}")
    expect(frame["referer"].endswith("/game/s/dmor/frame"), f"api=1&frame=1 came from {frame['referer']!r}")


@case
def test_blank_target_link(c):
    host, client, launcher, _ = start_with_page(c)
    before = viewable_windows(c, client)
    since = last_seq(c)
    want = [f"http://{host}/news/1"]
    click_page(c, launcher, "news-link")
    try:
        c.wait(lambda: c.desktop.browsed(), 5, "the default browser to be asked for the news page")
    except Failure as e:
        raise Failure(f"{e}; the page dialog's requests since: {c.portal_log(since)}") from None
    # A local file is no web address: nothing opens it (the fake browser would log it).
    click_page(c, launcher, "file-link")
    wait_absent(c, 1, lambda: expect(c.desktop.browsed() == want,
                                      f"the browser was asked for {c.desktop.browsed()}, expected {want}"))
    # Nothing was loaded in a window of the client's own, and the page stayed.
    got = [(e["path"], e["query"]) for e in c.portal_log(since)]
    expect(not got, f"the client itself requested {got}")
    expect_same_windows(c, client, before, "after the two links")


@case
def test_client_link_blanks(c):
    _, client, launcher, dlg = start_with_page(c)
    before = viewable_windows(c, client)
    since = last_seq(c)
    click_page(c, launcher, "client-link")

    def served():
        for e in requests(c, "/game/play/", since):
            if e["query"].replace("%20", " ") == "server=S9&client = 1":
                return e
        return None
    try:
        c.wait(served, 5, "the request of the client link (the navigation is not cancelled)")
    except Failure as e:
        raise Failure(f"{e}; requests since the click: {c.portal_log(since)}") from None
    # The link asked for the game before the request went out. Whether a game window could
    # be made decides what the launcher does: hidden behind the game window, or unchanged.
    deadline = time.monotonic() + 1
    while c.x.viewable(launcher) and time.monotonic() < deadline:
        time.sleep(0.05)
    if not c.x.viewable(launcher):
        expect(not c.x.viewable(dlg), "the launcher hid but its page dialog stayed on the screen")
        try:
            c.wait(lambda: viewable_windows(c, client) - before, 5, "the game window")
        except Failure as e:
            raise Failure(f"the launcher hid and no game window came: {e}") from None
    else:
        expect_same_windows(c, client, before, "the launcher stayed, so no game window was made")
        wait_over_web_area(c, launcher, dlg, 1, "the page dialog to stay over the web area")
    expect(client.alive(), f"the client ended with code {client.proc.returncode}")


@case
def test_follows_drag(c):
    _, client, launcher, dlg = start_with_page(c)
    x0, y0, _, _ = c.x.geometry(launcher)
    grip = (520, 150)  # skin between the official-site and the payment button

    def launcher_at(x, y):
        want = (x, y, LAUNCHER_W, LAUNCHER_H)
        try:
            c.wait(lambda: tuple(c.x.geometry(launcher)) == want, 5, f"the launcher at {geometry_text(want)}")
        except Failure as e:
            raise Failure(f"{e}; it is at {geometry_text(c.x.geometry(launcher))}") from None

    c.move(x0 + grip[0], y0 + grip[1])
    c.down()
    c.move(x0 + grip[0] + 60, y0 + grip[1] + 30)
    # Mid-drag the page is already where the launcher is.
    launcher_at(x0 + 60, y0 + 30)
    wait_over_web_area(c, launcher, dlg, 2, "the page dialog to follow the launcher during the drag")
    c.move(x0 + grip[0] + 120, y0 + grip[1] + 60)
    c.up()
    launcher_at(x0 + 120, y0 + 60)
    wait_over_web_area(c, launcher, dlg, 2, "the page dialog to follow the launcher to (+120, +60)")

    c.key("F10")
    c.wait(lambda: not c.x.viewable(launcher) and not c.x.viewable(dlg), 3,
           "the launcher and its page to hide on F10")
    c.key("F10")
    c.wait(lambda: c.x.viewable(launcher), 3, "the launcher to come back on F10")
    launcher_at(x0 + 120, y0 + 60)
    wait_over_web_area(c, launcher, dlg, 3, "the page dialog to come back with the launcher, over its web area")


@case
def test_no_context_menu(c):
    _, client, launcher, _ = start_with_page(c)
    before = viewable_windows(c, client)
    c.x.select_input(c.x.root, xwire.SUBSTRUCTURE_NOTIFY)
    c.x.sync()

    def mapped(seconds):
        got = []
        deadline = time.monotonic() + seconds
        while True:
            ev = c.x.next_event(max(0.0, deadline - time.monotonic()))
            if ev is None:
                return got
            if ev.code == xwire.MAP_NOTIFY and ev.event == c.x.root:
                got.append(ev)

    # The watch sees menus: a right click on the bare desktop opens the window manager's.
    lx, ly, _, _ = c.x.geometry(launcher)
    expect(lx > 120 and ly > 120, f"no bare desktop left of and above the launcher at {lx},{ly}")
    c.move(60, 60)
    c.click(3)
    menus = [e.window for e in mapped(2) if e.override]
    expect(menus, "a right click on the desktop mapped no menu: the watch would see none")
    c.key("Escape")
    c.wait(lambda: not any(c.x.viewable(m) for m in menus), 3, "the desktop menu to close")
    mapped(0.3)

    click_page(c, launcher, "blank", button=3)
    got = mapped(1)
    expect(not got, "a right click in the page mapped "
           + ", ".join(f"{e.window:#x} {c.x.window_name(e.window)!r} (override-redirect {e.override})"
                       for e in got))
    expect_same_windows(c, client, before, "after the right click in the page")


def focus_page(c, launcher, dlg):
    click_page(c, launcher, "blank")
    try:
        c.wait(lambda: c.x.active_window() == dlg, 5, "the page dialog to become the active window")
    except Failure as e:
        a = c.x.active_window()
        raise Failure(f"{e}; the active window is {a:#x} {c.x.window_name(a)!r}") from None


def alt_f4_asks(c, client, launcher, dlg, page_intact):
    """Alt+F4 in the page asks about quitting: Escape keeps everything, Return ends the client."""
    focus_page(c, launcher, dlg)
    c.key("alt+F4")
    d = wait_box(c, client, EXIT_PROMPT_CAPTION)
    c.key("Escape")
    c.wait(lambda: not c.x.viewable(d), 5, "the exit prompt to close on Escape")
    page_intact()

    focus_page(c, launcher, dlg)
    c.key("alt+F4")
    wait_box(c, client, EXIT_PROMPT_CAPTION)
    c.key("Return")
    rc = client.wait_exit(5, "the client to end after Return on the exit prompt")
    expect(rc == 0, f"the client ended with code {rc}, expected 0")


@case
def test_escape_f5(c):
    _, client, launcher, dlg = start_with_page(c)

    def page_intact():
        expect(client.alive(), f"the client ended with code {client.proc.returncode}")
        expect(c.x.viewable(launcher), "the launcher is gone")
        expect(c.x.viewable(dlg), "the page dialog is gone")
        n = len(requests(c, PAGE_PATH))
        expect(n == 1, f"the launcher page was requested {n} times: the page reloaded")

    focus_page(c, launcher, dlg)
    c.key("Escape")
    c.key("F5")
    wait_absent(c, 1.5, page_intact)
    alt_f4_asks(c, client, launcher, dlg, page_intact)


@case(wm_close_key=True)
def test_alt_f4_taken_by_the_window_manager(c):
    # On a desktop whose window manager closes the active window on Alt+F4 (as most do), the
    # key never reaches the client: the window manager asks the page dialog to close instead.
    _, client, launcher, dlg = start_with_page(c)

    def page_intact():
        expect(client.alive(), f"the client ended with code {client.proc.returncode}")
        expect(c.x.viewable(launcher) and c.x.viewable(dlg), "the launcher or its page is gone")
    alt_f4_asks(c, client, launcher, dlg, page_intact)
