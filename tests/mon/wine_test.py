#!/usr/bin/env python3
"""wine_test.py DCF77MON_EXE DCF77SIM WINE_DIR: the Windows build of dcf77mon under Wine
reads one minute from dcf77sim on COM2 of the build tree's prefix (see scripts/wine-env),
and Ctrl-C ends it with its summary. Waits poll for what they expect with generous
deadlines."""
import os
import signal
import subprocess
import sys
import tempfile
import time

MON, SIM, WINE_DIR = sys.argv[1:4]
DEADLINE = 15.0
MINUTE_DEADLINE = 90.0  # a real minute of signal, and Wine's start
PORT = 2


def read_config(path):
    with open(path) as f:
        return dict(line.strip().replace("'", "").split("=", 1) for line in f
                    if "=" in line and not line.startswith("#"))


def wait_for(predicate, deadline, what):
    end = time.monotonic() + deadline
    while not predicate():
        assert time.monotonic() < end, f"timed out waiting for {what}"
        time.sleep(0.05)


def main():
    config = read_config(os.path.join(WINE_DIR, "config.sh"))
    env = dict(os.environ, WINEPREFIX=os.path.join(WINE_DIR, "prefix"),
               WINEDLLOVERRIDES="mscoree,mshtml=", WINEDEBUG="fixme-all")
    with open(os.path.join(WINE_DIR, "display")) as f:
        env["DISPLAY"] = f.read().strip()
    link = os.path.join(WINE_DIR, "ports", f"com{PORT}")
    sim = subprocess.Popen([SIM, "--pty", link, "--on-open", "--start", "2012-01-10 01:29",
                            "--minutes", "1", "--weather", "--seed", "5", "--quiet"])
    # Wine's helper processes would hold a pipe open: the output goes to a file.
    with tempfile.TemporaryFile("w+b") as out:
        monitor = None
        try:
            wait_for(lambda: os.path.islink(link), DEADLINE, "dcf77sim's port")
            monitor = subprocess.Popen([config["HORAX_WINE_LOADER"], MON, f"COM{PORT}"], env=env,
                                       stdin=subprocess.DEVNULL, stdout=out,
                                       stderr=subprocess.DEVNULL)

            def text():
                out.seek(0)
                return out.read().decode("latin-1").replace("\r", "")

            held = "minute: 10.01.12 01:30 Tue, decoded, held"
            wait_for(lambda: held in text(), MINUTE_DEADLINE, "the minute")
            # Wine turns the signal into the console's Ctrl+C.
            monitor.send_signal(signal.SIGINT)
            assert monitor.wait(DEADLINE) == 0
        finally:
            for process in (monitor, sim):
                if process is not None and process.poll() is None:
                    process.kill()
                    process.wait()
        lines = text().splitlines()
    seconds = [line.split()[-1] for line in lines if "  0x" in line and "." in line.split()[0]]
    assert seconds == [str(s) for s in range(1, 59)] + ["0"], lines
    assert any(line.startswith("summary after ") and
               line.endswith(" s: minutes seen 1, decoded 1, confirmed 0") for line in lines), lines
    print("ok")


if __name__ == "__main__":
    main()
