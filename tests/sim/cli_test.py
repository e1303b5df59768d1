#!/usr/bin/env python3
"""dcf77sim as a process: cli_test.py PATH_TO_DCF77SIM CASE, or cli_test.py PATH_TO_DCF77SIM
wine WINE_RUN DCF77SIM_EXE. Cases on real time poll for what they expect with generous
deadlines; none sleeps a guessed amount."""
import fcntl
import os
import pathlib
import re
import select
import signal
import subprocess
import sys
import tempfile
import termios
import time

SIM = sys.argv[1]
WINE_MESSAGE = re.compile(r"[0-9a-f]{4}:(err|warn|fixme|trace):")
DEADLINE = 15.0  # seconds; far beyond what any step needs
# Seconds either side of a character's moment: the simulator is late by some 5 ms at most
# on this machine (bench/sim_jitter.py), so fifty times that.
SLACK = 0.25
NOON = ["--start", "2026-01-10 12:00", "--minutes", "1"]  # a plain winter minute from noon


def wait_for(predicate):
    end = time.monotonic() + DEADLINE
    while not predicate():
        assert time.monotonic() < end, "timed out"
        time.sleep(0.01)


def start(*args, stdout=subprocess.PIPE):
    return subprocess.Popen([SIM, *args], stdout=stdout, stderr=subprocess.PIPE, text=True)


def finish(sim, status=0):
    """Waits for the end: standard output, or standard error of a run that failed."""
    out, err = sim.communicate(timeout=DEADLINE)
    assert sim.returncode == status and (out if status else err) == "", (sim.returncode, err)
    return err if status else out


def fast(*args):
    """The trace of a whole run on simulated time."""
    return finish(start("--stdout", "--fast", *args))


def on_pty(directory, *args):
    """dcf77sim sending from the open on a pseudo-terminal at DIRECTORY/com1, once it is there."""
    link = os.path.join(directory, "com1")
    sim = start("--pty", link, "--on-open", "--quiet", *args)
    wait_for(lambda: os.path.islink(link))
    return sim, link


def read_marks(fd, values, gaps):
    """Reads the characters `values`, `gaps` seconds apart; returns when the first came."""
    marks = []
    while len(marks) < len(values):
        assert select.select([fd], [], [], DEADLINE)[0], "a character in time"
        marks += [(value, time.monotonic()) for value in os.read(fd, 16)]
    assert [m[0] for m in marks] == values, marks
    for (_, earlier), (_, later), gap in zip(marks, marks[1:], gaps):
        assert abs(later - earlier - gap) < SLACK, marks
    return marks[0][1]


def write_file(directory, name, text):
    pathlib.Path(directory, name).write_text(text)
    return os.path.join(directory, name)


def test_bad_input():
    with tempfile.NamedTemporaryFile() as plain_file, tempfile.TemporaryDirectory() as directory:
        pulses = write_file(directory, "pulses", "# start width\n100 90\n\n1100 2x\n")
        backwards = write_file(directory, "backwards", "1000 100\n999.9 100\n")
        values = write_file(directory, "values", "190 240\n1190 256\n")
        for args, message in [(["--start", "2026-03-29 02:30"], "does not occur in the time zone"),
                              (["--tz", "Nowhere/Nothing"], "unknown time zone"),
                              (["--device", "/nonexistent/ttyS9"], "cannot open --device"),
                              (["--device", "/dev/null"], "/dev/null: not a serial port"),
                              (["--pty", plain_file.name], "exists and is no symlink"),
                              (["--replay-pulses", pulses], pulses + " line 4: wants"),
                              (["--replay-pulses", backwards], backwards + " line 2: the pulse"),
                              (["--replay", values], values + " line 2: the value is no"),
                              (["--replay", directory + "/none"], "cannot open --replay"),
                              (["--record", directory + "/none/x"], "cannot write --record")]:
            err = finish(start("--stdout", *args), 2)
            assert err.startswith("dcf77sim: ") and message in err and err.count("\n") == 1, err
        assert os.path.isfile(plain_file.name)


