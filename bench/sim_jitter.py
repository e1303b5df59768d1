#!/usr/bin/env python3
"""How punctually dcf77sim's characters arrive: usage: sim_jitter.py PATH_TO_DCF77SIM [SECONDS].

Runs dcf77sim on a pseudo-terminal with its marks on the real clock's second boundaries,
reads each character with its arrival time, and prints the jitter percentiles two ways:
  - against the moments the characters are meant to arrive: the system clock's whole
    seconds plus the 190 ms the receiving UART takes to hand a character over;
  - against the best fitting grid of whole seconds on the monotonic clock (what the
    sleep to an absolute deadline alone adds).
The reader's own wake-up time is included, so these are upper bounds for the writes."""
import os
import select
import subprocess
import sys
import tempfile
import time

NS_PER_S = 1_000_000_000
NS_PER_MS = 1_000_000
UART_HAND_OVER_NS = 190 * NS_PER_MS


def percentile(sorted_values, fraction):
    index = min(len(sorted_values) - 1, max(0, round(fraction * (len(sorted_values) - 1))))
    return sorted_values[index]


def report(name, lateness_ns):
    values = sorted(lateness_ns)
    print("%-22s n=%d  p50 %.3f ms  p99 %.3f ms  max %.3f ms" % (
        name, len(values), percentile(values, 0.50) / NS_PER_MS,
        percentile(values, 0.99) / NS_PER_MS, values[-1] / NS_PER_MS))


def main():
    sim = sys.argv[1]
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 120
    with tempfile.TemporaryDirectory() as directory:
        link = os.path.join(directory, "com")
        process = subprocess.Popen([sim, "--pty", link, "--quiet"])
        try:
            while not os.path.islink(link):
                if process.poll() is not None:
                    sys.exit("dcf77sim ended early")
                time.sleep(0.01)
            fd = os.open(link, os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
            wall, mono = [], []
            end = time.monotonic() + seconds
            while time.monotonic() < end:
                if not select.select([fd], [], [], 1.5)[0]:
                    continue
                wall_now, mono_now = time.time_ns(), time.monotonic_ns()
                for _ in os.read(fd, 64):
                    wall.append(wall_now)
                    mono.append(mono_now)
            os.close(fd)
        finally:
            process.terminate()
            process.wait()
    if len(wall) < 2:
        sys.exit("too few characters")
    # Late by less than half a second: the remainder past the whole second.
    report("vs system clock", [((t - UART_HAND_OVER_NS + NS_PER_S // 2) % NS_PER_S) - NS_PER_S // 2
                               for t in wall])
    steps = [round((t - mono[0]) / NS_PER_S) for t in mono]
    offsets = [t - k * NS_PER_S for t, k in zip(mono, steps)]
    report("vs monotonic grid", [o - min(offsets) for o in offsets])


if __name__ == "__main__":
    main()
