#!/usr/bin/env python3
"""Tests of the side-by-side benchmark's own accounting (bench/side_by_side.py): the CPU and PSS
of a process tree whose members come and go, what kind each process is, the options and the
table. The figures the benchmark prints are only as good as these."""
import os
import subprocess
import sys
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "bench"))
import side_by_side as sbs  # noqa: E402

BURN_S = 0.4

# A grandchild that burns CPU and ends; its parent (the child) waits for "go" on its standard
# input first, then handles the grandchild as told and says "done".
CHILD = r"""
import os, subprocess, sys, time
mode = sys.argv[1]
burn = "import time\nt = time.process_time()\nwhile time.process_time() - t < %s: pass\n" % sys.argv[2]
sys.stdin.readline()
if mode == "orphan":
    # The grandchild outlives us: it burns once we have gone, as the orphan of nobody.
    subprocess.Popen([sys.executable, "-c", "import time; time.sleep(0.3)\n" + burn])
    print("done", flush=True)
    sys.exit(0)
g = subprocess.Popen([sys.executable, "-c", burn])
if mode == "reaped":
    g.wait()
else:  # "zombie": it ends, and we leave it unreaped
    while open("/proc/%d/stat" % g.pid).read().rpartition(")")[2].split()[0] != "Z":
        time.sleep(0.01)
print("done", flush=True)
sys.stdin.readline()
"""


