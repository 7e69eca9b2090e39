#!/usr/bin/env python3
"""End-to-end tests of the desktop client: each case starts a private desktop
(scripts/desktop.sh), runs the real client from a private copy of the client folder and
checks from outside what X shows.

  run_e2e.py --client build/client/raduvove [--client-dir DIR] [--portal PATH]
             [--layout PATH] [--case NAME]... [--keep]
  run_e2e.py --list        every case with the seconds ctest gives it

Exit code 0 when every case passed. The work folder of a failed case is kept (its path is
printed) with the client's output, the desktop's logs and screenshots.
"""
import argparse
import os
import shutil
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import cases_launcher  # noqa: E402,F401  (each module registers its cases)
import cases_keys_tray  # noqa: E402,F401
import cases_ini  # noqa: E402,F401
import cases_page  # noqa: E402,F401
import cases_game  # noqa: E402,F401
import cases_recovery  # noqa: E402,F401
import cases_vip  # noqa: E402,F401
import cases_deb  # noqa: E402,F401
import harness  # noqa: E402

TOOLS = ["Xvfb", "icewm", "xcompmgr", "setxkbmap", "xdotool", "convert", "pulseaudio", "parec", "pactl"]


def run_case(cfg, name):
    fn = harness.CASES[name]
    t0 = time.monotonic()
    c = None
    error = None
    try:
        c = harness.Case(cfg, name)
        fn(c)
    except harness.Failure as e:
        error = str(e)
    except Exception:  # a fault of the harness itself, or an X error: still a failure
        error = traceback.format_exc()
    if error and c is not None:
        try:
            shot = c.save(c.screenshot(), "failure.png")
            error += f"\nscreenshot: {shot}"
        except Exception as e:  # the X server may be what failed
            error += f"\n(no screenshot: {e})"
        for cl in c.clients:
            tail = cl.stderr_text().strip()
            if tail:
                error += f"\n{cl.label} stderr (last lines):\n" + "\n".join(tail.splitlines()[-15:])
    if c is not None:
        try:
            c.close()
        finally:
            harness.reap_orphans(0.5)  # what is left belongs to ended clients
    took = time.monotonic() - t0
    if error:
        print(f"FAIL {name} ({took:.1f} s)\n  " + error.replace("\n", "\n  "))
        if c is not None:
            print(f"  work folder kept: {c.work}")
        return False
    print(f"ok   {name} ({took:.1f} s)")
    if c is not None:
        if cfg.keep:
            print(f"  work folder: {c.work}")
        else:
            shutil.rmtree(c.work, ignore_errors=True)
    return True


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--client")
    ap.add_argument("--client-dir")
    ap.add_argument("--portal")
    ap.add_argument("--source-dir")
    ap.add_argument("--layout", help="the build's launcher_layout.json (default: beside the client folder)")
    ap.add_argument("--case", action="append", default=[])
    ap.add_argument("--keep", action="store_true", help="keep the work folders of passed cases too")
    ap.add_argument("--list", action="store_true")
    a = ap.parse_args()
    if a.list:
        print("\n".join(f"{name} {harness.TIMEOUTS[name]}" for name in harness.CASES))
        return 0
    if not a.client:
        ap.error("--client is required")
    if not os.access(a.client, os.X_OK):
        print(f"e2e: the client {a.client} is not there (build it first)")
        return 1
    missing = [t for t in TOOLS if not shutil.which(t)]
    if missing:
        print(f"e2e: missing tools: {' '.join(missing)} (scripts/setup.sh test installs them)")
        return 1
    unknown = [n for n in a.case if n not in harness.CASES]
    if unknown:
        print(f"e2e: unknown cases: {' '.join(unknown)}; known: {' '.join(harness.CASES)}")
        return 2
    cfg = harness.Config(a.client, a.client_dir or os.path.dirname(a.client), a.portal, a.source_dir, a.keep)
    layout = a.layout or harness.layout_beside(cfg.client_dir)
    if not os.path.isfile(layout):
        print(f"e2e: the launcher's layout {layout} is not there (the build writes it)")
        return 1
    harness.use_layout(layout)
    harness.become_subreaper()
    names = a.case or list(harness.CASES)
    failed = [n for n in names if not run_case(cfg, n)]
    if len(names) > 1:
        print(f"{len(names) - len(failed)} of {len(names)} passed" + (f"; failed: {' '.join(failed)}" if failed else ""))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
