#!/usr/bin/env python3
"""Figures of the real program under Wine: the size of horax.exe, its memory and CPU over
minutes of marks, and the delay from a mark's character being written to the program
asking for the clock to be set.

    bench/program_figures.py [--build build/win64] [--minutes 3]

Run it after scripts/test (it uses the build trees and the template Wine prefix)."""

import argparse
import datetime
import os
import sys
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(root, "tests", "e2e"))

parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("--build", help="the Windows build tree that runs under Wine here")
parser.add_argument("--minutes", type=int, default=3)
args = parser.parse_args()

build = args.build or next(os.path.join(root, t) for t in ("build/win64", "build/win32")
                           if os.path.exists(os.path.join(root, t, "wine", "prefix")))
config = dict(line.strip().split("=", 1) for line in open(os.path.join(build, "wine", "config.sh"))
              if "=" in line)
os.environ.update(
    HORAX_EXE=os.path.join(build, "src/app/horax.exe"),
    HORAX_PROBE=os.path.join(build, "tests/e2e/probe.exe"),
    HORAX_DCF77SIM=os.path.join(root, "build/native/tools/dcf77sim/dcf77sim"),
    HORAX_TEMPLATE_PREFIX=os.path.join(build, "wine", "prefix"),
    HORAX_WINE_LOADER=config["HORAX_WINE_LOADER"],
    HORAX_GLYPHS=os.path.join(root, "resources/lcd_08x13.txt"),
    HORAX_E2E_DIR=os.path.join(build, "bench-sessions"))

import harness  # noqa: E402
from test_minutes import announced_start, trace  # noqa: E402

for name in ("build/win32/src/app/horax.exe", "build/win64/src/app/horax.exe"):
    path = os.path.join(root, name)
    if os.path.exists(path):
        print(f"size of {name}: {os.path.getsize(path)} bytes")


def process_figures(pid):
    with open(f"/proc/{pid}/status") as f:
        status = dict(line.split(":", 1) for line in f)
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])  # utime + stime
    return int(status["VmRSS"].split()[0]), int(status["VmHWM"].split()[0]), ticks


session = harness.Session("bench")
try:
    start = announced_start().replace(second=1)
    seconds = trace(start, args.minutes)
    pty = session.pty(1)
    program = session.run("1")
    harness.wait_for(pty.opened.is_set, 30, "the port to be opened")
    session.wait_for_window()
    rss_start, _, ticks_start = process_figures(program.process.pid)
    wall_start = time.monotonic()

    delays = []
    t0 = time.monotonic()
    for k, character in enumerate(seconds):
        delay = t0 + k - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        if character is None:
            continue
        sets_before = len(program.refused_sets())
        written = time.monotonic()
        pty.write([character])
        if k % 60 == 59:  # second 0: the mark that closes a minute
            while len(program.refused_sets()) == sets_before and time.monotonic() - written < 2:
                time.sleep(0.001)
            if len(program.refused_sets()) > sets_before:
                delays.append((time.monotonic() - written) * 1000)

    rss_end, rss_peak, ticks_end = process_figures(program.process.pid)
    wall = time.monotonic() - wall_start
    hz = os.sysconf("SC_CLK_TCK")
    print(f"minutes of marks: {args.minutes}, clock sets asked for: {len(delays)}")
    print(f"resident memory of the Wine process: {rss_start} kB at the start, "
          f"{rss_end} kB at the end, peak {rss_peak} kB")
    print(f"CPU time: {(ticks_end - ticks_start) / hz:.2f} s over {wall:.0f} s "
          f"({100 * (ticks_end - ticks_start) / hz / wall:.2f} %)")
    if delays:
        print("delay from the mark written to the set asked for: " +
              ", ".join(f"{d:.0f} ms" for d in delays) +
              f" (mean {sum(delays) / len(delays):.0f} ms; the 250 ms poll bounds it)")
finally:
    session.close()
