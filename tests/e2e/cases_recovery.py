"""Faults found from outside: the client recovers by itself (a game opened by a client link
that is left, page processes that die, a platform that is down at start, socket folders
left behind) and refuses what a page must not do (a flood of new windows, a local file as
the game's address)."""
import glob
import os
import signal
import subprocess
import time

from cases_game import WORK_AREA, Game, exists, hold, title_button
from cases_page import (PAGE_PATH, PAGE_QUERY, click_page, closed_port, last_seq, page_dialog, page_ini,
                        requests, start_portal, start_with_page, viewable_windows, wait_absent, wait_retrying,
                        web_area)
from harness import CAPTION, EXIT_PROMPT_CAPTION, Failure, case, child_processes, expect, wait_box

# The buttons a hostile launcher page offers (portal --hostile), in page coordinates: a row
# of 96x24 buttons from (300, 12), 6 px apart.
HOSTILE_POINTS = {"popup-storm": (348, 24), "open-file-game": (450, 24)}


def click_hostile(c, launcher, name):
    x, y, _, _ = web_area(c, launcher)
    px, py = HOSTILE_POINTS[name]
    c.move(x + px, y + py)
    c.click()


def game_windows(c, client, launcher):
    return [w for w in c.windows_of(client, CAPTION) if w != launcher and c.x.viewable(w)]


def web_processes(client):
    return child_processes(client.pid, "WebKitWebProcess")


def kill_all(pids):
    for pid in pids:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


def beacons(c, since=0):
    """The launcher page's reports of the API version it got (its frame's left out)."""
    return [e for e in requests(c, "/__beacon", since) if e["query"] == "api=1"]


# ---- a game opened by a client link, then left --------------------------------------------

def left_client_link_game(c, leave):
    """Opens the game by the launcher page's client link, leaves it with `leave(game window)`
    and checks that the launcher comes back and stays, with no game window opening again."""
    _, client, launcher, dlg = start_with_page(c)
    since = last_seq(c)
    click_page(c, launcher, "client-link")
    try:
        game = c.wait(lambda: next(iter(game_windows(c, client, launcher)), None), 10,
                      "the game window of the client link")
    except Failure as e:
        raise Failure(f"{e}; windows:\n{c.describe_windows()}\nrequests since the click: "
                      f"{[(r['path'], r['query']) for r in c.portal_log(since)]}") from None
    c.wait(lambda: tuple(c.x.geometry(game)) == WORK_AREA and not c.x.viewable(launcher), 10,
           "the game window over the work area and the launcher hidden")
    c.wait(lambda: c.x.active_window() == game, 5, "the game window to be the active window")

    leave(game)
    c.wait(lambda: not exists(c, game), 5, "the game window to go")
    c.wait(lambda: c.x.viewable(launcher), 5, "the launcher to come back")
    since = last_seq(c)

    def launcher_stays():
        expect(client.alive(), f"the client ended with code {client.proc.returncode}")
        again = game_windows(c, client, launcher)
        expect(not again, f"a game window opened again after the game was left: {[hex(w) for w in again]}; "
                          f"requests since: {[(r['path'], r['query']) for r in c.portal_log(since)]}")
        expect(c.x.viewable(launcher), "the launcher hid again after the game was left")
    hold(c, 4, launcher_stays)
    # The launcher's page was reloaded (its page is the client link's by now) and shows.
    got = [e["query"].replace("%20", " ") for e in requests(c, "/game/play/")]
    expect("server=S9&client = 1" in got, f"the client link's page was never loaded: {got}")
    expect(c.x.viewable(dlg), "the launcher's page dialog is not on the screen")


@case
def test_client_link_game_left_by_return(c):
    def leave(game):
        x, y, w, _ = c.x.geometry(game)
        bx, by = title_button("return", w)
        c.move(x + bx, y + by)
        c.click()
        wait_box(c, c.clients[0], EXIT_PROMPT_CAPTION)
        c.key("Return")
    left_client_link_game(c, leave)


@case
def test_client_link_game_left_by_alt_f4(c):
    left_client_link_game(c, lambda game: c.key("alt+F4"))


@case
def test_client_link_game_left_by_window_manager(c):
    def leave(game):
        r = subprocess.run(["wmctrl", "-i", "-c", hex(game)], env=c.env, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=10)
        expect(r.returncode == 0, f"wmctrl -c failed: {r.stderr.decode(errors='replace')}")
    left_client_link_game(c, leave)


# ---- page processes that die ------------------------------------------------------------------

