#!/usr/bin/env python3
"""make run on a private desktop, after the launcher's pictures: plays on a server of the local
portal and takes pictures of the game window and of the VIP chat window.

    run_tour.py SHOTS_DIR PORTAL_PORT LAUNCHER_WINDOW CLIENT_DIR

The way there is the player's: a server entry of the launcher page opens the game window; the
tray icon calls the launcher back, whose 联系客服 button starts the customer service, and the
server entry sends the launcher away again; an agent of the portal writes, and the VIP button
in the game window's title bar opens the VIP window. Each step waits for what the player would
see; a step that does not come says which and stops the tour (exit status 1)."""
import json
import os
import subprocess
import sys
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness  # noqa: E402
import xwire  # noqa: E402
from cases_game import SERVERS, WORK_AREA  # noqa: E402
from cases_vip import AGENT, SHOWIM_POINT, VIP_SIZE, vip_button  # noqa: E402
from harness import CAPTION, layout_beside, use_layout  # noqa: E402

SERVER = "S7"


class Stop(Exception):
    pass


def xdo(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], check=True, timeout=10)
    time.sleep(0.15)


def click(x, y, double=False):
    xdo("mousemove", x, y)
    if double:
        xdo("click", "--repeat", 2, "--delay", 80, 1)
    else:
        xdo("click", 1)


def wait(what, predicate, timeout=15):
    v = xwire.wait_for(predicate, timeout, interval=0.1)
    if not v:
        raise Stop(f"{what} did not come within {timeout} s")
    print(f"run: {what}", flush=True)
    return v


def varied(d, rect):
    data = d.get_image(*rect).data
    return len(set(data[i:i + 3] for i in range(0, len(data), 4 * 97))) > 30


def shoot(rect, path):
    subprocess.run(["import", "-window", "root", "-crop", "{2}x{3}+{0}+{1}".format(*rect), "+repage", path],
                   check=True, timeout=20)
    print(f"run: screenshot {path}", flush=True)


def portal(port, path, **fields):
    data = urllib.parse.urlencode(fields).encode() if fields else None
    with harness._no_proxy.open(f"http://127.0.0.1:{port}{path}", data=data, timeout=10) as r:
        return r.read().decode("utf-8")


def tour(shots, port, launcher, client_dir):
    d = xwire.Display()
    lay = use_layout(layout_beside(client_dir))
    lx, ly, _, _ = d.geometry(launcher)
    web = (lx + lay.web_area[0], ly + lay.web_area[1])
    sx, sy = SERVERS[SERVER]

    def game_window():
        for w in d.descendants():
            if w != launcher and d.window_name(w) == CAPTION and d.viewable(w) \
                    and tuple(d.geometry(w)) == WORK_AREA:
                return w
        return None
    click(web[0] + sx, web[1] + sy)
    game = wait("the game window", game_window)
    page = (WORK_AREA[2] // 2 - 300, WORK_AREA[3] // 2 - 150, 600, 300)
    wait("the game page", lambda: varied(d, page))
    xwire.wait_still(d, WORK_AREA, 5)
    shoot(WORK_AREA, os.path.join(shots, "game.png"))

    # The launcher back through the tray icon, the customer service started from its page.
    icon = wait("the tray icon", lambda: next((w for w in d.descendants() if d.embedded(w) and d.viewable(w)
                                                and d.geometry(w)[2] > 1), None))
    ix, iy, iw, ih = d.geometry(icon)
    click(ix + iw // 2, iy + ih // 2, double=True)
    wait("the launcher over the game", lambda: d.viewable(launcher))
    page_area = web + lay.page_size
    wait("its page", lambda: varied(d, page_area))
    click(web[0] + SHOWIM_POINT[0], web[1] + SHOWIM_POINT[1])
    time.sleep(1)
    click(web[0] + sx, web[1] + sy)
    wait("the launcher to go away", lambda: not d.viewable(launcher))

    # An agent writes; the VIP button opens the chat.
    portal(port, "/cs/agent/status", name=AGENT, status="在线")
    sessions = wait("the chat session at the portal",
                    lambda: json.loads(portal(port, "/cs/agent/state")).get("sessions"))
    user = sessions[-1]["user"]
    portal(port, "/cs/agent/send", user=user, text=f"您好，我是客服 {AGENT}，请问有什么可以帮您？")
    gx, gy, gw, _ = d.geometry(game)
    # A guest's game window shows the binding button, and the VIP button left of it.
    bx, by, bw, bh = vip_button(gw, binding=not user or user.startswith("guest"))
    time.sleep(0.5)
    click(gx + bx + bw // 2, gy + by + bh // 2)

    def vip_window():
        for w in d.descendants():
            if d.viewable(w) and tuple(d.geometry(w)[2:]) == VIP_SIZE and game in d.prop_cardinals(w, "WM_TRANSIENT_FOR"):
                return w
        return None
    vip = wait("the VIP window", vip_window)
    vx, vy, vw, vh = d.geometry(vip)
    wait("its chat page", lambda: varied(d, (vx + 20, vy + 100, vw - 40, 300)))
    time.sleep(1)
    xwire.wait_still(d, (vx, vy, vw, vh), 5)
    shoot(WORK_AREA, os.path.join(shots, "game-vip.png"))
    shoot((vx, vy, vw, vh), os.path.join(shots, "vip.png"))


def main(argv):
    if len(argv) != 4:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        tour(argv[0], int(argv[1]), int(argv[2]), argv[3])
    except (Stop, harness.Failure, OSError, ValueError, KeyError, subprocess.SubprocessError) as e:
        print(f"run: the tour stopped: {e}", flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
