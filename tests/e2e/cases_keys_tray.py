"""The boss key, the hidden start and the tray icon with its menu."""
import os
import re
import subprocess
import time

from harness import (EXIT_PROMPT_CAPTION, LAUNCHER_H, LAUNCHER_W, LAUNCHER_X, LAUNCHER_Y, Failure, case, centre,
                     expect, layout, wait_box)
from sni_watcher import SessionBus

CENTRED = (LAUNCHER_X, LAUNCHER_Y, LAUNCHER_W, LAUNCHER_H)


def wait_hidden(c, client, what):
    c.wait(lambda: not c.launcher_viewable(client), 5, f"the launcher of {client.label} to hide ({what})")


def wait_shown(c, client, what):
    return c.launcher(client, timeout=5)


def exit_via_tray(c, client, hold=0.0):
    """Right click on the tray icon (the button held down `hold` seconds), then the menu's one
    entry; the client must end at once with code 0."""
    _, (x, y, w, h) = c.tray_icon(client)
    c.move(x + w // 2, y + h // 2)
    c.down(3)
    time.sleep(hold)
    c.up(3)
    try:
        _, (mx, my, mw, mh) = c.popup_menu(client)
    except Failure as e:
        raise Failure(f"{e}: a right click (press, {hold:g} s, release) on the tray icon left no menu "
                      f"on the screen") from None
    c.move(mx + mw // 2, my + mh // 2)
    c.click(1)
    rc = client.wait_exit(3, f"{client.label} to end after 退出 in the tray menu")
    expect(rc == 0, f"{client.label} ended with code {rc} after 退出, expected 0")


@case
def test_boss_key_f10(c):
    client = c.start_client()
    w = c.launcher(client)
    # Shift+F10 is another key: nothing happens. If it toggled, the F10 that follows would
    # show the launcher again and the wait for "hidden" fails.
    c.key("shift+F10")
    c.key("F10")
    wait_hidden(c, client, "F10")
    c.key("F10")
    w = wait_shown(c, client, "F10 again")
    expect(tuple(c.x.geometry(w)) == CENTRED, f"shown again at {c.x.geometry(w)}, expected {CENTRED}")
    # In the foreground: the active window is the launcher or its page (a window of the client).
    try:
        c.wait(lambda: c.x.window_pid(c.x.active_window()) == client.pid, 5,
               "the client to be in the foreground after the boss key")
    except Failure as e:
        a = c.x.active_window()
        raise Failure(f"{e}; the active window is {a:#x} {c.x.window_name(a)!r} "
                      f"(pid {c.x.window_pid(a)})") from None
    # NumLock does not disturb the key.
    c.key("Num_Lock")
    try:
        c.key("F10")
        wait_hidden(c, client, "F10 with NumLock on")
        c.key("F10")
        wait_shown(c, client, "F10 again with NumLock on")
    finally:
        c.key("Num_Lock")
    expect(client.alive(), "the client ended")


@case
def test_boss_key_configured(c):
    client = c.start_client(ini="[dmor]\nhotkey=393337\nhotName=Ctrl+Alt+F10\n")
    c.launcher(client)
    # Plain F10 is not the boss key now. (If it toggled, the Ctrl+Alt+F10 below would bring
    # the launcher back and the wait for "hidden" fails.)
    c.key("F10")
    c.key("ctrl+alt+F10")
    wait_hidden(c, client, "Ctrl+Alt+F10")
    c.key("ctrl+alt+F10")
    wait_shown(c, client, "Ctrl+Alt+F10 again")


@case
def test_second_client(c):
    # Two clients from two folders share F10: one press hides both, whichever holds the key,
    # and the next shows both. A third with another key keeps its own.
    first = c.start_client(label="first")
    w1 = c.launcher(first)
    c.tray_icon(first)
    second = c.start_client(label="second")
    w2 = c.launcher(second)
    c.tray_icon(second)
    other = c.start_client(label="other", ini="[dmor]\nhotkey=393337\nhotName=Ctrl+Alt+F10\n")
    w3 = c.launcher(other)
    c.key("F10")
    wait_hidden(c, first, "F10, held by the first client")
    wait_hidden(c, second, "F10, held by the first client")
    expect(c.x.viewable(w3), "F10 hid the client whose boss key is Ctrl+Alt+F10")
    c.key("F10")
    for client in (first, second):
        w = wait_shown(c, client, "F10 again")
        expect(tuple(c.x.geometry(w)) == CENTRED, f"{client.label} shown again at {c.x.geometry(w)}")
    # No message box about the key, in either client.
    for client, w in ((first, w1), (second, w2)):
        others = [x for x in c.windows_of(client) if c.x.viewable(x) and x != w]
        expect(not others, f"{client.label} shows more than its launcher:\n" + "\n".join(
            f"  {x:#x} {c.x.window_name(x)!r} {c.x.geometry(x)}" for x in others))
    # The holder is killed: the second client takes the key over within a second.
    first.proc.kill()
    first.wait_exit(3, "the first client to end once killed")
    time.sleep(1)
    c.key("F10")
    wait_hidden(c, second, "F10 once the client that held it ended")
    c.key("F10")
    wait_shown(c, second, "F10 again once the client that held it ended")
    c.key("ctrl+alt+F10")
    wait_hidden(c, other, "its own Ctrl+Alt+F10")
    expect(c.launcher_viewable(second), "Ctrl+Alt+F10 hid the client whose boss key is F10")
    expect(second.alive() and other.alive(), "a client ended")


def hidden_start(c, args):
    client = c.start_client(args=args)
    c.tray_icon(client)
    # Start-up is over once the tray icon is there; the launcher was never shown.
    expect(not c.launcher_viewable(client), f"the launcher shows after a start with {args!r}")
    return client


@case
def test_hidden_start(c):
    client = hidden_start(c, ["-hh"])
    _, (x, y, w, h) = c.tray_icon(client)
    c.move(x + w // 2, y + h // 2)
    c.double_click()
    lw = wait_shown(c, client, "a double click on the tray icon")
    expect(tuple(c.x.geometry(lw)) == CENTRED, f"shown at {c.x.geometry(lw)}, expected {CENTRED}")
    exit_via_tray(c, client)


@case
def test_hidden_start_with_blanks(c):
    client = hidden_start(c, [" -hh\t"])
    # The boss key shows a launcher that started hidden.
    c.key("F10")
    wait_shown(c, client, "F10 after a hidden start")
    # The menu opens on the press and stays however long the button is held (a click that
    # reaches a busy client late looks the same).
    exit_via_tray(c, client, hold=0.8)


@case
def test_visible_starts(c):
    # Anything but "-hh" (after trimming blanks) starts visible.
    for args in (["-HH"], ["-hh x"], ["-hh", "x"], ["/hh"], ["hh"], [""]):
        client = c.start_client(args=args)
        try:
            c.launcher(client)
        except Failure as e:
            raise Failure(f"start with {args!r}: {e}") from None
        client.stop()


@case
def test_tray_status_notifier_item(c):
    # With a StatusNotifierWatcher on the session bus the icon is an item that the desktop's
    # host draws from our picture, with the tray's menu over dbusmenu; no XEmbed icon.
    bus = SessionBus(c)
    client = c.start_client(args=["-hh"])
    name, _, path = bus.line().removeprefix("ITEM ").partition("/")
    path = "/" + path
    props = dict(re.findall(r"'(\w+)': <(?:objectpath )?'([^']*)'>",
                            bus.call(name, path, "org.freedesktop.DBus.Properties.GetAll",
                                     "org.kde.StatusNotifierItem")))
    expect((props["Title"], props["Status"], props["Id"]) == ("LumoDrakmoor", "Active", "raduvove_148"), f"{props}")
    # The picture, flattened on black as fw keeps it (premultiplied), is the skin's icon.
    r = subprocess.run(["compare", "-metric", "AE", "-fuzz", "1%", *(
        f"{p}[0]" for p in (os.path.join(props["IconThemePath"], props["IconName"] + ".png"),
                            os.path.join(c.cfg.source_dir, "res", "png", "148.png"))),
        "-background", "black", "-alpha", "remove", "null:"], capture_output=True, text=True, timeout=30)
    expect(r.returncode == 0 and r.stderr.strip() == "0", f"the item's picture: {props}: {r.stderr}")
    menu = bus.call(name, props["Menu"], "com.canonical.dbusmenu.GetLayout", "0", "-1", "['label']")
    items = re.findall(r"<\((\d+), \{'label': <'([^']*)'>", menu)
    expect([label for _, label in items] == ["退出"], f"the item's menu, not the tray's: {menu}")
    expect(not [w for w in c.x.descendants() if c.x.window_pid(w) == client.pid and c.x.embedded(w)],
           "an XEmbed tray icon as well")
    # Activating the item brings the hidden launcher, as a double click on the tray icon does.
    bus.call(name, path, "org.kde.StatusNotifierItem.Activate", "0", "0")
    wait_shown(c, client, "the item's activation")
    # 退出 ends the client at once, also while the exit prompt waits for an answer.
    c.move_to_window_point((LAUNCHER_X, LAUNCHER_Y), centre(layout().buttons["close"]))
    c.click()
    wait_box(c, client, EXIT_PROMPT_CAPTION)
    bus.call(name, props["Menu"], "com.canonical.dbusmenu.Event", items[0][0], "clicked", "<0>", "0")
    expect(client.wait_exit(3, "the client to end after 退出 in the item's menu, the exit prompt open") == 0,
           "exit code not 0")
