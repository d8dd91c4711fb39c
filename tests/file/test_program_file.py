"""The shipped qvk.exe as a file, read by objdump: a lone 32-bit GUI program importing only what
xp-imports.txt lists (it grows only on purpose), all declared for XP, with one manifest."""

import os
import re
import subprocess
import unittest
import xml.etree.ElementTree as ElementTree

LIST = os.path.join(os.path.dirname(os.path.abspath(__file__)), "xp-imports.txt")
HEADERS = ["windows.h", "tlhelp32.h", "commctrl.h", "commdlg.h", "shellapi.h", "shlobj.h",
           "winsock.h", "wincrypt.h", "stdio.h", "stdlib.h", "string.h", "ctype.h", "locale.h",
           "signal.h", "setjmp.h", "wchar.h", "errno.h", "time.h", "io.h", "process.h"]
# msvcrt.dll entries no header declares, called by the C runtime's start-up code only.
CRT_STARTUP = {"__getmainargs", "__initenv", "__p__commode", "__set_app_type", "__setusermatherr",
               "_amsg_exit", "_initterm", "_lock", "_unlock"}


class ShippedFile(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.exe = os.path.join(os.environ["QVK_WIN_BUILD_DIR"], "src", "win32", "qvk.exe")
        cls.dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", cls.exe], capture_output=True,
                                  text=True, timeout=60, check=True).stdout

    def test_one_32_bit_gui_program_alone_in_its_folder(self):
        for fact in (r"file format pei-i386\n", r"\nSubsystem\s+00000002\s+\(Windows GUI\)\n",
                     r"\nEntry d 00000000 00000000 Delay Import Directory\n"):
            self.assertRegex(self.dump, fact)
        self.assertEqual([f for f in os.listdir(os.path.dirname(self.exe))
                          if f.lower().endswith(".dll")], [], "DLLs beside the program")

    def test_every_import_is_listed_and_the_xp_headers_declare_the_list(self):
        imports, dll = [], None
        for line in self.dump.split("The Import Tables", 1)[1].splitlines():
            named = re.match(r"\s+DLL Name: (\S+)", line)
            member = re.match(r"\t[0-9a-f]+\s+(\d+)\s+(\S+)?\s*$", line)
            if named:
                dll = named.group(1).lower()
            elif dll and member:
                imports.append((dll, member.group(2) or "ordinal " + member.group(1)))
        with open(LIST) as f:
            listed = {(fields[0], name) for fields in map(str.split, f) for name in fields[1:]}
        self.assertGreater(len(imports), 100)
        self.assertEqual(sorted(set(imports) - listed), [], "imports missing from " + LIST)
        probed = sorted({n for _, n in listed} - CRT_STARTUP)
        source = "".join("#include <%s>\n" % h for h in HEADERS) + "void probe(void) {\n" + \
            "".join("(void)(%s);\n" % n for n in probed) + "}\n"
        cc = subprocess.run(["i686-w64-mingw32-gcc", "-D_WIN32_WINNT=0x0501", "-DWINVER=0x0501",
                             "-x", "c", "-c", "-", "-o", os.devnull], input=source,
                            capture_output=True, text=True, timeout=120)
        self.assertEqual(cc.returncode, 0, cc.stderr)
        self.assertEqual([d for d, n in listed if n in CRT_STARTUP and d != "msvcrt.dll"], [])

    def test_only_the_test_build_has_the_fault_triggers(self):
        for name, present in (("qvk.exe", False), ("qvk-faults.exe", True)):
            with open(os.path.join(os.path.dirname(self.exe), name), "rb") as f:
                self.assertEqual(b"-faulttest=" in f.read(), present, name)

    def test_one_manifest_and_no_later_windows_declared(self):
        # One manifest (resource type 24), resource 1; and its text in the file.
        self.assertRegex(self.dump,
                         r"Entry: ID: 0x000018, .*\n.*IDs: 1\n\s*\w+\s+Entry: ID: 0x000001,")
        with open(self.exe, "rb") as f:
            texts = re.findall(rb"<\?xml[^>]*>\s*<assembly.*?</assembly>", f.read(), re.S)
        self.assertEqual(len(texts), 1)
        root = ElementTree.fromstring(texts[0])
        # Declaring later Windows versions would make the host description call them unknown.
        self.assertIsNone(root.find("{urn:schemas-microsoft-com:compatibility.v1}compatibility"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
