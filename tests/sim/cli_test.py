#!/usr/bin/env python3
"""dcf77sim through its command line: usage: cli_test.py PATH_TO_DCF77SIM CASE.

Real-time cases poll for what they expect with generous deadlines; none sleeps a guessed
amount."""
import os
import re
import select
import signal
import subprocess
import sys
import tempfile
import termios
import time

SIM = sys.argv[1]
DEADLINE = 15.0  # seconds; far beyond what any step needs
SPACING_SLACK = 0.25  # seconds either side of the 1 s (or 2 s) between two marks
TRACE_LINE = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (\d\d|--) [01-] (0x[0-9A-F]{2}|-)$")


def check(condition, what):
    if not condition:
        raise AssertionError(what)


def wait_for(predicate, what):
    end = time.monotonic() + DEADLINE
    while time.monotonic() < end:
        if predicate():
            return
        time.sleep(0.01)
    raise AssertionError("timed out waiting for " + what)


def run(*args):
    return subprocess.run([SIM, *args], capture_output=True, text=True, timeout=DEADLINE)


def select_readable(fd, timeout=0):
    return bool(select.select([fd], [], [], timeout)[0])


def read_marks(fd, count):
    """Reads `count` characters, each with its arrival time on the monotonic clock."""
    marks = []
    while len(marks) < count:
        check(select_readable(fd, DEADLINE), "character %d in time" % (len(marks) + 1))
        marks += [(value, time.monotonic()) for value in os.read(fd, 16)]
    return marks


def check_marks(marks, values, gaps):
    check([m[0] for m in marks] == values, "characters %s, expected %s" % (
        [hex(m[0]) for m in marks], [hex(v) for v in values]))
    for (_, earlier), (_, later), gap in zip(marks, marks[1:], gaps):
        check(abs(later - earlier - gap) < SPACING_SLACK, "spacing %.3f s, expected %d s" % (
            later - earlier, gap))


def trace_lines(text):
    lines = text.splitlines()
    for line in lines:
        check(TRACE_LINE.match(line), "trace line %r" % line)
    return lines


def test_bad_input():
    with tempfile.NamedTemporaryFile() as plain_file:
        cases = [
            (["--stdout", "--bogus"], "unknown option '--bogus'"),
            (["--stdout", "--start", "2026-02-29 10:00"], "--start wants a valid"),
            (["--stdout", "--start", "2026-03-29 02:30"], "does not occur in the time zone"),
            (["--stdout", "--tz", "Nowhere/Nothing"], "unknown time zone 'Nowhere/Nothing'"),
            (["--device", "/nonexistent/ttyS9"], "cannot open --device /nonexistent/ttyS9"),
            (["--device", "/dev/null"], "cannot configure --device /dev/null"),
            (["--pty", plain_file.name], "it exists and is no symlink"),
            ([], "no output"),
        ]
        for args, message in cases:
            result = run(*args)
            check(result.returncode == 2, "%s: exit %d" % (args, result.returncode))
            check(result.stdout == "", "%s: printed %r" % (args, result.stdout))
            lines = result.stderr.splitlines()
            check(len(lines) == 1 and lines[0].startswith("dcf77sim: ") and message in lines[0],
                  "%s: stderr %r" % (args, result.stderr))
        check(os.path.isfile(plain_file.name), "a file in the --pty place was kept")
    result = run("--help")
    check(result.returncode == 0 and "--garble P" in result.stdout, "--help")


def test_trace():
    result = run("--stdout", "--fast", "--start", "1997-06-15 13:44", "--minutes", "1")
    lines = trace_lines(result.stdout)
    check(result.returncode == 0 and len(lines) == 61, "one minute and its closing mark")
    bits = "".join(line.split()[3] for line in lines[:59])
    # Hand-checked telegram for Sunday 1997-06-15 13:45 CEST.
    check(bits == "00000000000000000100110100011110010110101011101100111010011", bits)
    check(lines[59] == "1997-06-15 13:44:59 59 - -" and
          lines[60] == "1997-06-15 13:45:00 00 0 0xF0", lines[59:])
    for line in lines[:59]:
        _, _, _, bit, char = line.split()
        check(char == ("0x00" if bit == "1" else "0xF0"), line)

    leap = run("--stdout", "--fast", "--leap", "--start", "2026-06-30 01:58", "--minutes", "3")
    lines = trace_lines(leap.stdout)
    check(len(lines) == 60 + 61 + 60 + 1, "leap run of %d lines" % len(lines))
    check("2026-06-30 01:59:59 59 0 0xF0" in lines and "2026-06-30 01:59:60 60 - -" in lines,
          "leap second lines")