@case
def test_launcher_page_process_killed(c):
    _, client, launcher, dlg = start_with_page(c)
    c.wait(lambda: beacons(c), 5, "the launcher page's report of the API version")
    pids = web_processes(client)
    expect(pids, "the client has no web process")
    since = last_seq(c)
    t0 = time.monotonic()
    kill_all(pids)
    # Within a few seconds: the launcher page asked for again, and its bridge answering
    # (the page reports the API version 1 it got through window.external).
    try:
        c.wait(lambda: beacons(c, since), 5, "the launcher page to come back with a working bridge")
    except Failure as e:
        raise Failure(f"{e}; requests since the kill: {[(r['path'], r['query']) for r in c.portal_log(since)]}")
    took = time.monotonic() - t0
    print(f"launcher page back {1000 * took:.0f} ms after its web process was killed", flush=True)
    got = [e["query"] for e in requests(c, PAGE_PATH, since)]
    expect(got == [PAGE_QUERY], f"the launcher page was requested {got} since the kill, expected once")
    expect(client.alive(), f"the client ended with code {client.proc.returncode}")
    expect(c.x.viewable(launcher) and c.x.viewable(dlg), "the launcher or its page left the screen")
    expect(not set(web_processes(client)) & set(pids), "the killed web process is still there")

    # The page works: its links still reach the default browser.
    click_page(c, launcher, "news-link")
    c.wait(lambda: c.desktop.browsed(), 5, "the news link of the page that came back")


@case
def test_launcher_page_process_killed_while_playing(c):
    g = Game(c)
    launcher_pids = web_processes(g.client)
    expect(launcher_pids, "the client has no web process")
    g.enter("S7")
    since = last_seq(c)
    kill_all(launcher_pids)
    # The hidden launcher page comes back at once, and from the portal (not from a cache).
    try:
        c.wait(lambda: requests(c, PAGE_PATH, since), 5, "the launcher page to be asked for again")
    except Failure as e:
        raise Failure(f"{e}; requests since the kill: {[(r['path'], r['query']) for r in c.portal_log(since)]}")
    c.wait(lambda: beacons(c, since), 5, "the launcher page's bridge to answer again")
    g.expect_playing("after the launcher page's process was killed")

    # Leaving the game reloads the launcher page from the portal once more.
    since = last_seq(c)
    g.click_title("return")
    wait_box(c, g.client, EXIT_PROMPT_CAPTION)
    c.key("Return")
    g.wait_back_at_launcher(since, "Return on the question after the launcher page's process died")


@case
def test_game_page_process_killed(c):
    g = Game(c)
    before = set(web_processes(g.client))
    g.enter("S8")
    game_pids = [p for p in web_processes(g.client) if p not in before]
    expect(game_pids, f"no web process of the game page (web processes: {web_processes(g.client)})")
    since = last_seq(c)
    kill_all(game_pids)
    try:
        c.wait(lambda: g.game_requests(since), 5, "the game page to be asked for again")
    except Failure as e:
        raise Failure(f"{e}; requests since the kill: {[(r['path'], r['query']) for r in c.portal_log(since)]}")
    g.expect_playing("after the game page's process was killed")


# ---- a platform that is down at start ------------------------------------------------------

@case
def test_portal_up_after_start(c):
    port = closed_port()
    client = c.start_client(ini=page_ini(f"127.0.0.1:{port}"))
    t0 = time.monotonic()
    launcher = c.launcher(client)
    lx, ly, _, _ = c.x.geometry(launcher)

    # The black web area says what goes on, in the skin's gold: that it cannot reach the
    # platform and tries again (perhaps after a moment of "connecting").
    wait_retrying(c, client, launcher, 10)
    c.wait_still((lx, ly, 1290, 704), 5, "the launcher")
    c.save(c.screenshot((lx, ly, 1290, 704)), "status-line.png")
    d = page_dialog(c, client, launcher)
    expect(not (d and c.x.viewable(d)), "the page dialog showed although its page could not be loaded")

    # The platform comes up 10 s after the start, on the port the client was pointed at.
    time.sleep(max(0.0, 10 - (time.monotonic() - t0)))
    expect(client.alive(), f"the client ended with code {client.proc.returncode}")
    expect(start_portal(c, port=port) == f"127.0.0.1:{port}", "the portal did not start on the port")
    up = time.monotonic()

    def shown():
        expect(client.alive(), f"the client ended with code {client.proc.returncode}")
        d = page_dialog(c, client, launcher)
        return d if d and c.x.viewable(d) else None
    try:
        dlg = c.wait(shown, 25, "the page dialog to show without a restart")
    except Failure as e:
        raise Failure(f"{e}; requests: {[(r['path'], r['query']) for r in c.portal_log()]}") from None
    print(f"page shown {time.monotonic() - up:.1f} s after the portal came up, "
          f"{time.monotonic() - t0:.1f} s after the start", flush=True)
    expect(tuple(c.x.geometry(dlg)) == web_area(c, launcher), "the page dialog is not over the web area")
    got = [e["query"] for e in requests(c, PAGE_PATH)]
    expect(got == [PAGE_QUERY], f"the portal was asked for the launcher page {got}, expected once")
    # The page that came late has its bridge like any other.
    c.wait(lambda: beacons(c), 5, "the launcher page's report of the API version")


