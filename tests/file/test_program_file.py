"""Checks of the shipped qvk.exe as a file, without Wine: one 32-bit GUI program with nothing
beside it, importing only what Windows XP offers (xp-imports.txt, itself confirmed against the
MinGW-w64 headers by xp_probe.py), with a manifest that asks for administrator rights and
common controls 6.

QVK_EXE names the program, else QVK_WIN_BUILD_DIR the 32-bit build holding src/win32/qvk.exe.
`python3 test_program_file.py Imports` or `... Program` runs one group.
"""

import os
import re
import shutil
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peimage  # noqa: E402
import xp_probe  # noqa: E402

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
# Windows reads the trust request in the v3 namespace and, from older tools, in v2.
TRUST_NAMESPACES = ("{urn:schemas-microsoft-com:asm.v3}", "{urn:schemas-microsoft-com:asm.v2}")
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}compatibility"


def shipped_exe():
    exe = os.environ.get("QVK_EXE")
    if not exe and os.environ.get("QVK_WIN_BUILD_DIR"):
        exe = os.path.join(os.environ["QVK_WIN_BUILD_DIR"], "src", "win32", "qvk.exe")
    if not exe or not os.path.isfile(exe):
        raise unittest.SkipTest("no qvk.exe given (QVK_EXE or QVK_WIN_BUILD_DIR): %r" % exe)
    return exe


class ShippedFile(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.exe = shipped_exe()
        cls.image = peimage.PeImage.read(cls.exe)


class Imports(ShippedFile):
    def test_every_import_is_in_the_xp_list(self):
        allowed = set(xp_probe.read_list())
        offenders = set()
        for entry in self.image.imports():
            how = " (delay-loaded)" if entry.delayed else ""
            if entry.name is None:
                offenders.add("%s ordinal %d%s" % (entry.dll, entry.ordinal, how))
            elif (entry.dll, entry.name) not in allowed:
                offenders.add("%s %s%s" % (entry.dll, entry.name, how))
        if offenders:
            self.fail("%s imports what %s does not list:\n  %s"
                      % (self.exe, xp_probe.LIST, "\n  ".join(sorted(offenders))))

    def test_the_list_holds_only_what_the_xp_headers_declare(self):
        problems = xp_probe.unconfirmed(xp_probe.read_list())
        if problems:
            self.fail("entries not confirmed for Windows XP:\n  " + "\n  ".join(problems))

    def test_the_import_reader_agrees_with_objdump(self):
        # The check above is only as good as the reader; binutils reads the same table.
        objdump = shutil.which("i686-w64-mingw32-objdump")
        if not objdump:
            self.skipTest("no i686-w64-mingw32-objdump")
        out = subprocess.run([objdump, "-p", self.exe], capture_output=True, text=True,
                             timeout=60, check=True).stdout
        theirs, dll = set(), None
        for line in out.splitlines():
            named = re.match(r"\s+DLL Name: (\S+)", line)
            if named:
                dll = named.group(1).lower()
                continue
            member = re.match(r"\t[0-9a-f]+\s+(\d+)\s+(\S+)?\s*$", line)
            if dll and member:
                theirs.add((dll, member.group(2) or "ordinal %s" % member.group(1)))
        ours = {(e.dll, e.name or "ordinal %d" % e.ordinal)
                for e in self.image.imports() if not e.delayed}
        self.assertTrue(ours)
        self.assertEqual(ours, theirs)


class Program(ShippedFile):
    def test_one_32_bit_gui_program_alone_in_its_folder(self):
        self.assertEqual((self.image.machine, self.image.is_pe32, self.image.subsystem),
                         (peimage.I386, True, peimage.GUI))
        beside = [f for f in os.listdir(os.path.dirname(self.exe)) if f.lower().endswith(".dll")]
        self.assertEqual(beside, [], "DLLs beside the program")

    def manifest(self):
        manifests = self.image.resources(peimage.RT_MANIFEST)
        self.assertEqual([name for name, _ in manifests], [1], "one manifest, resource 1")
        return ElementTree.fromstring(next(iter(manifests.values())))

    def test_manifest_asks_for_administrator_and_common_controls_6(self):
        root = self.manifest()
        levels = [(level.get("level"), level.get("uiAccess"))
                  for ns in TRUST_NAMESPACES
                  for level in root.iter(ns + "requestedExecutionLevel")]
        self.assertEqual(levels, [("requireAdministrator", "false")])
        controls = [(i.get("version"), i.get("processorArchitecture"), i.get("publicKeyToken"))
                    for i in root.iter(ASM_V1 + "assemblyIdentity")
                    if i.get("name") == "Microsoft.Windows.Common-Controls"]
        self.assertEqual(controls, [("6.0.0.0", "x86", "6595b64144ccf1df")])
        # Declaring later Windows versions would make the host description call them unknown.
        self.assertIsNone(root.find(COMPATIBILITY))


if __name__ == "__main__":
    unittest.main(verbosity=2)
