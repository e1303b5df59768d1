"""The port on the command line: the usage message for a wrong command line, a wait
for a missing port; and the port going away while the program runs, as an unplugged USB
adapter or a driver that lost its device across sleep does, and coming back under the same
COM name."""

import time

import wine_session as ws
from harness import PBT_APMRESUMEAUTOMATIC, SIM, WM_CLOSE, WM_POWERBROADCAST, SessionTest

PORT = 2
# The simulator starts with second 1 of this minute when the port opens, a mark a second.
START = "2030-01-07 12:00"
USAGE = "Usage: HORAX <n>\twhere n ist the number of the COM\n\t\tport with the DCF77 module"


class CommandLineTest(SessionTest):
    def test_a_port_not_there_yet_is_waited_for_and_wrong_command_lines_show_the_usage(self):
        # COM2 is mapped, but to a link that leads nowhere until the port comes.
        program = self.start("2")
        time.sleep(6)  # Wine starts, and a try or two pass
        self.assertTrue(program.running(), "ended while the port could still come")
        self.assertIsNone(self.session.window())
        self.session.pty(2)
        self.addCleanup(self.session.close_ptys)
        self.session.wait_for_window()  # made once the port is open
        self.send(WM_CLOSE)
        self.assertEqual(program.wait(10), 0)

        self.session.close_ptys()
        ports = [self.session.pty(n) for n in (1, 2, 3, 4)]
        for args in ([], ["1", "2"], ["12"], ["0"], ["5"], ["A"], ["+"]):
            with self.subTest(args=args):
                program = self.start(*args)
                # Found under the platform's default caption: the box has none of its own.
                self.assertEqual(self.probe("msgbox", "Error"), (0, USAGE))
                self.assertEqual(program.wait(20), 1)  # the guide's status for it
        self.assertEqual([p.opened.is_set() for p in ports], [False] * 4,
                         "a wrong command line opened a port")


class PortTest(SessionTest):
    def wait_for_seconds(self, predicate, what, timeout=20):
        """The first seconds the readout shows that fulfil predicate."""
        def seen():
            text = self.readout()[1][-2:]
            return text.isdigit() and predicate(int(text)) and [int(text)]
        return ws.wait_for(seen, timeout, what)[0]

    def test_the_seconds_count_again_once_the_port_is_back(self):
        simulator = self.session.simulator(PORT, SIM, "--on-open", "--start", START)
        program = self.start(str(PORT))
        self.session.wait_for_window()
        self.wait_for_seconds(lambda s: 3 <= s <= 50, "the seconds to count")

        # The pseudo-terminal goes away: reads fail, and after three seconds of that the port
        # is closed and the readout shows 00, which no mark can bring now.
        simulator.terminate()
        simulator.wait(10)
        self.wait_for_seconds(lambda s: s == 0, "the readout at 00", timeout=15)
        time.sleep(4)  # the program tries to open the port every three seconds
        self.assertEqual(self.readout()[1][-2:], "00", "a change while the port was away")

        self.session.simulator(PORT, SIM, "--on-open", "--start", START)
        before = self.wait_for_seconds(lambda s: 2 <= s <= 50, "the seconds to count again")

        # A resume from sleep opens the port afresh at once: the count starts over.
        self.send(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC)
        self.wait_for_seconds(lambda s: s < before, "the count to start over", timeout=10)
        self.wait_for_seconds(lambda s: s >= 2, "the seconds to count after the resume")
        self.assertTrue(program.running())

