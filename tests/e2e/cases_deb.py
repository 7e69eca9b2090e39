"""The Debian package: cpack makes it from the build folder, lintian and the desktop's
validators check it, and the client unpacked from it starts from a scratch root whose program
folder is read-only, keeping its static.ini in the user's configuration folder."""
import os
import re
import shutil
import subprocess
import time

from cases_keys_tray import exit_via_tray
from harness import case, expect

ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)
LIBDIR = "usr/lib/raduvove"


def run(cmd, what, **kw):
    r = subprocess.run(cmd, capture_output=True, text=True, **kw)
    expect(r.returncode == 0, f"{what} failed ({r.returncode}):\n{(r.stdout + r.stderr)[-4000:]}")
    return r.stdout


def files_under(top):
    return sorted(os.path.relpath(os.path.join(d, f), top) for d, _, fs in os.walk(top) for f in fs)


@case(timeout=150)
def test_deb_package(c):
    build = os.path.dirname(c.cfg.client_dir)
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as f:
        version = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.+)$", f.read(), re.M).group(1)
    t0 = time.monotonic()
    out = os.path.join(c.work, "pkg")
    run(["cpack", "-G", "DEB", "-B", out, "--config", os.path.join(build, "CPackConfig.cmake")], "cpack")
    deb = os.path.join(out, f"raduvove_{version}_amd64.deb")
    expect(os.path.isfile(deb), f"cpack made {os.listdir(out)}, not {os.path.basename(deb)}")
    t1 = time.monotonic()
    run(["lintian", "--fail-on", "error,warning", deb], "lintian")
    print(f"  cpack {t1 - t0:.1f} s, lintian {time.monotonic() - t1:.1f} s")

    fields = dict(re.findall(r"^(\w[\w-]*): (.*)$", run(["dpkg-deb", "-f", deb], "dpkg-deb -f"), re.M))
    for k, v in (("Package", "raduvove"), ("Version", version), ("Architecture", "amd64"), ("Section", "games")):
        expect(fields.get(k) == v, f"control field {k} is {fields.get(k)!r}, expected {v!r}")
    # The browser module's engine and the executable's toolkit, found by dpkg-shlibdeps.
    for dep in ("libwebkit2gtk-4.1-0", "libgtk-3-0", "libcurl4"):
        expect(dep in fields.get("Depends", ""), f"Depends lacks {dep}: {fields.get('Depends')!r}")
    listing = run(["dpkg-deb", "-c", deb], "dpkg-deb -c")
    expect(re.search(r"^l\S+ root/root .* \./usr/bin/raduvove -> \.\./lib/raduvove/raduvove$", listing, re.M),
           "/usr/bin/raduvove is no link to ../lib/raduvove/raduvove")

    root = os.path.join(c.work, "root")
    run(["dpkg", "-x", deb, root], "dpkg -x")
    prog = os.path.join(root, LIBDIR)
    # The client folder as the build makes it to run: the same files, static.ini left out.
    built = [f for f in files_under(c.cfg.client_dir) if not f.startswith(("static.ini", "screenshots/"))]
    expect(files_under(prog) == built, f"{LIBDIR} holds {files_under(prog)}, the client folder {built}")
    modes = {f: oct(os.stat(os.path.join(prog, f)).st_mode & 0o777) for f in built}
    expect(all(m == ("0o755" if f == "raduvove" else "0o644") for f, m in modes.items()), f"modes {modes}")
    apps = os.listdir(os.path.join(root, "usr/share/applications"))
    expect(len(apps) == 1 and apps[0].endswith(".desktop"), f"menu entries {apps}")
    app_id = apps[0].removesuffix(".desktop")
    run(["desktop-file-validate", os.path.join(root, "usr/share/applications", apps[0])], "desktop-file-validate")
    run(["appstreamcli", "validate", "--no-net", os.path.join(root, "usr/share/metainfo", f"{app_id}.metainfo.xml")],
        "appstreamcli validate")
    for s in ICON_SIZES:
        with open(os.path.join(root, f"usr/share/icons/hicolor/{s}x{s}/apps/{app_id}.png"), "rb") as f:
            head = f.read(24)
        expect(head[16:24] == s.to_bytes(4, "big") * 2, f"the {s}x{s} icon is {head[16:24].hex()}")
    for doc in ("copyright", "changelog.gz"):
        expect(os.path.isfile(os.path.join(root, "usr/share/doc/raduvove", doc)), f"no /usr/share/doc/raduvove/{doc}")

    # An installed client: its folder is not the user's to write. chmod does not stop root,
    # so root's client gets a read-only bind mount of it in a mount namespace of its own.
    exe = os.path.join(root, "usr/bin/raduvove")
    if os.getuid() == 0:
        ro = 'mount --bind "$1" "$1" && mount -o remount,bind,ro "$1" && shift && exec "$@"'
        command = ["unshare", "--mount", "sh", "-c", ro, "sh", prog, exe]
    else:
        os.chmod(prog, 0o555)
        c.on_close(lambda: os.chmod(prog, 0o755))
        command = [exe]
    client = c.start_client(label="installed", folder=os.path.dirname(exe), command=command)
    c.launcher(client, timeout=15)
    module = os.path.join(prog, "libraduvove-browser.so")

    def module_mapped():
        with open(f"/proc/{client.pid}/maps", encoding="utf-8", errors="replace") as f:
            return module in f.read()
    c.wait(module_mapped, 15, f"the client to load {module}")
    ini = os.path.join(c.env["XDG_CONFIG_HOME"], "raduvove", "static.ini")

    def ini_written():
        try:
            with open(ini, encoding="utf-8", errors="replace") as f:
                text = f.read()
        except OSError:
            return False
        return "[dmor]" in text and all(re.search(rf"^{k}=", text, re.M) for k in ("start", "filename", "uid"))
    c.wait(ini_written, 10, f"the first start's static.ini in {ini}")
    exit_via_tray(c, client)
    expect(files_under(prog) == built, f"the client wrote into its folder: {files_under(prog)}")
