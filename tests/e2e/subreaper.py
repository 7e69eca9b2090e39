#!/usr/bin/env python3
"""subreaper.py PROGRAM [ARGS...]: runs a program so that the processes it leaves behind
(the browser engine's helpers outlive the client by a moment) are handed to this process and
reaped here, not to a PID 1 that does not reap. SIGTERM, SIGINT and SIGHUP are passed on to
the program; the exit code is the program's (128 + signal when a signal ended it)."""
import ctypes
import os
import signal
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import reap_orphans  # noqa: E402

if len(sys.argv) < 2:
    sys.exit(__doc__)
ctypes.CDLL(None).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
child = subprocess.Popen(sys.argv[1:])
for s in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
    signal.signal(s, lambda n, _f: child.poll() is None and child.send_signal(n))
rc = child.wait()
reap_orphans(5)
sys.exit(rc if rc >= 0 else 128 - rc)
