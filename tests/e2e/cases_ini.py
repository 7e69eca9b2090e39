"""A static.ini that is no text file the client can use, or one on a full disk: the client
starts anyway, shows its launcher and ends normally."""
import os
import random
import subprocess
import time

from cases_keys_tray import exit_via_tray, wait_hidden, wait_shown
from harness import LAUNCHER_H, LAUNCHER_W, LAUNCHER_X, LAUNCHER_Y, case, expect

CENTRED = (LAUNCHER_X, LAUNCHER_Y, LAUNCHER_W, LAUNCHER_H)


def start_and_exit(c, ini, label, timeout=10):
    t0 = time.monotonic()
    client = c.start_client(ini=ini, label=label)
    w = c.launcher(client, timeout=timeout)
    took = time.monotonic() - t0
    expect(tuple(c.x.geometry(w)) == CENTRED, f"{label}: launcher at {c.x.geometry(w)}, expected {CENTRED}")
    exit_via_tray(c, client)
    return client, took


@case
def test_ini_binary(c):
    rnd = random.Random(20240501)
    data = bytes(rnd.randrange(256) for _ in range(64 * 1024))
    # Binary noise around lines that look like INI text, NUL bytes inside a key's value.
    data = data[:4096] + b"\n[dmor]\nhotkey=12\x001\xff\xfe\n" + data[4096:]
    start_and_exit(c, data, "binary")


@case
def test_ini_utf16(c):
    text = "[dmor]\r\nhotkey=393337\r\nhotName=Ctrl+Alt+F10\r\n"
    # UTF-16LE with a BOM is read: its boss key is Ctrl+Alt+F10, plain F10 does nothing.
    client = c.start_client(ini=b"\xff\xfe" + text.encode("utf-16-le"), label="utf16le")
    c.launcher(client)
    c.key("F10")
    c.key("ctrl+alt+F10")
    wait_hidden(c, client, "Ctrl+Alt+F10 from a UTF-16LE static.ini")
    c.key("ctrl+alt+F10")
    wait_shown(c, client, "Ctrl+Alt+F10 again")
    exit_via_tray(c, client)
    # UTF-16BE is not: the client starts with its defaults.
    start_and_exit(c, b"\xfe\xff" + text.encode("utf-16-be"), "utf16be")
    # Odd length and a lone surrogate.
    start_and_exit(c, b"\xff\xfe" + "[dmor]\r\nhotName=".encode("utf-16-le") + b"\x00\xd8x", "utf16odd")


@case
def test_ini_huge(c):
    def make(path):
        line = b"=" + b"x" * 86 + b"\n"
        with open(path, "wb") as f:
            f.write(b"[junk]\n")
            for i in range(0, 500_000, 1000):
                f.write(b"".join(b"k%07d" % j + line for j in range(i, i + 1000)))
            f.write(b"[dmor]\nhotkey=121\n")
    client, took = start_and_exit(c, make, "huge", timeout=15)
    print(f"  a 48 MB static.ini: launcher after {took:.2f} s")


@case
def test_ini_directory(c):
    def make(path):
        os.mkdir(path)
        with open(os.path.join(path, "keep"), "w") as f:
            f.write("kept\n")
    client, _ = start_and_exit(c, make, "directory")
    path = os.path.join(client.folder, "static.ini")
    expect(os.path.isdir(path), "static.ini is no longer a directory")
    expect(open(os.path.join(path, "keep")).read() == "kept\n", "the file inside static.ini changed")
    leftovers = [n for n in os.listdir(client.folder) if n.startswith("static.ini") and n != "static.ini"]
    expect(not leftovers, f"files left beside static.ini: {leftovers}")


@case
def test_ini_on_a_full_disk(c):
    # static.ini is a link into a small file system, filled up, of a mount namespace of the
    # client's own. Its first start cannot write the derived ids: the file stays as it was,
    # and standard error says so. What the file holds once the client ended is copied out by a
    # watcher that stays in the namespace.
    disk = os.path.join(c.work, "disk")
    after = os.path.join(c.work, "static.ini.after")
    os.mkdir(disk)
    first = "[dmor]\nfilename=u77_s88\n"

    def make(path):
        os.symlink(os.path.join(disk, "static.ini"), path)
    script = ('mount -t tmpfs -o size=64k tmpfs "$1" && printf "$2" > "$1/static.ini" && '
              '{ dd if=/dev/zero of="$1/fill" bs=1k 2>/dev/null; true; } && '
              '{ ( while kill -0 $$ 2>/dev/null; do sleep 0.1; done; cp "$1/static.ini" "$3" ) & } && shift 3 && '
              'exec "$@"')
    folder = c.client_folder("full", make)
    exe = os.path.join(folder, os.path.basename(c.cfg.client))
    user = [] if os.getuid() == 0 else ["--map-root-user"]
    client = c.start_client(folder=folder, label="full",
                            command=["unshare", "--mount", *user, "sh", "-c", script, "sh", disk, first, after, exe])
    c.launcher(client)
    exit_via_tray(c, client)
    c.wait(lambda: os.path.exists(after), 5, "the watcher to copy static.ini out of the full disk")
    with open(after, encoding="utf-8") as f:
        kept = f.read()
    expect(kept == first, f"static.ini on the full disk changed to {kept!r}")
    lines = [l for l in client.stderr_text().splitlines() if "settings not saved" in l]
    expect(len(lines) == 1 and "static.ini" in lines[0] and "No space left on device" in lines[0],
           f"standard error about the unsaved settings: {lines}")
