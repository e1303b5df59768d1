#!/usr/bin/env python3
"""Runs a test command with COM ports of the Wine test prefix wired to pseudo-terminals.

    null_modem.py --ports DIR --receiver N --sender M [--absent K] [--not-serial J]
                  [--check-calls LOG] -- COMMAND [ARGS...]

The prefix maps COMn to DIR/comn (see horax_map_ports in scripts/wine-common.sh); this
script points those paths at devices for the time the command runs, then removes them.

  --receiver N, --sender M  COMN and COMM become the two ends of a null-modem cable:
                            what the command writes to COMM arrives on COMN's receive
                            line. Each end is a pseudo-terminal; this script holds both
                            masters and relays the bytes.
  --absent K                DIR/comK does not exist: COMK's device is missing.
  --not-serial J            COMJ opens, but as /dev/null, which is no serial port.
  --check-calls LOG         runs the command with Wine's file trace, keeps the whole
                            output in LOG and checks the calls made on the receiver
                            port (see check_calls).

The command finds the numbers in HORAX_TEST_RECEIVER_PORT, HORAX_TEST_SENDER_PORT,
HORAX_TEST_ABSENT_PORT and HORAX_TEST_NOT_SERIAL_PORT. The exit code is the command's,
or 1 when the call check fails.
"""

import argparse
import os
import re
import select
import subprocess
import sys
import threading
import tty


def link(ports, number, target):
    path = os.path.join(ports, "com%d" % number)
    unlink(ports, number)
    os.symlink(target, path)


def unlink(ports, number):
    path = os.path.join(ports, "com%d" % number)
    if os.path.lexists(path):
        os.unlink(path)


def open_end():
    """A pseudo-terminal in raw mode: all 256 byte values pass unchanged. The slave stays
    open here as well, so that the Windows side closing it is no hang-up."""
    master, slave = os.openpty()
    tty.setraw(slave)
    return master, slave, os.ttyname(slave)


def relay(source, sink, stop):
    while True:
        ready, _, _ = select.select([source, stop], [], [])
        if stop in ready:
            return
        data = os.read(source, 4096)
        while data:
            data = data[os.write(sink, data):]


# Wine's "file" trace channel, as Wine 8 writes it: the device opens of _lopen and the
# handle they return, the ioctls behind the Comm functions (handle, code), what
# ClearCommError found queued, the reads and the closes.
LOPEN = re.compile(r'trace:file:_lopen \("([^"]*)",([0-9a-f]+)\)')
OPENED = re.compile(r"trace:file:CreateFileW returning ([0-9A-Fa-f]+)")
IOCTL = re.compile(r"trace:file:NtDeviceIoControlFile \((0x[0-9a-f]+),(?:[^,]*,){4}(0x[0-9a-f]+),")
QUEUED = re.compile(r"trace:file:ClearCommError status \d+,\d+, in (\d+),")
READ = re.compile(r"trace:file:NtReadFile \((0x[0-9a-f]+),")
LCLOSE = re.compile(r"trace:file:_lclose handle (\d+)")

# The serial ioctls by code; GET_COMMSTATUS is ClearCommError.
SERIAL_CALLS = {
    0x1B0004: "SET_BAUD_RATE",
    0x1B000C: "SET_LINE_CONTROL",
    0x1B0024: "SET_DTR",
    0x1B0028: "CLR_DTR",
    0x1B0030: "SET_RTS",
    0x1B0034: "CLR_RTS",
    0x1B0050: "GET_BAUD_RATE",
    0x1B0054: "GET_LINE_CONTROL",
    0x1B0058: "GET_CHARS",
    0x1B005C: "SET_CHARS",
    0x1B0060: "GET_HANDFLOW",
    0x1B0064: "SET_HANDFLOW",
    0x1B006C: "GET_COMMSTATUS",
}
LINE_CALLS = ("SET_RTS", "CLR_DTR", "CLR_RTS", "SET_DTR")


def port_calls(output):
    """The _lopen calls, and the calls made on the handles they opened, from the open to
    the _lclose, in order: serial ioctl names (GET_COMMSTATUS with the number queued),
    "read" and "close". Handle numbers are reused, so only that span counts."""
    opens, calls = [], []
    opening, port = False, None
    for line in output.splitlines():
        match = LOPEN.search(line)
        if match:
            opens.append(match.groups())
            opening = True
            continue
        match = OPENED.search(line)
        if match and opening:
            port, opening = int(match.group(1), 16), False
            continue
        if port is None:
            continue
        match = IOCTL.search(line)
        if match and int(match.group(1), 16) == port:
            code = int(match.group(2), 16)
            calls.append(SERIAL_CALLS.get(code, hex(code)))
            continue
        match = QUEUED.search(line)
        if match and calls and calls[-1] == "GET_COMMSTATUS":
            # Traced right after its ioctl, on the one thread the test has.
            calls[-1] = "GET_COMMSTATUS(%s)" % match.group(1)
            continue
        match = READ.search(line)
        if match and int(match.group(1), 16) == port:
            calls.append("read")
            continue
        match = LCLOSE.search(line)
        if match and int(match.group(1)) == port:
            calls.append("close")
            port = None
    return opens, calls


