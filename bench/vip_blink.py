#!/usr/bin/env python3
"""From an agent's message at the customer-service server to the first blink frame of the VIP
button on the screen, with the desktop client, the real chat library and the local portal on a
private Xvfb desktop (the end-to-end tests' harness, tests/e2e/).

  bench/vip_blink.py [BUILD_DIR] [RUNS]        (defaults: build, 15)

Set-up (not measured): a client plays on the portal; the launcher page's ShowIM starts the
customer service; the VIP button is on the screen.

Each run: the monotonic clock is read, the agent's message is posted to the portal
(POST /cs/agent/send, as the agent console does) and the VIP button's 75x22 pixels are read
from the X server (GetImage, about 1 ms a read) over and over until they differ from the
steady button. The blink's first half draws the button as it was, so the first change seen is
its second half, the bare bar, one half (600 ms) after the blink started: the figures below
take that half off, and so time the blink's start on the screen. The client runs with RV_TRACE=1, whose marks are on the same monotonic clock:
"vip-message" (the library's callback reached the game window's UI thread) and
"vip-blink-start" (the blink began) split the time into the server and the library's long poll
to the UI thread, and the UI thread's paint to the screen. Between runs the agent is reported
offline and online again, which ends the blink (the chat page in the hidden VIP window tells the
game window), so that every run starts from a steady button.

Target: at most 100 ms on this machine.
"""
import json
import os
import statistics
import sys
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(root, "tests", "e2e"))

import harness  # noqa: E402
from cases_vip import Vip, post, trace_marks  # noqa: E402


HALF_MS = 600  # one half of the blink: the button, then the bare bar


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 15
    c = harness.bench_case(build, "bench-vip-blink")
    if not c:
        return 1
    totals, to_ui, to_screen = [], [], []
    try:
        v = Vip(c)
        v.show_im()
        v.wait_shows("button")
        for run in range(runs + 1):  # the first run is not counted (the page's first long poll)
            steady = c.wait_still(v.rect, 5, "the steady VIP button")
            marks_before = len(trace_marks(v.g.client, "vip-message"))
            t0 = time.monotonic()
            post(c, "/cs/agent/send", user=v.g.uid, text=f"第 {run} 条消息")
            deadline = t0 + 5
            while c.screenshot(v.rect).data == steady.data:
                if time.monotonic() > deadline:
                    raise harness.Failure(f"run {run}: no blink within 5 s")
            t1 = time.monotonic()
            c.wait(lambda: len(trace_marks(v.g.client, "vip-message")) > marks_before, 5, "the client's mark")
            message = trace_marks(v.g.client, "vip-message")[-1] / 1e6
            start = trace_marks(v.g.client, "vip-blink-start")[-1] / 1e6
            if run > 0:
                totals.append(1000 * (t1 - t0) - HALF_MS)
                to_ui.append(1000 * (message - t0))
                to_screen.append(1000 * (t1 - start) - HALF_MS)
            # End the blink: the agent goes offline (the chat page tells the game window).
            ends = len(trace_marks(v.g.client, "vip-blink-end"))
            post(c, "/cs/agent/status", status="离线")
            c.wait(lambda: len(trace_marks(v.g.client, "vip-blink-end")) > ends, 10, "the blink to end")
            post(c, "/cs/agent/status", status="在线")
            v.wait_shows("button")
    except harness.Failure as e:
        print(f"vip_blink: FAILED: {e}")
        return 1
    finally:
        c.close()
        harness.reap_orphans(0.5)

    def line(name, values):
        q = sorted(values)
        p90 = q[min(len(q) - 1, int(round(0.9 * (len(q) - 1))))]
        return (f"  {name:<52} median {statistics.median(q):6.1f} ms   p90 {p90:6.1f} ms   "
                f"max {q[-1]:6.1f} ms")

    print(f"VIP blink, {len(totals)} runs (target: the blink on the screen within 100 ms)")
    print(line("agent's send -> the blink on the screen", totals))
    print(line("  agent's send -> the message on the UI thread", to_ui))
    print(line("  blink started -> on the screen", to_screen))
    print(json.dumps({"runs": len(totals), "median_ms": round(statistics.median(totals), 1),
                      "max_ms": round(max(totals), 1)}))
    return 0 if statistics.median(totals) <= 100 else 2


if __name__ == "__main__":
    sys.exit(main())
