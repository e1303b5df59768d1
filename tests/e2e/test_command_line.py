"""The command line: the usage message for a wrong one, a silent end for a missing port."""

import unittest

import harness

USAGE = "Usage: HORAX <n>\twhere n ist the number of the COM\n\t\tport with the DCF77 module"


class CommandLineTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.session = harness.Session("command-line")
        cls.ports = [cls.session.pty(n) for n in (1, 2, 3, 4)]

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def test_wrong_command_lines_show_the_usage_message(self):
        for args in ([], ["1", "2"], ["12"], ["0"], ["5"], ["A"], ["+"]):
            with self.subTest(args=args):
                program = self.session.run(*args)
                # Found under the platform's default caption: the box has none of its own.
                status, text = self.session.probe("msgbox", "Error")
                self.assertEqual(status, 0, "no usage message appeared")
                self.assertEqual(text, USAGE)
                self.assertEqual(program.wait(20), 0)
        self.assertEqual([p.opened.is_set() for p in self.ports], [False] * 4,
                         "a wrong command line opened a port")

    def test_missing_port_ends_silently(self):
        # COM2 is mapped, but to a link that leads nowhere.
        self.ports[1].close()
        self.session.ptys.remove(self.ports[1])
        program = self.session.run("2")
        self.assertEqual(program.wait(20), 0)
        self.assertIsNone(self.session.window())


if __name__ == "__main__":
    unittest.main()
