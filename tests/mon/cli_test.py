#!/usr/bin/env python3
"""dcf77mon as a process: cli_test.py DCF77MON DCF77SIM CASE. Cases on real time poll for
what they expect with generous deadlines; the one pause lets the monitor's retries pass."""
import atexit
import os
import pathlib
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time
import tty

MON, SIM = sys.argv[1], sys.argv[2]
DEADLINE = 15.0  # seconds; far beyond what any step needs
MINUTE_DEADLINE = 90.0  # a real minute of signal, and then some
RETRY_S = 3.0  # how often the monitor tries a port that went away, as horax does
CHARACTER_LINE = re.compile(r"^ *\d+\.\d{3}  0x")


class Running:
    """A running program, the lines of its standard output and error read as they come."""

    def __init__(self, *command):
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True)
        self.lines = []
        self.reader = threading.Thread(target=self._read)
        self.reader.start()
        # A program left running would hold a pseudo-terminal that the next case names alike.
        atexit.register(self.process.kill)

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))

    def wait_for(self, predicate, deadline=DEADLINE):
        end = time.monotonic() + deadline
        while True:
            reading = self.reader.is_alive()  # looked at first: no line can come after
            if predicate():
                return
            assert reading and time.monotonic() < end, ("ended or timed out", self.lines[-5:])
            self.reader.join(0.05)

    def stop(self):
        """Ctrl-C; returns the exit status once all output is in."""
        self.process.send_signal(signal.SIGINT)
        status = self.process.wait(DEADLINE)
        self.reader.join(DEADLINE)
        return status


def printed(lines, start):
    return [line for line in lines if line.startswith(start)]


def characters(lines):
    return [line for line in lines if CHARACTER_LINE.match(line)]


def refuse(args, message):
    result = subprocess.run([MON, *args], capture_output=True, text=True, timeout=DEADLINE)
    assert (result.returncode, result.stderr) == (2, f"dcf77mon: {message}\n"), (args, result)


def receiver_port(link):
    """A pseudo-terminal of the test's own at `link`, as a receiver module's port; its master."""
    master, slave = os.openpty()
    tty.setraw(slave)
    os.symlink(os.ttyname(slave), link)
    os.close(slave)
    return master


def test_bad_input():
    with tempfile.TemporaryDirectory() as directory:
        bad = os.path.join(directory, "bad.txt")
        pathlib.Path(bad).write_text("# a recording\n1000 240\n2000 0x00\n")
        for args, message in [
                (["/nonexistent/ttyS9"], "/nonexistent/ttyS9 does not exist"),
                (["/dev/null"], "/dev/null is no serial port"),
                (["--replay", bad], f'{bad}:3: not "ms value clock" or "ms value": 2000 0x00'),
                (["--replay", "/nonexistent.txt"],
                 "cannot read /nonexistent.txt: No such file or directory"),
                (["--replay", directory], f"cannot read {directory}: Is a directory"),
                (["/dev/null", "--record", "/nonexistent/r.txt"],
                 "cannot write /nonexistent/r.txt: No such file or directory"),
                (["--replay"], "missing FILE after --replay (see --help)")]:
            refuse(args, message)


def test_minute_on_pty():
    # dcf77sim starts with second 1 of 01:29 when the monitor opens the port: one minute,
    # then the mark of 01:30 closes it. A first minute is held: nothing confirms it yet.
    with tempfile.TemporaryDirectory() as directory:
        link = os.path.join(directory, "com1")
        recording = os.path.join(directory, "session.txt")
        sim = Running(SIM, "--pty", link, "--on-open", "--start", "2012-01-10 01:29", "--minutes",
                      "1", "--weather", "--seed", "5", "--quiet")
        sim.wait_for(lambda: os.path.islink(link))
        monitor = Running(MON, link, "--record", recording)
        held = "minute: 10.01.12 01:30 Tue CET, decoded, held"
        monitor.wait_for(lambda: printed(monitor.lines, held), MINUTE_DEADLINE)
        assert monitor.stop() == 0
        out = monitor.lines
        marks = [line.split()[-1] for line in characters(out)]
        assert marks == [str(s) for s in range(1, 59)] + ["0"], out
        summary = [line.split(" s: ")[1] for line in printed(out, "summary after ")]
        assert summary == ["minutes seen 1, decoded 1, confirmed 0"], out
        # dcf77sim may have ended, and its port gone, before the stop.
        notices = printed(out, "dcf77mon:")[1:]  # after the first line, which names the port
        assert set(notices) <= {f"dcf77mon: {link} went away; waiting for it to return"}
        # A line for each character, and the header.
        assert len(pathlib.Path(recording).read_text().splitlines()) == len(characters(out)) + 1


def test_port_returns():
    # A second monitor finds the port in use. The port goes away under the monitor and comes
    # back at the same name: reported once, and reception starts afresh, the next character
    # as the first mark of a minute.
    with tempfile.TemporaryDirectory() as directory:
        link = os.path.join(directory, "com1")
        master = receiver_port(link)
        monitor = Running(MON, link)
        monitor.wait_for(lambda: printed(monitor.lines, "dcf77mon:"))
        refuse([link], f"{link} is in use by another program")
        os.write(master, b"\xf0")
        monitor.wait_for(lambda: characters(monitor.lines))
        os.unlink(link)
        os.close(master)
        gone = f"dcf77mon: {link} went away; waiting for it to return"
        monitor.wait_for(lambda: gone in monitor.lines)
        # Two tries pass, which must not repeat the report.
        time.sleep(2.5 * RETRY_S)
        master = receiver_port(link)
        back = f"dcf77mon: {link} is back; reception starts afresh"
        monitor.wait_for(lambda: back in monitor.lines)
        os.write(master, b"\x00")
        monitor.wait_for(lambda: len(characters(monitor.lines)) == 2)
        assert monitor.stop() == 0
        assert printed(monitor.lines, "dcf77mon:")[1:] == [gone, back], monitor.lines
        mark = characters(monitor.lines)[1]
        assert mark.split()[1:] == ["0x00", "over", "170", "ms", "1", "1"], mark


if __name__ == "__main__":
    globals()["test_" + sys.argv[3]]()
    print("ok")
