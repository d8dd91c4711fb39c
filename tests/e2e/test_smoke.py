"""Smoke test of qvk.exe: the shipped file is one self-contained 32-bit GUI program, and under
Wine it starts, shows the language dialog, and aborts cleanly from it with its log written."""

import os
import re
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winelib  # noqa: E402

# DLLs that every Windows installs; anything else would have to ship beside the program.
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll", "kernel32.dll",
    "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
    "version.dll", "ws2_32.dll", "wsock32.dll",
}


def imported_dlls(exe):
    objdump = shutil.which("i686-w64-mingw32-objdump") or shutil.which("objdump")
    out = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, timeout=60,
                         check=True).stdout
    return {name.lower() for name in re.findall(r"DLL Name: (\S+)", out)}


class ProgramFile(unittest.TestCase):
    def test_one_static_32_bit_gui_program(self):
        exe = winelib.product_path("qvk")  # the one run under Wine may be its 64-bit twin
        self.assertTrue(exe and os.path.isfile(exe), exe)
        kind = subprocess.run(["file", "-b", exe], capture_output=True, text=True, timeout=30,
                              check=True).stdout
        self.assertIn("PE32 executable (GUI) Intel 80386", kind)
        beside = [f for f in os.listdir(os.path.dirname(exe)) if f.lower().endswith(".dll")]
        self.assertEqual(beside, [])
        imports = imported_dlls(exe)
        self.assertIn("kernel32.dll", imports)
        self.assertEqual(imports - SYSTEM_DLLS, set(), "imports that are no system DLLs")


class AbortAtLanguage(unittest.TestCase):
    def test_cancel_and_confirm_ends_with_code_0_and_a_log(self):
        art = winelib.artifacts_dir("test_smoke")
        cwd = winelib.fresh_dir(os.path.join(art, "cwd"))
        with winelib.run_qvk(["-debug", "-tofile"], cwd, timeout=90, artifacts=art) as run:
            run.cmd("window Language", timeout_ms=winelib.START_MS)
            run.screenshot("language")
            run.cmd("click 2")
            self.assertEqual(run.cmd("message"),
                             "Warning|Do you really want to abort Quorvane plugins installation?")
            run.screenshot("abort-question")
            run.cmd("answer yes")
            self.assertEqual(run.wait(30), 0)

        with open(os.path.join(cwd, "qvk.log"), "rb") as f:
            log = f.read()
        lines = log.split(b"\r\n")
        self.assertEqual(lines[0], b"Debug mode launched")
        self.assertEqual(lines[1], b"QVK release 1.5.0.0. Build 15/08/2008, 14:32:29")
        self.assertTrue(lines[2].startswith(b"Host OS: "), lines[2])
        self.assertTrue(log.endswith(b"\r\n"))
        self.assertNotIn(b"\n", log.replace(b"\r\n", b""), "a line not ended by CR LF")
        self.assertNotIn(b"\r", log.replace(b"\r\n", b""), "a line not ended by CR LF")
        # An abort in the language dialog writes nothing but the log.
        self.assertEqual(sorted(os.listdir(cwd)), ["qvk.log"])


if __name__ == "__main__":
    try:
        winelib.programs("qvk", "uidriver")
    except winelib.WineUnavailable as why:
        # The file checks need no Wine: they run all the same, the Wine part counts as skipped.
        result = unittest.main(defaultTest="ProgramFile", exit=False, verbosity=2).result
        if not result.wasSuccessful():
            sys.exit(1)
        print("SKIPPED the Wine part: %s" % why, flush=True)
        sys.exit(winelib.SKIP)
    unittest.main(verbosity=2)
