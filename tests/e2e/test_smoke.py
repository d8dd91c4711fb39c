"""Smoke test of qvk.exe under Wine: it starts, shows the language dialog, and aborts cleanly
from it with its log written. The checks of the file itself are in tests/file."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winelib  # noqa: E402


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
    winelib.require_programs("qvk", "uidriver")
    unittest.main(verbosity=2)
