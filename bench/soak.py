#!/usr/bin/env python3
"""An hour (or --minutes N) of noisy signal: horax.exe under Wine with dcf77sim on COM1,
its marks with width jitter and now and then one lost or one spurious; the simulator
follows the real clock, as the transmitter does.

    bench/soak.py [--minutes 60] [--jitter 15] [--drop 0.001] [--spurious 0.001]

Every minute it records the Wine process's resident private memory and CPU time, the GDI objects
and the USER objects (windows, window device contexts) the program holds, and the clock
sets it asked for. GetGuiResources answers 0 under Wine, so the objects are counted from
Wine's own trace of their making and freeing. Wine accepts only a set within half a
second of its clock, which is right here; every other set is refused and logged with its
difference, and counts as wrong. At the end it prints the table. Run the demo or
scripts/test once first: it uses their build trees."""

import argparse
import os
import re
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import wine_session as ws  # noqa: E402

WORK = os.path.join(ROOT, "build", "soak")
SIM = os.path.join(ROOT, "build", "native", "tools", "dcf77sim", "dcf77sim")
TRACE = ws.CLOCK_TRACE + ",+gdi,+win"
GDI_COUNT = re.compile(r":trace:gdi:(?:alloc|free)_gdi_handle (allocated|freed) \S+ \S+ (\d+)/")
WINDOW_MADE = re.compile(r":trace:win:NtUserCreateWindowEx created window")
WINDOW_GONE = re.compile(r":trace:win:(?:free_window_handle|destroy_window)\b")
DC_GOT = re.compile(r":trace:win:NtUserGetDCEx \(.*\): returning")
DC_RELEASED = re.compile(r":trace:win:release_dc ")
CRASH = re.compile(r"Unhandled (?:exception|page fault)")


class TraceCounter:
    """Follows the program's trace as it grows: GDI objects, windows, window DCs."""

    def __init__(self, path):
        self.file = open(path, "rb")
        self.gdi = self.windows = self.dcs = 0
        self.crashed = False

    def update(self):
        for raw in self.file.read().decode("latin-1").splitlines():
            if match := GDI_COUNT.search(raw):
                # Wine counts the objects of the process; a free reports the count before.
                self.gdi = int(match.group(2)) - (match.group(1) == "freed")
            self.windows += bool(WINDOW_MADE.search(raw)) - bool(WINDOW_GONE.search(raw))
            self.dcs += bool(DC_GOT.search(raw)) - bool(DC_RELEASED.search(raw))
            self.crashed |= bool(CRASH.search(raw))


def process_figures(pid):
    """Private resident memory in kB and CPU seconds of a process. Only anonymous memory
    is counted: what the program allocates, and what a leak would grow; mapped files come
    and go with the machine's other work."""
    with open(f"/proc/{pid}/status") as f:
        rss = int(next(line for line in f if line.startswith("RssAnon:")).split()[1])
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return rss, (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def growth(first, last):
    return f"{100 * (last - first) / first:+.2f} %" if first else "-"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--minutes", type=int, default=60)
    parser.add_argument("--jitter", default="15")
    parser.add_argument("--drop", default="0.001")
    parser.add_argument("--spurious", default="0.001")
    args = parser.parse_args()

    arch, loader, tree = ws.choose_wine()
    exe = os.path.join(ROOT, tree, "src", "app", "horax.exe")
    prefix, ports = os.path.join(WORK, "wine-prefix"), os.path.join(WORK, "ports")
    if not os.path.exists(os.path.join(prefix, ".horax-ready")):
        ws.make_prefix(prefix, arch, loader, ports)
    session = ws.Session("soak", WORK, loader, prefix=prefix, ports=ports)
    sent_path = os.path.join(session.dir, "sent.trace")
    sim = session.simulator(1, SIM, "--weather", "--quiet", "--stdout", "--jitter", args.jitter,
                            "--drop", args.drop, "--spurious", args.spurious, "--seed", "1",
                            log=sent_path)
    program = session.run(exe, "1", debug=TRACE, TZ="Europe/Berlin")
    session.wait_for_window()
    offset = ws.wall_clock_offset()
    trace = TraceCounter(program.stderr_path)
    trace.update()
    rows = [(0, *process_figures(program.process.pid), trace.gdi, trace.windows, trace.dcs)]
    print(f"size of horax.exe: {os.path.getsize(exe)} bytes; noise: jitter {args.jitter} ms, "
          f"drop {args.drop}, spurious {args.spurious}")
    started = time.monotonic()
    try:
        for minute in range(1, args.minutes + 1):
            time.sleep(max(0.0, started + 60 * minute - time.monotonic()))
            if not program.running() or sim.poll() is not None:
                break
            trace.update()
            rows.append((minute, *process_figures(program.process.pid), trace.gdi,
                         trace.windows, trace.dcs))
            sets = program.clock_sets(offset)
            wrong = sum(not accepted for _, accepted, _ in sets)
            print(f"minute {minute}: private memory {rows[-1][1]} kB, GDI objects {trace.gdi}, "
                  f"windows {trace.windows}, window DCs held {trace.dcs}, sets {len(sets)}, "
                  f"wrong {wrong}", flush=True)
        crashed = not program.running() or trace.crashed
    finally:
        session.close()

    with open(sent_path) as f:
        minutes_sent = sum(1 for line in f if line.split()[2:3] == ["00"])
    sets = program.clock_sets(offset)
    delays = [-difference for _, accepted, difference in sets if accepted]
    first, last = rows[1] if len(rows) > 1 else rows[0], rows[-1]
    print()
    print("| figure | start | after minute 1 | end | growth from minute 1 |")
    print("|---|---|---|---|---|")
    for name, i in (("private memory (RssAnon), kB", 1), ("GDI objects", 3), ("windows", 4),
                    ("window DCs held", 5)):
        print(f"| {name} | {rows[0][i]} | {first[i]} | {last[i]} | {growth(first[i], last[i])} |")
    cpu = last[2] - rows[0][2]
    print(f"| CPU time | | | {cpu:.1f} s | {100 * cpu / max(1, 60 * last[0]):.2f} % of the time |")
    print()
    print(f"minutes run {last[0]}, minutes sent {minutes_sent}, clock sets {len(sets)}, "
          f"wrong sets {sum(not accepted for _, accepted, _ in sets)}, "
          f"crashes {int(crashed)}")
    if delays:
        print(f"set after the true minute's start: mean {sum(delays) / len(delays):.0f} ms, "
              f"max {max(delays)} ms")
    return 1 if crashed else 0


if __name__ == "__main__":
    sys.exit(main())