# ---- pages that ask for what no page should have ------------------------------------------

@case
def test_popup_storm_reaches_the_browser_a_few_times(c):
    _, client, launcher, dlg = start_with_page(c, "--hostile")
    # One click, whose script asks for 200 new windows.
    click_hostile(c, launcher, "popup-storm")
    c.wait(lambda: c.desktop.browsed(), 5, "the default browser to be asked once")
    wait_absent(c, 2, lambda: expect(len(c.desktop.browsed()) == 1,
                                     f"one click reached the default browser {len(c.desktop.browsed())} times"))
    # Click after click: no more than three within ten seconds.
    for _ in range(4):
        click_hostile(c, launcher, "popup-storm")
    wait_absent(c, 2, lambda: expect(len(c.desktop.browsed()) <= 3,
                                     f"five clicks reached the default browser {len(c.desktop.browsed())} times"))
    expect(c.desktop.browsed()[0].startswith(f"http://{web_host(c)}/news/"),
           f"the browser was asked for {c.desktop.browsed()[:3]}")
    refused = [l for l in client.stderr_text().splitlines() if "default browser refused" in l]
    expect(len(refused) >= 199, f"{len(refused)} refusals were logged on standard error, expected at least 199")
    expect(client.alive() and c.x.viewable(dlg), "the client or its page went")


def web_host(c):
    return f"127.0.0.1:{c.portal_port}"


@case
def test_hostile_page_opens_no_game(c):
    _, client, launcher, dlg = start_with_page(c, "--hostile")
    # The page frames an advertisement of another site: it sees no window.external (its
    # OpenGame on an address of its own opens nothing), and the refusal is logged.
    ad = c.wait(lambda: [e["query"] for e in requests(c, "/__beacon") if e["query"].startswith("ad=")], 10,
                "the advertisement frame's report")
    expect(ad == ["ad=undefined&open=no"], f"the advertisement frame reported {ad}: it reached the script bridge")
    expect(any("script bridge refused" in l and "localhost" in l for l in client.stderr_text().splitlines()),
           "the refused frame was not logged on standard error")
    before = viewable_windows(c, client)
    click_hostile(c, launcher, "open-file-game")

    def nothing_opened():
        expect(client.alive(), f"the client ended with code {client.proc.returncode}")
        after = viewable_windows(c, client)
        expect(after == before, f"the client's windows changed: {sorted(map(hex, before))} -> "
                                f"{sorted(map(hex, after))}")
        expect(c.x.viewable(launcher), "the launcher hid")
        expect(not c.desktop.browsed(), f"the default browser was asked for {c.desktop.browsed()}")
    wait_absent(c, 2.5, nothing_opened)
    expect(any("OpenGame refused" in l for l in client.stderr_text().splitlines()),
           "the refusal was not logged on standard error")
    # A real server still opens the game.
    x, y, _, _ = web_area(c, launcher)
    c.move(x + 388, y + 120)  # the server S8
    c.click()
    c.wait(lambda: game_windows(c, client, launcher), 10, "the game window of a server of the list")


# ---- socket folders left behind -----------------------------------------------------------------

@case
def test_killed_clients_bridge_folder_is_swept(c):
    runtime = c.env["XDG_RUNTIME_DIR"]

    def folders():
        return sorted(glob.glob(os.path.join(runtime, "raduvove-*")))
    host = start_portal(c)
    first = c.start_client(ini=page_ini(host), label="killed")
    launcher = c.launcher(first)
    c.wait(lambda: (d := page_dialog(c, first, launcher)) and c.x.viewable(d), 15, "the first client's page")
    left = folders()
    expect(len(left) == 1, f"bridge folders of the first client: {left}")
    first.proc.kill()
    first.wait_exit(5)
    c.wait(lambda: not child_processes(first.pid, "WebKitWebProcess"), 10, "the killed client's engine to end")
    expect(folders() == left, f"the killed client's folder went by itself: {folders()}")
    # Another client, a moment later, sweeps it away and keeps its own.
    time.sleep(2.5)
    second = c.start_client(ini=page_ini(host), label="next")
    launcher2 = c.launcher(second)
    c.wait(lambda: (d := page_dialog(c, second, launcher2)) and c.x.viewable(d), 15, "the second client's page")
    now = folders()
    expect(left[0] not in now and len(now) == 1, f"bridge folders now: {now} (the killed client's: {left[0]})")
    expect(os.path.exists(os.path.join(now[0], "bridge")), f"the new client's socket is missing in {now[0]}")
