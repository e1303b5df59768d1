"""check_package.py BUILD I386|AMD64: checks the zip that CPack makes of a Windows build tree:
its name and its files, all in a folder named horax as the guide says, its programs' machine,
subsystem and DLLs, that only horax.exe can set the clock, and horax.exe's resources."""

import os
import struct
import subprocess
import sys
import tempfile
import zipfile

import pefile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll"}

build, machine = os.path.abspath(sys.argv[1]), "IMAGE_FILE_MACHINE_" + sys.argv[2]
system = "win64" if sys.argv[2] == "AMD64" else "win32"
with tempfile.TemporaryDirectory(dir=build) as out:
    subprocess.run(["cpack", "-G", "ZIP", "-B", out], cwd=build, check=True,
                   stdout=subprocess.DEVNULL)
    [name] = [f for f in os.listdir(out) if f.endswith(".zip")]
    assert name.startswith("horax-") and name.endswith(f"-{system}.zip"), name
    with zipfile.ZipFile(os.path.join(out, name)) as package:
        entries = package.namelist()
        assert all(entry.startswith("horax/") for entry in entries), entries
        files = {entry[len("horax/"):]: package.read(entry)
                 for entry in entries if not entry.endswith("/")}
shipped = ["LICENSE", "README.md", "dcf77mon.exe", "dcf77sim.exe", "horax.exe", "install-task.cmd",
           "uninstall-task.cmd", *("docs/" + f for f in os.listdir(os.path.join(ROOT, "docs")))]
assert sorted(files) == sorted(shipped), sorted(files)
assert b"MIT License" in files["LICENSE"]
for script in ("install-task.cmd", "uninstall-task.cmd"):
    assert b"\n" not in files[script].replace(b"\r\n", b""), f"{script} has lines without CR"

for name, subsystem, dlls in [
        ("horax.exe", "WINDOWS_GUI", SYSTEM_DLLS | {"advapi32.dll"}),
        ("dcf77sim.exe", "WINDOWS_CUI", SYSTEM_DLLS | {"advapi32.dll", "winmm.dll"}),
        ("dcf77mon.exe", "WINDOWS_CUI", SYSTEM_DLLS)]:
    exe = pefile.PE(data=files[name])
    assert exe.FILE_HEADER.Machine == pefile.MACHINE_TYPE[machine], name
    assert exe.OPTIONAL_HEADER.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_" + subsystem]
    imports = {entry.dll.decode().lower() for entry in exe.DIRECTORY_ENTRY_IMPORT}
    assert imports <= dlls, (name, imports - dlls)
    functions = {f.name for entry in exe.DIRECTORY_ENTRY_IMPORT for f in entry.imports}
    # The monitor is built against the clock that only records; horax really sets it.
    assert (b"SetSystemTime" in functions) == (name == "horax.exe"), name

exe, rt, bound = pefile.PE(data=files["horax.exe"]), pefile.RESOURCE_TYPE, {}
for kind in exe.DIRECTORY_ENTRY_RESOURCE.entries:
    for entry in kind.directory.entries:
        leaf = entry.directory.entries[0].data.struct
        bound[kind.id, str(entry.name or entry.id)] = exe.get_data(leaf.OffsetToData, leaf.Size)
# The strip's BITMAPINFOHEADER: width, height, planes, bits a pixel; the icon group's count
# and its one image's width, height and colours.
assert struct.unpack_from("<iiHH", bound[rt["RT_BITMAP"], "LCD_08X13"], 4) == (120, 13, 1, 4)
assert struct.unpack_from("<HBBB", bound[rt["RT_GROUP_ICON"], "MAINICON"], 4) == (1, 32, 32, 16)
assert "horax".encode("utf-16-le") in bound[rt["RT_VERSION"], "1"]
manifest = bound[rt["RT_MANIFEST"], "1"]
assert b"<assembly" in manifest
assert b"requestedExecutionLevel" not in manifest and b"trustInfo" not in manifest
