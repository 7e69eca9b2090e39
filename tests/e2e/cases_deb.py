"""The Debian package: cpack makes it from the build folder, lintian and the desktop's
validators check it, and the client unpacked from it starts from a scratch root whose program
folder is read-only, keeping its static.ini in the user's configuration folder."""
import os
import re
import subprocess

from cases_keys_tray import exit_via_tray
from harness import case, expect


def run(*cmd):
    r = subprocess.run(cmd, capture_output=True, text=True)
    expect(r.returncode == 0, f"{' '.join(cmd[:2])} failed ({r.returncode}):\n{(r.stdout + r.stderr)[-4000:]}")
    return r.stdout


def files_under(top):
    return sorted(os.path.relpath(os.path.join(d, f), top) for d, _, fs in os.walk(top) for f in fs)


@case(timeout=150)
def test_deb_package(c):
    build = os.path.dirname(c.cfg.client_dir)
    cache = open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8").read()
    version = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.+)$", cache, re.M)[1]
    run("cpack", "-G", "DEB", "-B", os.path.join(c.work, "pkg"), "--config", os.path.join(build, "CPackConfig.cmake"))
    deb = os.path.join(c.work, "pkg", f"raduvove_{version}_amd64.deb")
    run("lintian", "--fail-on", "error,warning", deb)
    fields = dict(re.findall(r"^([\w-]+): (.*)$", run("dpkg-deb", "-f", deb), re.M))
    got = {k: fields.get(k) for k in ("Package", "Version", "Architecture", "Section")}
    expect(got == {"Package": "raduvove", "Version": version, "Architecture": "amd64", "Section": "games"}, f"{got}")
    # The toolkit (the executable's) and the engine (the browser module's), from dpkg-shlibdeps.
    expect(all(d in fields.get("Depends", "") for d in ("libgtk-3-0", "libwebkit2gtk-4.1-0")), f"{fields}")

    # Exactly the client folder as the build makes it to run (no static.ini) and the desktop's files.
    listing = run("dpkg-deb", "-c", deb)
    packed = sorted(m[1] for m in re.finditer(r"^[-l]\S+ root/root .* \./(\S+)", listing, re.M))
    built = [f for f in files_under(c.cfg.client_dir) if not f.startswith(("static.ini", "screenshots/"))]
    app_id = next((p[23:-8] for p in packed if p.startswith("usr/share/applications/")), "?")
    want = [f"usr/lib/raduvove/{f}" for f in built] + [
        "usr/bin/raduvove", f"usr/share/applications/{app_id}.desktop", f"usr/share/metainfo/{app_id}.metainfo.xml",
        "usr/share/doc/raduvove/copyright", "usr/share/doc/raduvove/changelog.gz", "usr/share/man/man6/raduvove.6.gz",
        "usr/share/lintian/overrides/raduvove"] + [
        f"usr/share/icons/hicolor/{s}x{s}/apps/{app_id}.png" for s in (16, 24, 32, 48, 64, 128, 256)]
    expect(packed == sorted(want), f"the package holds {packed}")
    expect(" ./usr/bin/raduvove -> ../lib/raduvove/raduvove\n" in listing, "/usr/bin/raduvove: no link to the client")

    run("dpkg", "-x", deb, root := os.path.join(c.work, "root"))
    run("desktop-file-validate", os.path.join(root, f"usr/share/applications/{app_id}.desktop"))
    run("appstreamcli", "validate", "--no-net", os.path.join(root, f"usr/share/metainfo/{app_id}.metainfo.xml"))

    # An installed client: its folder is not the user's to write. chmod does not stop root,
    # so root's client gets a read-only bind mount of it in a mount namespace of its own.
    prog, exe = os.path.join(root, "usr/lib/raduvove"), os.path.join(root, "usr/bin/raduvove")
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
    c.wait(lambda: module in open(f"/proc/{client.pid}/maps", errors="replace").read(), 15, f"{module} loaded")
    ini = os.path.join(c.env["XDG_CONFIG_HOME"], "raduvove", "static.ini")

    def ini_written():
        text = open(ini, errors="replace").read() if os.path.isfile(ini) else ""
        return "[dmor]" in text and all(re.search(rf"^{k}=", text, re.M) for k in ("start", "filename", "uid"))
    c.wait(ini_written, 10, f"the first start's static.ini in {ini}")
    exit_via_tray(c, client)
