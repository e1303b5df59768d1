"""The command line: the usage message for a wrong one, a silent end for a missing port."""

import unittest

from harness import SessionTest

USAGE = "Usage: HORAX <n>\twhere n ist the number of the COM\n\t\tport with the DCF77 module"


class CommandLineTest(SessionTest):
    def test_wrong_command_lines_show_the_usage_message(self):
        ports = [self.session.pty(n) for n in (1, 2, 3, 4)]
        self.addCleanup(self.session.close_ptys)
        for args in ([], ["1", "2"], ["12"], ["0"], ["5"], ["A"], ["+"]):
            with self.subTest(args=args):
                program = self.start(*args)
                # Found under the platform's default caption: the box has none of its own.
                status, text = self.probe("msgbox", "Error")
                self.assertEqual(status, 0, "no usage message appeared")
                self.assertEqual(text, USAGE)
                self.assertEqual(program.wait(20), 0)
        self.assertEqual([p.opened.is_set() for p in ports], [False] * 4,
                         "a wrong command line opened a port")

    def test_missing_port_ends_silently(self):
        # COM2 is mapped, but to a link that leads nowhere.
        program = self.start("2")
        self.assertEqual(program.wait(20), 0)
        self.assertIsNone(self.session.window())


if __name__ == "__main__":
    unittest.main()
