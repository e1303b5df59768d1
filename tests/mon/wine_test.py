#!/usr/bin/env python3
"""wine_test.py DCF77MON_EXE DCF77SIM TEMPLATE_PREFIX LOADER WORKDIR: the Windows build of
dcf77mon under Wine, in a session of its own (scripts/wine_session.py), reads one minute
from dcf77sim on COM2, warning that the driver refused the one-byte receive FIFO, and Ctrl-C
ends it with its summary. Waits poll for what they expect with generous deadlines."""
import os
import signal
import subprocess
import sys

import wine_session as ws

MON, SIM, TEMPLATE, LOADER, WORK = sys.argv[1:6]
DEADLINE = 15.0
MINUTE_DEADLINE = 90.0  # a real minute of signal, and Wine's start
PORT = 2


def main():
    session = ws.Session("dcf77mon", WORK, LOADER, template=TEMPLATE)
    # dcf77sim starts with second 1 of 01:29 when the monitor opens the port.
    session.simulator(PORT, SIM, "--on-open", "--start", "2012-01-10 01:29", "--minutes", "1",
                      "--weather", "--seed", "5", "--quiet")
    # Wine's helper processes would hold a pipe open: the output goes to a file.
    out_path = os.path.join(session.dir, "dcf77mon.out")
    with open(out_path, "wb") as out:
        monitor = subprocess.Popen([session.loader, MON, f"COM{PORT}"], env=session.env,
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                   start_new_session=True)

    def text(path=out_path):
        with open(path, "rb") as f:
            return f.read().decode("latin-1").replace("\r", "")

    try:
        held = "minute: 10.01.12 01:30 Tue CET, decoded, held"
        ws.wait_for(lambda: held in text() or monitor.poll() is not None, MINUTE_DEADLINE,
                    "the minute")
        # Wine turns the signal into the console's Ctrl+C.
        monitor.send_signal(signal.SIGINT)
        assert monitor.wait(DEADLINE) == 0, text()
        # A recording inside the Windows folder is refused, its path made whole first.
        refused = os.path.join(session.dir, "refused.out")
        with open(refused, "wb") as out:
            status = subprocess.run([session.loader, MON, f"COM{PORT}", "--record",
                                     "c:\\WINDOWS\\system32\\..\\r.txt"], env=session.env,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                    timeout=DEADLINE).returncode
        assert status == 2 and text(refused).startswith(
            "dcf77mon: c:\\WINDOWS\\r.txt is inside the Windows folder (C:\\windows), "), status
        assert not os.path.exists(os.path.join(session.prefix, "drive_c", "windows", "r.txt"))
    finally:
        if monitor.poll() is None:
            os.killpg(monitor.pid, signal.SIGKILL)
            monitor.wait()
        session.close()
    lines = text().splitlines()
    # Wine's serial driver refuses the FIFO request, as a USB adapter's does.
    notice = f"dcf77mon: warning: COM{PORT} refused the request for a one-byte receive FIFO. A"
    assert any(line.startswith(notice) for line in lines), lines
    seconds = [line.split()[-1] for line in lines if "  0x" in line and "." in line.split()[0]]
    assert seconds == [str(s) for s in range(1, 59)] + ["0"], lines
    assert any(line.startswith("summary after ") and
               line.endswith(" s: minutes seen 1, decoded 1, confirmed 0") for line in lines), lines
    print("ok")


if __name__ == "__main__":
    main()
