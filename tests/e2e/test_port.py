"""The receiver port going away while the program runs, as an unplugged USB adapter or a
driver that lost its device across sleep does, and coming back under the same COM name."""

import time
import unittest

import wine_session as ws
from harness import SIM, SessionTest

PORT = 2
# The simulator starts with second 1 of this minute when the port opens, a mark a second.
START = "2030-01-07 12:00"
# While the port is away the program tries to open it every three seconds.
AWAY_S = 4


class PortTest(SessionTest):
    def seconds(self):
        """The seconds the readout shows, or None while they read as no number."""
        text = self.readout()[1][-2:]
        return int(text) if text.isdigit() else None

    def wait_for_seconds(self, predicate, what, timeout=20):
        """The first seconds read that fulfil predicate."""
        def seen():
            seconds = self.seconds()
            return seconds is not None and predicate(seconds) and [seconds]
        return ws.wait_for(seen, timeout, what)[0]

    def simulator(self):
        return self.session.simulator(PORT, SIM, "--on-open", "--start", START)

    def test_the_seconds_count_again_once_the_port_is_back(self):
        simulator = self.simulator()
        program = self.start(str(PORT))
        self.session.wait_for_window()
        self.wait_for_seconds(lambda s: 3 <= s <= 50, "the seconds to count")

        # The pseudo-terminal goes away: reads fail, and after three seconds of that the port
        # is closed and the readout shows 00, which no mark can bring now.
        simulator.terminate()
        simulator.wait(10)
        self.wait_for_seconds(lambda s: s == 0, "the readout at 00", timeout=15)
        time.sleep(AWAY_S)
        self.assertEqual(self.seconds(), 0, "the readout changed while the port was away")

        self.simulator()
        before = self.wait_for_seconds(lambda s: 2 <= s <= 50, "the seconds to count again")

        # A resume from sleep opens the port afresh at once: the count starts over.
        self.assertEqual(self.probe("resume")[0], 0)
        self.wait_for_seconds(lambda s: s < before, "the count to start over", timeout=10)
        self.wait_for_seconds(lambda s: s >= 2, "the seconds to count after the resume")
        self.assertTrue(program.running())


if __name__ == "__main__":
    unittest.main()
