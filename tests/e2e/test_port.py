"""The port on the command line: the usage message for a wrong command line, a silent end
for a missing port; and the port going away while the program runs, as an unplugged USB
adapter or a driver that lost its device across sleep does, and coming back under the same
COM name."""

import time

import wine_session as ws
from harness import PBT_APMRESUMEAUTOMATIC, SIM, WM_POWERBROADCAST, SessionTest

PORT = 2
# The simulator starts with second 1 of this minute when the port opens, a mark a second.
START = "2030-01-07 12:00"
USAGE = "Usage: HORAX <n>\twhere n ist the number of the COM\n\t\tport with the DCF77 module"


class CommandLineTest(SessionTest):
    def test_a_missing_port_ends_silently_and_wrong_command_lines_show_the_usage(self):
        # COM2 is mapped, but to a link that leads nowhere.
        self.assertEqual(self.start("2").wait(20), 0)
        self.assertIsNone(self.session.window())
        ports = [self.session.pty(n) for n in (1, 2, 3, 4)]
        self.addCleanup(self.session.close_ptys)
        for args in ([], ["1", "2"], ["12"], ["0"], ["5"], ["A"], ["+"]):
            with self.subTest(args=args):
                program = self.start(*args)
                # Found under the platform's default caption: the box has none of its own.
                self.assertEqual(self.probe("msgbox", "Error"), (0, USAGE))
                self.assertEqual(program.wait(20), 0)
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

