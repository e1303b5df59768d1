#!/bin/sh
# null_modem.sh PORTS COMMAND...: runs COMMAND with the test prefix's COM1 to COM4, mapped
# to PORTS/com1..4 (make_prefix in scripts/wine_session.py), wired for the port tests:
# what is written to COM4 arrives on COM3, and COM1 is /dev/null, no serial port.
ports=$1
shift
rm -f "$ports"/com[1-4]
ln -s /dev/null "$ports/com1"
socat pty,rawer,link="$ports/com3" pty,rawer,link="$ports/com4" &
trap 'kill $!; rm -f "$ports/com1"' EXIT
while [ ! -e "$ports/com4" ]; do sleep 0.05; done
"$@"
