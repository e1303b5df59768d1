"""install-task.cmd and uninstall-task.cmd run by Wine's cmd in a console of their own: the
task XML the first writes, what Wine's Task Scheduler makes of it, and the refusals."""

import os
import pwd
import re
import shlex
import shutil
import subprocess
import xml.etree.ElementTree as ET

import wine_session as ws
from harness import EXE, LOADER, SessionTest

NAMESPACE = {"t": "http://schemas.microsoft.com/windows/2004/02/mit/task"}
# Spaces, an ampersand, parentheses and a letter beyond ASCII. Wine's cmd itself drops a lone
# % or ! from an expanded value, which Windows' cmd keeps, so those two are not tried here.
FOLDER = "Tools & Programs (x86) Düsseldorf"
USER = "Jürgen & Co"


def in_task(path):
    """`path`, "Settings/Priority" say, in the task's namespace."""
    return "/".join("t:" + step for step in path.split("/"))


class TaskTest(SessionTest):
    def run_script(self, *args):
        """(exit code, what it printed less terminal codes), from a console 300 columns wide."""
        command = shlex.join([LOADER, "cmd", "/c", *args])
        log = os.path.join(self.session.dir, "script.log")
        with open(log, "wb") as out:
            code = subprocess.run(["script", "-qec", f"stty cols 300; {command}", "/dev/null"],
                                  cwd=self.folder, env=self.session.env, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=out, timeout=120).returncode
        with open(log, encoding="utf-8", errors="replace") as f:
            return code, re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", f.read()).replace("\r", "")

    def test_refusals_the_task_for_the_user_running_it_or_one_named_and_its_removal(self):
        self.folder = os.path.join(self.session.dir, FOLDER)
        os.makedirs(self.folder)
        for name in ("install-task.cmd", "uninstall-task.cmd"):
            shutil.copy(os.path.join(ws.ROOT, "package", name), self.folder)
        shutil.copy(EXE, os.path.join(self.folder, "horax.exe"))
        xml = os.path.join(self.folder, "horax-task.xml")
        for args in (["5"], ["12"], [], ["2", "someone", "more"]):
            with self.subTest(args=args):
                code, output = self.run_script("install-task.cmd", *args)
                self.assertEqual(code, 2)
                self.assertIn("1 to 4", output)
                self.assertFalse(os.path.exists(xml))

        code, output = self.run_script("install-task.cmd", "1")
        self.assertEqual(code, 0, output)
        user = ET.parse(xml).getroot().findtext(in_task("Principals/Principal/UserId"),
                                                namespaces=NAMESPACE)
        domain, name = user.split("\\")
        self.assertTrue(domain)
        self.assertEqual(name, pwd.getpwuid(os.getuid()).pw_name)
        self.assertIn(f"for {user}.", output)

        code, output = self.run_script("install-task.cmd", "3", USER)
        self.assertEqual(code, 0, output)
        self.assertIn(f"for {USER}.", output)
        self.assertIn("\n    schtasks /run /tn horax\n", output)
        task = ET.parse(xml).getroot()
        self.assertEqual(task.tag, "{%s}Task" % NAMESPACE["t"])
        windows_folder = "Z:" + self.folder.replace("/", "\\") + "\\"
        expected = {
            "Triggers/LogonTrigger/UserId": USER,
            "Triggers/LogonTrigger/Delay": "PT30S",
            "Principals/Principal/UserId": USER,
            "Principals/Principal/LogonType": "InteractiveToken",
            "Principals/Principal/RunLevel": "HighestAvailable",
            "Settings/DisallowStartIfOnBatteries": "false",
            "Settings/StopIfGoingOnBatteries": "false",
            "Settings/ExecutionTimeLimit": "PT0S",
            "Settings/Priority": "4",
            "Actions/Exec/Command": f'"{windows_folder}horax.exe"',  # quoted: the folder has spaces
            "Actions/Exec/Arguments": "3",
            "Actions/Exec/WorkingDirectory": windows_folder,
        }
        self.assertEqual({path: task.findtext(in_task(path), namespaces=NAMESPACE)
                          for path in expected}, expected)
        self.assertEqual(task.find(in_task("Actions"), NAMESPACE).get("Context"),
                         task.find(in_task("Principals/Principal"), NAMESPACE).get("id"))
        registered = os.path.join(self.session.prefix, "drive_c/windows/system32/tasks/horax")
        self.assertTrue(os.path.exists(registered), "Wine's schtasks registered nothing")

        code, output = self.run_script("uninstall-task.cmd")
        self.assertEqual(code, 0, output)
        self.assertFalse(os.path.exists(registered), "the task is still registered")
        self.assertFalse(os.path.exists(xml))
