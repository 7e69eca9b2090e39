"""The launcher window: placement, pixels, hover, dragging, click-through, links, the exit
prompt and minimising."""
import socket

import xwire

from harness import (CAPTION, EXIT_PROMPT_CAPTION, LAUNCHER_H, LAUNCHER_W, LAUNCHER_X, LAUNCHER_Y, Failure,
                     case, centre, expect, layout, skin_rgba)

CORNERS = [(0, 0), (LAUNCHER_W - 1, 0), (0, LAUNCHER_H - 1), (LAUNCHER_W - 1, LAUNCHER_H - 1)]
HOST_KEYS = ("portal", "game", "pay", "forum", "cs")
# Skin points outside every button and the page area, where the background shows.
SKIN_POINTS = [(520, 150), (700, 120), (250, 400), (1180, 400), (645, 640), (120, 600)]


def on_screen(origin, point):
    return origin[0] + point[0], origin[1] + point[1]


def near(a, b, tol):
    return all(abs(x - y) <= tol for x, y in zip(a, b))


def expect_geometry(c, w, want, what):
    got = c.x.geometry(w)
    expect(tuple(got) == tuple(want), f"{what}: the launcher is at {got[2]}x{got[3]}+{got[0]}+{got[1]}, "
                                      f"expected {want[2]}x{want[3]}+{want[0]}+{want[1]}")


def wait_geometry(c, w, want, timeout, what):
    try:
        c.wait(lambda: tuple(c.x.geometry(w)) == tuple(want), timeout, what)
    except Failure as e:
        g = c.x.geometry(w)
        raise Failure(f"{e}; the launcher is at {g[2]}x{g[3]}+{g[0]}+{g[1]}") from None


def transparent_corners(c):
    rgba = skin_rgba(c.cfg, "149.png", CORNERS)
    corners = [p for p in CORNERS if rgba[p][3] == 0]
    expect(corners, f"the background picture has no fully transparent corner: {rgba}")
    return corners


_opaque = {}


def opaque_skin_points(c):
    if _opaque:
        return dict(_opaque)
    rgba = skin_rgba(c.cfg, "149.png", SKIN_POINTS)
    points = {p: v[:3] for p, v in rgba.items() if v[3] == 255}
    expect(len(points) >= 2 and SKIN_POINTS[0] in points,
           f"too few opaque background points to compare: {rgba}")
    _opaque.update(points)
    return points


def wait_drawn(c, origin):
    """The launcher's picture is on the screen: an opaque point of the background shows the
    picture's colour."""
    p, rgb = next(iter(opaque_skin_points(c).items()))
    x, y = on_screen(origin, p)
    c.wait_pixels((x, y, 1, 1), lambda img: near(img.pixel(0, 0), rgb, 3), 5,
                  f"the launcher's background colour {rgb} at {x},{y}")


def neutral_point(c):
    """An opaque point of the skin outside the buttons and the page area."""
    return [p for p in opaque_skin_points(c) if p != SKIN_POINTS[0]][0]


@case
def test_window_and_pixels(c):
    bare = c.screenshot()
    c.save(bare, "bare-desktop.png")
    # The platform answers no request (its port takes connections and never replies): the
    # launcher's page never loads, so its page window stays hidden.
    silent = socket.socket()
    silent.bind(("127.0.0.1", 0))
    silent.listen(16)
    c.on_close(silent.close)
    host = f"127.0.0.1:{silent.getsockname()[1]}"
    client = c.start_client(ini="[hosts]\n" + "".join(f"{k}={host}\n" for k in HOST_KEYS))
    w = c.launcher(client)
    expect(c.x.window_name(w) == CAPTION, f"caption {c.x.window_name(w)!r}, expected {CAPTION!r}")
    want = (LAUNCHER_X, LAUNCHER_Y, LAUNCHER_W, LAUNCHER_H)
    expect_geometry(c, w, want, "centred on the 1920x1080 screen")
    origin = (LAUNCHER_X, LAUNCHER_Y)
    wait_drawn(c, origin)
    # No page has loaded: the page area is the skin's own opaque black.
    x, y = on_screen(origin, (layout().web_area[0] + 5, layout().web_area[1] + 5))
    c.wait_pixels((x, y, 1, 1), lambda img: near(img.pixel(0, 0), (0, 0, 0), 8), 5,
                  f"the opaque black page area at {x},{y}")

    # The desktop shows through the skin's transparent corners, unchanged.
    for p in transparent_corners(c):
        sx, sy = on_screen(origin, p)
        want_px = bare.pixel(sx, sy)
        c.wait_pixels((sx, sy, 1, 1), lambda img: img.pixel(0, 0) == want_px, 3,
                      f"the desktop colour {want_px} through the transparent corner {p} (screen {sx},{sy})")

    # Opaque parts of the background show the picture's own colours (channel order, no
    # blending with what lies below).
    shot = c.screenshot()
    wrong = []
    for p, rgb in opaque_skin_points(c).items():
        got = shot.pixel(*on_screen(origin, p))
        if not near(got, rgb, 3):
            wrong.append(f"{p}: screen {got}, picture {rgb}")
    if wrong:
        raise Failure("the background is not drawn as in its picture:\n  " + "\n  ".join(wrong)
                      + f"\n(screenshot: {c.save(shot, 'launcher.png')})")


