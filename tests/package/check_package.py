"""Builds the release package with CPack and checks what a user gets: the files in the
zip, and that horax.exe is a GUI program for the build's machine that needs no DLL beyond
the system's own, with its resources and a manifest that asks for no execution level."""

import argparse
import os
import subprocess
import sys
import tempfile
import unittest
import zipfile

from pe_file import PeFile, RT_BITMAP, RT_GROUP_ICON, RT_MANIFEST, RT_VERSION

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll", "advapi32.dll", "winmm.dll"}
PROGRAM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll"}

args = None


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.out = tempfile.mkdtemp(prefix="package-", dir=args.build)
        subprocess.run(["cpack", "-G", "ZIP", "-B", cls.out], cwd=args.build, check=True,
                       stdout=subprocess.DEVNULL)
        zips = [f for f in os.listdir(cls.out) if f.endswith(".zip")]
        assert len(zips) == 1, f"expected one zip, found {zips}"
        cls.zip = zipfile.ZipFile(os.path.join(cls.out, zips[0]))
        cls.files = {name.split("/", 1)[1]: name for name in cls.zip.namelist()
                     if not name.endswith("/")}

    def read(self, name):
        return self.zip.read(self.files[name])

    def test_zip_holds_the_programs_and_the_documents(self):
        self.assertEqual(sorted(self.files),
                         ["LICENSE", "README.md", "dcf77sim.exe", "docs/screenshot.png",
                          "horax.exe"])
        self.assertIn(b"MIT License", self.read("LICENSE"))

    def test_horax_is_a_gui_program_that_imports_only_system_dlls(self):
        exe = PeFile(self.read("horax.exe"))
        self.assertEqual(exe.machine, args.machine)
        self.assertEqual(exe.format, "PE32" if args.machine == "i686" else "PE32+")
        self.assertEqual(exe.subsystem, "gui")
        self.assertLessEqual({d.lower() for d in exe.imports}, PROGRAM_DLLS)

    def test_horax_carries_its_resources(self):
        resources = PeFile(self.read("horax.exe")).resources
        glyphs = resources[(RT_BITMAP, "LCD_08X13")]
        width, height, planes, depth = __import__("struct").unpack_from("<iiHH", glyphs, 4)
        self.assertEqual((width, height, depth), (120, 13, 4))
        self.assertIn((RT_GROUP_ICON, "MAINICON"), resources)
        version = resources[(RT_VERSION, 1)].decode("utf-16-le", "replace")
        self.assertIn("ProductName", version)
        self.assertIn("horax", version)

    def test_manifest_requests_no_execution_level(self):
        manifest = PeFile(self.read("horax.exe")).resources[(RT_MANIFEST, 1)]
        self.assertIn(b"<assembly", manifest)
        self.assertNotIn(b"requestedExecutionLevel", manifest)
        self.assertNotIn(b"trustInfo", manifest)

    def test_simulator_is_a_console_program_that_imports_only_system_dlls(self):
        exe = PeFile(self.read("dcf77sim.exe"))
        self.assertEqual(exe.machine, args.machine)
        self.assertEqual(exe.subsystem, "console")
        self.assertLessEqual({d.lower() for d in exe.imports}, SYSTEM_DLLS)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--machine", required=True, choices=["i686", "x86_64"])
    args, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], "-v", *rest])
