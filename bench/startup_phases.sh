#!/usr/bin/env bash
# Where the time until the launcher page has loaded goes, phase by phase, on a private Xvfb
# desktop (icewm, xcompmgr) with the local portal:
#   bench/startup_phases.sh [BUILD_DIR] [RUNS] [LABEL=ENV ...]    (defaults: build, 10)
#
# The client runs with RV_TRACE=1 and writes its time marks (fw/trace.h) to standard error:
# the toolkit's start ("init"), the browser module's load on its thread, the web context and
# the launcher's view, its navigation, and the page's load events (started, committed,
# finished: the page's own load event). For each mark the script prints the median time
# from exec over RUNS runs, one column per variant. A variant is a label and environment
# settings for the client, e.g.
#   bench/startup_phases.sh build 10 'as is=' 'Skia on the CPU=WEBKIT_SKIA_ENABLE_CPU_RENDERING=1'
# Variants run interleaved, the order turning each round; one unmeasured round goes first.
# Each run is ended with SIGTERM once its page has loaded (at most 8 s).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
runs=${2:-10}
shift $(($# < 2 ? $# : 2))
[ $# -gt 0 ] || set -- "as is="
client=$build/client/raduvove
portal=$build/portal/lumo-portal
# shellcheck source=scripts/desktop.sh
. "$root/scripts/desktop.sh"
need_built startup_phases "$client" "$portal"
need_count startup_phases RUNS "$runs"

work_dir phases
work=$WORK

cp -r "$build/client" "$work/client"
rm -f "$work/client/static.ini"
portal_start "$portal" "$work" || { echo "startup_phases: no portal" >&2; exit 1; }
portal_hosts_ini "$work/client/static.ini" || exit 1
desktop_start "$work/desktop" || { echo "startup_phases: the desktop did not start" >&2; exit 1; }

python3 - "$work/client/raduvove" "$runs" "$@" <<'PYEOF'
import os, re, signal, statistics, subprocess, sys, time

exe, runs = sys.argv[1], int(sys.argv[2])
variants = []
for arg in sys.argv[3:]:
    label, _, settings = arg.partition("=")
    env = {}
    for kv in settings.split():
        k, sep, v = kv.partition("=")
        if not sep:
            sys.exit(f"startup_phases: {kv!r} is not NAME=VALUE")
        env[k] = v
    variants.append((label, env))

ORDER = ["init", "browser module loading", "browser module opened", "browser module loaded",
         "context ready", "view made", "navigate", "load started", "load committed", "load finished"]


def one_run(extra):
    env = dict(os.environ, RV_TRACE="1", **extra)
    t0 = time.monotonic()
    p = subprocess.Popen([exe], env=env, stderr=subprocess.PIPE, text=True, errors="replace")
    marks = {}
    for line in p.stderr:
        parts = line.split(None, 2)
        if len(parts) != 3 or parts[0] != "rv-trace":
            continue
        # "page N load finished" of the first page only: the launcher's
        name = re.sub(r"^page \d+ ", "", parts[2].strip())
        if name.startswith("rendering "):
            continue
        marks.setdefault(name, (int(parts[1]) / 1e6 - t0) * 1000.0)
        if name == "load finished" or time.monotonic() - t0 > 8:
            break
    p.send_signal(signal.SIGTERM)
    try:
        p.wait(10)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()
    time.sleep(1.0)  # the engine's processes end
    return marks


results = {label: {} for label, _ in variants}
for r in range(runs + 1):
    order = variants if r % 2 == 0 else variants[::-1]
    for label, extra in order:
        marks = one_run(extra)
        if r == 0:
            continue
        for name, ms in marks.items():
            results[label].setdefault(name, []).append(ms)

print(f"medians of {runs} runs, ms from exec")
print("%-26s" % "mark" + "".join("%16s" % label[:15] for label, _ in variants))
for name in ORDER:
    row = "%-26s" % name
    for label, _ in variants:
        v = results[label].get(name)
        row += "%16s" % (f"{statistics.median(v):.1f}" if v else "-")
    print(row)
missing = [label for label, _ in variants if len(results[label].get("load finished", [])) < runs]
if missing:
    print("runs without a finished launcher page: " + ", ".join(missing))
PYEOF