def check_calls(output, receiver):
    """Checks the trace of a run that refuses ports 0 and 9, then opens the receiver
    port, reads what comes and closes it. A pseudo-terminal refuses RTS and DTR, so
    those are checked by their calls. Returns the port's calls and a list of faults."""
    opens, port = port_calls(output)
    faults = []
    if opens != [("Com%d" % receiver, "0000")]:
        faults.append("_lopen calls %s, expected only Com%d read-only" % (opens, receiver))
    if not port:
        return port, faults + ["no calls on the receiver port in the trace"]

    lines = [call for call in port if call in LINE_CALLS]
    if lines != list(LINE_CALLS):
        faults.append("RTS and DTR calls %s, expected %s" % (lines, list(LINE_CALLS)))
    powered = port.index("SET_RTS") if "SET_RTS" in port else 0
    for setting in ("SET_BAUD_RATE", "SET_LINE_CONTROL", "SET_HANDFLOW"):
        if setting not in port[:powered]:
            faults.append("%s is not done before the module is powered" % setting)

    reads = [i for i, call in enumerate(port) if call == "read"]
    if not reads:
        faults.append("the port was never read")
    for number, i in enumerate(reads, 1):
        queried = port[i - 1]
        if not queried.startswith("GET_COMMSTATUS(") or queried == "GET_COMMSTATUS(0)":
            faults.append("read %d follows %s, not ClearCommError finding a character" %
                          (number, queried))
    if port[-3:] != ["CLR_RTS", "SET_DTR", "close"]:
        faults.append("the port's last calls are %s, expected CLR_RTS, SET_DTR, close" %
                      port[-3:])
    return port, faults


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--ports", required=True)
    parser.add_argument("--receiver", type=int, required=True)
    parser.add_argument("--sender", type=int, required=True)
    parser.add_argument("--absent", type=int)
    parser.add_argument("--not-serial", type=int)
    parser.add_argument("--check-calls", metavar="LOG")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command")

    os.makedirs(args.ports, exist_ok=True)
    receiver_master, receiver_slave, receiver_name = open_end()
    sender_master, sender_slave, sender_name = open_end()
    link(args.ports, args.receiver, receiver_name)
    link(args.ports, args.sender, sender_name)
    env = dict(os.environ,
               HORAX_TEST_RECEIVER_PORT=str(args.receiver),
               HORAX_TEST_SENDER_PORT=str(args.sender))
    if args.absent is not None:
        unlink(args.ports, args.absent)
        env["HORAX_TEST_ABSENT_PORT"] = str(args.absent)
    if args.not_serial is not None:
        link(args.ports, args.not_serial, os.devnull)
        env["HORAX_TEST_NOT_SERIAL_PORT"] = str(args.not_serial)
    if args.check_calls:
        env["WINEDEBUG"] = "fixme-all,+file"

    stop_read, stop_write = os.pipe()
    relay_thread = threading.Thread(target=relay, args=(sender_master, receiver_master,
                                                        stop_read))
    relay_thread.start()
    try:
        if args.check_calls:
            run = subprocess.run(command, env=env, stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT, text=True, errors="replace")
            code = run.returncode
            with open(args.check_calls, "w") as log:
                log.write(run.stdout)
            # The test's own report, without the trace.
            for line in run.stdout.splitlines():
                if not re.match(r"^[0-9a-f]+:(trace|warn|fixme):", line):
                    print(line)
            port, faults = check_calls(run.stdout, args.receiver)
            print("receiver port calls: " + " ".join(port))
            refused = len(re.findall(r"Unsupported ioctl 1b00(?:24|28|30|34) ", run.stdout))
            print("RTS and DTR calls the pseudo-terminal refused: %d" % refused)
            for fault in faults:
                print("call check: " + fault)
            print("call check: %s (trace in %s)" % ("failed" if faults else "passed",
                                                     args.check_calls))
            if faults and code == 0:
                code = 1
        else:
            code = subprocess.call(command, env=env)
    finally:
        os.write(stop_write, b"x")
        relay_thread.join()
        for number in (args.receiver, args.sender, args.not_serial):
            if number is not None:
                unlink(args.ports, number)
        for fd in (receiver_master, receiver_slave, sender_master, sender_slave):
            os.close(fd)
    return code


if __name__ == "__main__":
    sys.exit(main())