def start_sim(*args, **kwargs):
    return subprocess.Popen([SIM, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, **kwargs)


def finish(sim):
    out, err = sim.communicate(timeout=DEADLINE)
    check(sim.returncode == 0, "exit %d: %s" % (sim.returncode, err))
    return out


def test_pty():
    with tempfile.TemporaryDirectory() as directory:
        link = os.path.join(directory, "com1")
        sim = start_sim("--pty", link, "--on-open", "--start", "2026-03-29 01:59",
                        "--from-second", "56", "--minutes", "1", "--stdout", "--quiet")
        wait_for(lambda: os.path.islink(link), "the link")
        # Nothing may go out while no one has the port open: a second and a half of silence.
        check(not select_readable(sim.stdout.fileno(), 1.5), "no trace before the port opens")
        fd = os.open(link, os.O_RDONLY | os.O_NOCTTY)
        opened = time.monotonic()
        marks = read_marks(fd, 4)
        out = finish(sim)
        os.close(fd)
        check(marks[0][1] - opened < SPACING_SLACK, "first mark at once after the open")
        # Seconds 56, 57 (year bits 40, 80 of 26: 0), 58 (date parity: 1), then second 0.
        check_marks(marks, [0xF0, 0xF0, 0x00, 0xF0], [1, 1, 2])
        sent = [int(line.split()[4], 16) for line in trace_lines(out) if "0x" in line]
        check(sent == [m[0] for m in marks], "trace %r" % out)
        check(not os.path.lexists(link), "link removed")


def test_device():
    master, slave = os.openpty()
    path = os.ttyname(slave)
    before = termios.tcgetattr(slave)
    sim = start_sim("--device", path, "--start", "2026-03-29 01:59:57", "--minutes", "1",
                    "--quiet")
    marks = read_marks(master, 1)
    settings = termios.tcgetattr(slave)
    marks += read_marks(master, 2)
    finish(sim)
    check(settings[4] == termios.B50 and settings[5] == termios.B50, "50 baud")
    check(settings[2] & termios.CSIZE == termios.CS8 and not settings[2] & termios.PARENB,
          "8N1")
    check(termios.tcgetattr(slave)[4] == before[4], "settings restored on exit")
    check_marks(marks, [0xF0, 0x00, 0xF0], [1, 2])
    os.close(master)
    os.close(slave)


def test_signals():
    """Each signal ends a run cleanly: while it waits for --on-open, and while it sends."""
    with tempfile.TemporaryDirectory() as directory:
        link = os.path.join(directory, "com1")
        for number, opened in [(signal.SIGINT, False), (signal.SIGTERM, False),
                               (signal.SIGINT, True), (signal.SIGTERM, True)]:
            sim = start_sim("--pty", link, "--on-open", "--start", "2026-03-29 01:59", "--stdout",
                            "--quiet")
            wait_for(lambda: os.path.islink(link), "the link")
            if opened:
                fd = os.open(link, os.O_RDONLY | os.O_NOCTTY)
                read_marks(fd, 1)
                os.close(fd)
            sim.send_signal(number)
            out = finish(sim)
            check(not os.path.lexists(link), "link removed after signal %d" % number)
            # Without --from-second, --on-open starts with second 1.
            check(out.startswith("2026-03-29 01:59:01 01 0 0xF0\n") == opened, out)


def test_zone():
    # New York springs from 02:00 EST to 03:00 EDT on 2026-03-08.
    result = run("--stdout", "--fast", "--tz", "America/New_York", "--start",
                 "2026-03-08 01:58", "--minutes", "3")
    check(result.returncode == 0, result.stderr)
    lines = trace_lines(result.stdout)
    minutes = {}
    for line in lines:
        day, clock, second, bit, _ = line.split()
        minutes.setdefault(clock[:5], {})[int(second)] = bit
    check(list(minutes) == ["01:58", "01:59", "03:00", "03:01"], list(minutes))
    # A1, Z1, Z2 of the telegrams for 01:59 EST, 03:00 EDT, 03:01 EDT.
    flags = [(m[16], m[17], m[18]) for m in (minutes["01:58"], minutes["01:59"],
                                             minutes["03:00"])]
    check(flags == [("1", "0", "1"), ("1", "1", "0"), ("0", "1", "0")], flags)


if __name__ == "__main__":
    globals()["test_" + sys.argv[2]]()
    print("ok")