def test_trace():
    # A seed repeats a run, faults and all; a leap second is a 0 bit in second 59 and a
    # silent second 60.
    args = ["--drop", "0.1", "--flip", "0.2", "--garble", "0.3", "--spurious", "0.4", "--seed",
            "10", "--leap", "--start", "2026-06-30 01:59:55", "--minutes", "1"]
    out = fast(*args)
    assert out == fast(*args) and " -- - 0x" in out, out
    assert "01:59:59 59 0 " in out and "01:59:60 60 - -\n" in out, out
    # 90 ms and 150 ms marks: each lies on a sample point, so the jitter gives two characters.
    out = fast("--short-mark", "90", "--long-mark", "150", "--jitter", "4", "--seed", "1", *NOON)
    assert {line[-4:] for line in out.splitlines() if "0x" in line} == {
        "0xF8", "0xF0", "0xC0", "0x80"}, out
    # Spikes add lines of their own; every second keeps its one line.
    lines = fast("--spikes", "30", "--seed", "2", *NOON).splitlines()
    assert [line.split()[2] for line in lines if " -- " not in line] == [
        f"{second:02d}" for second in [*range(60), 0]], lines
    assert 15 <= sum(" -- - 0x" in line for line in lines) <= 45, lines


def seconds_sent(*options):
    """The character of each second's mark in an hour of marks, by a fixed seed."""
    out = fast("--weather", "--seed", "5", "--start", "2026-01-10 12:00", "--minutes", "60",
               *options)
    return [line.split()[2:] for line in out.splitlines()]


def test_faults():
    # Each fault against the clean run of the same seed: only the seconds it hits change,
    # each in its own way, about as often as asked.
    clean = seconds_sent()
    marks = sum(char != "-" for _, _, char in clean)
    other_width = {"0xF0": "0x00", "0x00": "0xF0"}
    for option, changed in [("--drop", lambda was: "-"), ("--flip", other_width.get),
                            ("--garble", None)]:
        faulty = seconds_sent(option, "0.2")
        assert [line[:2] for line in faulty] == [line[:2] for line in clean], option
        hits = [(was[2], now[2]) for was, now in zip(clean, faulty) if was != now]
        assert all(was != "-" and (changed is None or now == changed(was))
                   for was, now in hits), (option, hits)
        assert 0.17 * marks < len(hits) < 0.23 * marks, (option, len(hits), marks)


def test_pty():
    with tempfile.TemporaryDirectory() as directory:
        sim, link = on_pty(directory, "--start", "2026-03-29 01:59", "--from-second", "56",
                           "--stdout")
        # Nothing goes out while no one has the port open: a second and a half of silence.
        assert not select.select([sim.stdout], [], [], 1.5)[0], "a trace before the open"
        fd = os.open(link, os.O_RDONLY | os.O_NOCTTY)
        opened = time.monotonic()
        # Seconds 56, 57, 58 (the date's parity: 1) at once after the open, then second 0;
        # each character when the UART samples its stop bit, 190 ms into the mark.
        first = read_marks(fd, [0xF0, 0xF0, 0x00, 0xF0], [1, 1, 2])
        # It cannot come before 190 ms after the open; the lower bound allows for the clocks.
        assert 0.15 < first - opened < 0.19 + SLACK, first - opened
        sim.send_signal(signal.SIGTERM)
        sent = [line[-4:] for line in finish(sim).splitlines() if "0x" in line]
        assert sent[:4] == ["0xF0", "0xF0", "0x00", "0xF0"], sent
        assert not os.path.lexists(link)


def test_device():
    master, slave = os.openpty()
    before = termios.tcgetattr(slave)
    sim = start("--device", os.ttyname(slave), "--start", "2026-03-29 01:59:57", "--minutes",
                "1", "--quiet")
    read_marks(master, [0xF0, 0x00, 0xF0], [1, 2])
    # The run keeps the port to the end of its last second.
    _, _, cflag, _, ispeed, ospeed, _ = termios.tcgetattr(slave)
    finish(sim)
    assert ispeed == ospeed == termios.B50 and cflag & (termios.CSIZE | termios.PARENB) == (
        termios.CS8)
    assert termios.tcgetattr(slave) == before, "settings restored"