class TreeAccounting(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        sbs.harness.become_subreaper()

    def tearDown(self):
        sbs.harness.reap_orphans(5)

    def spent(self, mode):
        """CPU seconds our tree gained while a grandchild burned BURN_S and ended in `mode`."""
        p = subprocess.Popen([sys.executable, "-c", CHILD, mode, str(BURN_S)], stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, text=True)
        try:
            time.sleep(0.2)  # the interpreter's own start is not part of what is measured
            before, _ = sbs.tree_cpu(os.getpid())
            p.stdin.write("go\n")
            p.stdin.flush()
            self.assertEqual(p.stdout.readline().strip(), "done")
            if mode == "orphan":
                p.wait()  # the child is gone; its grandchild is now ours
                self.assertTrue(sbs.descendants(sbs.process_table(), os.getpid()), "the orphan was not handed to us")
                deadline = time.monotonic() + 10
                while any(sbs.read_stat(pid)[2] != "Z" for pid in sbs.descendants(sbs.process_table(), os.getpid())):
                    self.assertLess(time.monotonic(), deadline, "the orphan did not end")
                    time.sleep(0.02)
            after, _ = sbs.tree_cpu(os.getpid())
        finally:
            p.stdin.close()
            p.wait()
            p.stdout.close()
        return after - before

    def test_cpu_of_processes_that_end_inside_the_window_is_kept(self):
        # Reaped by its parent (it lives on in the parent's cutime), left as a zombie (its own
        # times), or orphaned to us: in every case the CPU it burned counts, and only once.
        for mode in ("reaped", "zombie", "orphan"):
            with self.subTest(mode=mode):
                got = self.spent(mode)
                self.assertGreater(got, BURN_S * 0.9)
                self.assertLess(got, BURN_S + 1.0)

    def test_pss_covers_the_whole_tree(self):
        size_mb = 64
        code = f"import sys\nb = b'\\x01' * ({size_mb} << 20)\nprint('ready', flush=True)\nsys.stdin.readline()\n"
        before, _ = sbs.tree_pss(os.getpid())
        # The memory is held by a grandchild: a child shell that runs it.
        p = subprocess.Popen(["sh", "-c", f'"{sys.executable}" -c "$0"', code], stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, text=True)
        try:
            self.assertEqual(p.stdout.readline().strip(), "ready")
            after, by_kind = sbs.tree_pss(os.getpid())
        finally:
            p.stdin.close()
            p.wait()
            p.stdout.close()
        self.assertGreater(after - before, size_mb * 0.95)
        self.assertEqual(set(by_kind), {"other"})


class Kinds(unittest.TestCase):
    def test_engine_processes_are_told_apart(self):
        cases = [
            ("WebKitWebProces", ["/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/WebKitWebProcess", "7", "40"], "web"),
            ("WebKitNetworkPr", [], "network"),
            ("raduvove", ["./raduvove"], "ui"),
            ("rv-webview", ["rv-webview", "--maximize", "http://x/"], "ui"),
            # Chromium's command lines, as /proc shows them once its processes have rewritten
            # them into one string (split on blanks by the reader).
            ("chromium", "/usr/lib/chromium/chromium --no-first-run --app=http://x/".split(), "ui"),
            ("chromium", "/usr/lib/chromium/chromium --type=renderer --lang=en-US".split(), "web"),
            ("chromium", "/usr/lib/chromium/chromium --type=gpu-process --no-sandbox".split(), "gpu"),
            ("chromium", "/usr/lib/chromium/chromium --type=utility "
                         "--utility-sub-type=network.mojom.NetworkService".split(), "network"),
            ("chromium", "/usr/lib/chromium/chromium --type=utility "
                         "--utility-sub-type=storage.mojom.StorageService".split(), "other"),
            ("chromium", "/usr/lib/chromium/chromium --type=zygote".split(), "other"),
            ("chrome_crashpad", ["/usr/lib/chromium/chrome_crashpad_handler", "--database=/x"], "other"),
            ("sh", ["sh", "-c", "x"], "other"),
        ]
        for comm, args, want in cases:
            with self.subTest(comm=comm, args=args):
                self.assertEqual(sbs.classify(comm, args), want)


class Options(unittest.TestCase):
    def test_subjects(self):
        s = sbs.parse_subject("no dmabuf=client,WEBKIT_DISABLE_DMABUF_RENDERER=1,--flag,A=b=c")
        self.assertEqual((s.label, s.program), ("no dmabuf", "client"))
        self.assertEqual(s.env, {"WEBKIT_DISABLE_DMABUF_RENDERER": "1", "A": "b=c"})
        self.assertEqual(s.args, ["--flag"])
        self.assertIsNone(s.client_dir)
        base = sbs.parse_subject("base=client:/tmp/base/client,RV_TRACE=1")
        self.assertEqual((base.program, base.client_dir, base.env), ("client", "/tmp/base/client", {"RV_TRACE": "1"}))
        for bad in ("client", "=client", "x=firefox", "x=", "x=webkit,stray", "x=client:", "x=webkit:/tmp"):
            with self.subTest(bad=bad), self.assertRaises(sbs.argparse.ArgumentTypeError):
                sbs.parse_subject(bad)


class Table(unittest.TestCase):
    @staticmethod
    def run_(subject, page, **figures):
        r = {"subject": subject, "page": page, "window_s": 30.0}
        r.update(figures)
        return r

    def test_medians_ratios_and_gaps(self):
        subjects = [sbs.Subject("ours", "client"), sbs.Subject("ref", "chromium")]
        results = [
            self.run_("ours", "launcher", first_window_ms=100, load_ms=900, pss_mb=200, cpu_s=0.3),
            self.run_("ours", "launcher", first_window_ms=300, load_ms=700, pss_mb=240, cpu_s=0.1),
            self.run_("ours", "launcher", first_window_ms=200, load_ms=800, pss_mb=220, cpu_s=0.2),
            self.run_("ref", "launcher", first_window_ms=400, load_ms=1600, pss_mb=440, cpu_s=3.0),
            # A run whose frame figure is missing counts for nothing in that row.
            self.run_("ours", "game", fps=15.0, cpu_s=45.0, cpu_ms_per_frame=None, pss_mb=480,
                      desktop_cpu_s={"xserver": 1.0}),
            self.run_("ref", "game", fps=60.0, cpu_s=24.0, cpu_ms_per_frame=13.3, pss_mb=430,
                      desktop_cpu_s={"xserver": 3.0, "compositor": 0.5}),
        ]
        medians, spread = sbs.table(results, subjects, "ref")
        rows = {line.split(" | ")[0].lstrip("| "): line.strip("| ").split(" | ")[1:]
                for line in medians.splitlines()[2:]}
        self.assertEqual(rows["exec → first window (ms)"], ["200", "400", "0.50×"])
        self.assertEqual(rows["exec → launcher page `load` (ms)"], ["800", "1600", "0.50×"])
        self.assertEqual(rows["game page: frames per second"], ["15.0", "60.0", "0.25×"])
        self.assertEqual(rows["game page: CPU ms per frame"], ["–", "13.3", "–"])
        self.assertEqual(rows["game page: desktop CPU per 30 s (X server + compositor + WM, s)"],
                         ["1.0", "3.5", "0.29×"])
        self.assertIn("| exec → first window (ms) | 100 – 300 (3) | 400 – 400 (1) |", spread)
        # Without a reference there are no ratio columns.
        alone, _ = sbs.table(results, subjects[:1], None)
        self.assertEqual(alone.splitlines()[0], "| figure (median) | ours |")


if __name__ == "__main__":
    unittest.main()