@case
def test_hover(c):
    client = c.start_client()
    w = c.launcher(client)
    origin = (LAUNCHER_X, LAUNCHER_Y)
    wait_drawn(c, origin)
    b = layout().buttons["official"]
    # The button's lowest rows lie under the page window: only the part above it is compared.
    rect = (origin[0] + b[0], origin[1] + b[1], b[2] - b[0], min(b[3], layout().web_area[1]) - b[1])
    # Start from a known state: the pointer on the skin, no button lit.
    away = neutral_point(c)
    c.move_to_window_point(origin, away)
    normal = c.screenshot(rect)
    c.move_to_window_point(origin, centre(b))
    c.wait_pixels(rect, lambda img: img.data != normal.data, 3,
                  "the official-site button to change when the pointer is on it")
    hover = c.wait_still(rect, 3, "the hover picture of the official-site button")
    # Another point of the same button keeps the hover picture.
    c.move_to_window_point(origin, (b[0] + 10, b[1] + 10))
    after = c.wait_still(rect, 3, "the official-site button after a move within it")
    if after.data != hover.data:
        raise Failure(f"moving within the button changed its picture ({c.save(hover, 'hover-entry.png')}, "
                      f"{c.save(after, 'hover-within.png')})")
    c.move_to_window_point(origin, away)
    c.wait_pixels(rect, lambda img: img.data == normal.data, 3,
                  "the official-site button to look as before once the pointer left it")
    expect(c.x.viewable(w), "the launcher disappeared")