def test_signals():
    with tempfile.TemporaryDirectory() as directory:
        sim, link = on_pty(directory, "--stdout")
        sim.send_signal(signal.SIGINT)
        assert finish(sim) == "" and not os.path.lexists(link)
    # Into a pipe that no one reads, until the write blocks on it.
    reader, writer = os.pipe()
    sim = start("--stdout", "--fast", stdout=writer)
    os.close(writer)
    full = fcntl.fcntl(reader, fcntl.F_GETPIPE_SZ).to_bytes(4, sys.byteorder)
    wait_for(lambda: fcntl.ioctl(reader, termios.FIONREAD, bytes(4)) == full)
    sim.send_signal(signal.SIGINT)
    finish(sim)


def test_replay():
    with tempfile.TemporaryDirectory() as directory:
        # A 0 mark; a 1 mark cut by a spike; a spike 156 ms before a 0 mark swallows its edge.
        pulses = write_file(directory, "pulses",
                            "# start width\n1000 100\n2000 200\n2080 15\n2844 20\n3000 100\n")
        assert fast("--replay-pulses", pulses) == "1190.0 0xF0\n2190.0 0x08\n3034.0 0x7F\n"
        # In a FIFO the clean character waits 800 ms; the broken ones end low and go at once.
        assert fast("--replay-pulses", pulses, "--fifo") == (
            "1990.0 0xF0\n2190.0 0x08\n3034.0 0x7F\n")

        # What is recorded plays back as it was, at the recorded times.
        first, second = os.path.join(directory, "first"), os.path.join(directory, "second")
        trace = fast("--record", first, "--spikes", "20", "--spurious", ".2", "--fifo", "--seed",
                     "4", *NOON)
        played = fast("--replay", first, "--record", second)
        text = pathlib.Path(first).read_text()
        assert text.startswith("# ") and pathlib.Path(second).read_text() == text
        recorded = [(int(ms), int(value)) for ms, value in map(str.split, text.splitlines()[1:])]
        assert [line[-4:] for line in trace.splitlines() if not line.endswith(" -")] == [
            f"0x{value:02X}" for _, value in recorded]
        assert played.splitlines() == [f"{ms}.0 0x{value:02X}" for ms, value in recorded]

        # Onto a port, on real time, from the open.
        short = write_file(directory, "short", "300 240\n1300 0\n")
        sim, link = on_pty(directory, "--replay", short)
        fd = os.open(link, os.O_RDONLY | os.O_NOCTTY)
        opened = time.monotonic()
        assert abs(read_marks(fd, [0xF0, 0x00], [1]) - opened - 0.3) < SLACK
        finish(sim)


def test_zone():
    # Each zone springs forward after the second minute: New York from 02:00 EST, Dublin,
    # whose zoneinfo calls winter time the daylight-saving time, from 01:00 GMT. Bits 1 to
    # 18 (no weather, no call; A1, Z1, Z2) for the last winter minute and two summer ones:
    for zone, first in [("America/New_York", "2026-03-08 01:58"),
                        ("Europe/Dublin", "2026-03-29 00:58")]:
        lines = fast("--tz", zone, "--start", first, "--minutes", "3").splitlines()
        bits = ["".join(lines[60 * m + s].split()[3] for s in range(1, 19)) for m in range(3)]
        assert bits == ["0" * 15 + flags for flags in ("101", "110", "010")], (zone, bits)


def test_wine():
    # The Windows build, with its own clock, calendar and random draws, sends what the
    # native one sends: a noisy minute over the spring change, through the FIFO.
    args = ["--stdout", "--fast", "--start", "2026-03-29 01:59", "--minutes", "1", "--weather",
            "--seed", "7", "--spikes", "10", "--spurious", ".05", "--drop", ".05", "--flip",
            ".05", "--garble", ".05", "--jitter", "10", "--fifo"]
    windows = subprocess.run([sys.argv[3], sys.argv[4], *args], capture_output=True, text=True,
                             timeout=DEADLINE * 4)
    assert windows.returncode == 0, windows.stdout
    # The wrapper passes Wine's own messages on with the program's output; a busy machine
    # brings some ("err:ole:start_rpcss ..."), which are no part of the trace.
    trace = "".join(line for line in windows.stdout.splitlines(keepends=True)
                    if not WINE_MESSAGE.match(line))
    native = finish(start(*args))
    assert trace == native and native.count("\n") > 60, (windows.stdout, native)


if __name__ == "__main__":
    globals()["test_" + sys.argv[2]]()
    print("ok")