@case
def test_drag_and_click_through(c):
    origin = (LAUNCHER_X, LAUNCHER_Y)
    corner = transparent_corners(c)[0]
    cx, cy = on_screen(origin, corner)
    # A window below the launcher's transparent corner that records the presses it gets.
    probe = c.x.create_window(cx - 4, cy - 4, 9, 9,
                              event_mask=xwire.BUTTON_PRESS_MASK | xwire.BUTTON_RELEASE_MASK)
    client = c.start_client()
    w = c.launcher(client)
    wait_drawn(c, origin)
    frame = c.x.toplevel_of(w)
    c.x.lower_window(probe)
    stack = c.x.query_tree(c.x.root)[1]
    expect(stack.index(frame) > stack.index(probe), "the launcher is not above the probe window")

    def drag(frm, dx, dy):
        x, y = frm
        c.move(x, y)
        c.down()
        c.move(x + dx // 2, y + dy // 2)
        c.move(x + dx, y + dy)
        c.up()

    # A press on a fully transparent pixel goes to the window below and drags nothing.
    drag((cx, cy), 100, 50)
    got = c.events_for(probe, {xwire.BUTTON_PRESS, xwire.BUTTON_RELEASE}, 2, 3)
    if len(got) < 2:
        c.move(cx, cy)
        raise Failure(f"a press and release at the transparent point {cx},{cy} did not reach the window "
                      f"below ({len(got)} of 2 events); under the pointer is {c.x.pointer_child():#x}, "
                      f"the launcher's top-level window is {frame:#x}")
    expect_geometry(c, w, origin + (LAUNCHER_W, LAUNCHER_H), "after a drag from a transparent point")

    # Any other point of the skin outside the buttons drags the window.
    grip = SKIN_POINTS[0]  # between the official-site and the payment button
    drag(on_screen(origin, grip), 100, 50)
    moved = (origin[0] + 100, origin[1] + 50)
    wait_geometry(c, w, moved + (LAUNCHER_W, LAUNCHER_H), 5, "the launcher to follow a drag by (100, 50)")
    drag(on_screen(moved, grip), -100, -50)
    wait_geometry(c, w, origin + (LAUNCHER_W, LAUNCHER_H), 5, "the launcher to follow a drag back")
    expect(client.alive(), "the client ended")


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


@case
def test_link_buttons(c):
    port = c.start_portal() or free_port()
    host = f"127.0.0.1:{port}"
    ini = "[hosts]\n" + "".join(f"{k}={host}\n" for k in HOST_KEYS)
    client = c.start_client(ini=ini)
    c.launcher(client)
    origin = (LAUNCHER_X, LAUNCHER_Y)
    wait_drawn(c, origin)

    def press_release(frm, to):
        c.move_to_window_point(origin, centre(layout().buttons[frm]))
        c.down()
        c.move_to_window_point(origin, centre(layout().buttons[to]) if to in layout().buttons else to)
        c.up()

    # Pressed on a button, released on the background: nothing opens.
    press_release("official", neutral_point(c))
    # Pressed on one link, released on another: the second opens.
    press_release("pay", "forum")
    for name in ("official", "pay", "service"):
        c.move_to_window_point(origin, centre(layout().buttons[name]))
        c.click()
    want = [f"http://{host}/forum.php?mod=forumdisplay&fid=177", f"http://{host}",
            f"http://{host}/?g=dmor", f"http://{host}/kefu/"]
    try:
        c.wait(lambda: len(c.desktop.browsed()) >= len(want), 5, f"{len(want)} addresses in the browser log")
    except Failure as e:
        raise Failure(f"{e}; the browser was asked for {c.desktop.browsed()}") from None
    got = c.desktop.browsed()
    expect(got == want, f"the browser was asked for {got}, expected {want}")


@case
def test_exit_prompt(c):
    client = c.start_client()
    w = c.launcher(client)
    origin = (LAUNCHER_X, LAUNCHER_Y)
    wait_drawn(c, origin)

    def open_prompt():
        c.move_to_window_point(origin, centre(layout().buttons["close"]))
        c.click()
        d = c.wait(lambda: c.find_named(EXIT_PROMPT_CAPTION, client.pid), 5,
                   f"the exit prompt {EXIT_PROMPT_CAPTION!r}")
        c.wait(lambda: c.x.active_window() == d, 5, "the exit prompt to become the active window")
        return d

    d = open_prompt()
    c.key("Escape")
    c.wait(lambda: not c.x.viewable(d), 5, "the exit prompt to close on Escape")
    expect(client.alive(), "Escape on the exit prompt ended the client")
    expect(c.x.viewable(w), "Escape on the exit prompt hid the launcher")

    open_prompt()
    c.key("Return")
    rc = client.wait_exit(5, "the client to end after Return on the exit prompt")
    expect(rc == 0, f"the client ended with code {rc}, expected 0")


@case
def test_minimise(c):
    client = c.start_client()
    w = c.launcher(client)
    origin = (LAUNCHER_X, LAUNCHER_Y)
    wait_drawn(c, origin)
    c.move_to_window_point(origin, centre(layout().buttons["min"]))
    c.click()
    try:
        c.wait(lambda: c.iconic(w) and not c.x.viewable(w), 5, "the launcher to be iconified")
    except Failure as e:
        raise Failure(f"{e}; _NET_WM_STATE={c.wm_states(w)} WM_STATE={c.x.prop_cardinals(w, 'WM_STATE')} "
                      f"map_state={c.x.map_state(w)}") from None
    # A double click on the tray icon restores it where it was.
    _, (tx, ty, tw, th) = c.tray_icon(client)
    c.move(tx + tw // 2, ty + th // 2)
    c.double_click()
    c.wait(lambda: c.x.viewable(w) and not c.iconic(w), 5, "the launcher to come back after a double "
                                                          "click on the tray icon")
    expect_geometry(c, w, (LAUNCHER_X, LAUNCHER_Y, LAUNCHER_W, LAUNCHER_H), "restored")
