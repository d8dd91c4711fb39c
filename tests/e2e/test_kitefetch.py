"""The transfer client as the Windows build runs it: Winsock under Wine against the loopback
plugin server, one good fetch and one refused reply."""

import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winelib  # noqa: E402

ADDRESS = "127.0.0.40"


class WindowsSockets(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.exe = winelib.require_programs("kitefetch")["kitefetch"]
        cls.art = winelib.artifacts_dir("test_kitefetch")
        cls.root = winelib.fresh_dir(os.path.join(cls.art, "site"))
        # Bytes of every value, zeros included: only the reply head is read as text.
        cls.body = bytes(range(256)) * 40
        with open(os.path.join(cls.root, "a.zip"), "wb") as f:
            f.write(cls.body)
        cls.server = winelib.PluginServer(cls.root, ADDRESS)
        cls.wine = winelib.Wine()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def fetch(self, url, local):
        cwd = os.path.join(self.art, "cwd")
        os.makedirs(cwd, exist_ok=True)
        proc = self.wine.start(self.exe, [url, local, "--debug"], cwd=cwd, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
        try:
            out, _ = proc.communicate(timeout=90)
        finally:
            winelib.stop_process(proc)
        return proc.returncode, out.splitlines(), os.path.join(cwd, local)

    def test_fetch_writes_the_body_and_reports_the_states_in_order(self):
        code, lines, local = self.fetch("http://%s:8080/a.zip" % ADDRESS, "got.zip")
        self.assertEqual(code, 0, lines)
        states = [int(l.split()[1]) for l in lines if l.startswith("state ")]
        self.assertEqual(states[:2], [0, 1])
        self.assertIn(2, states)
        self.assertEqual(states[-1], 6)
        self.assertIn("KiteHTTP: * Connected", lines)
        self.assertIn("KiteHTTP: ** FINISHED **", lines)
        with open(local, "rb") as f:
            self.assertEqual(f.read(), self.body)
        self.assertFalse(os.path.exists(local + ".part"))
        # The named port is ignored (always 80) and the host header carries no port.
        raw = self.server.requests()[-1]["raw"]
        self.assertEqual(raw, "GET /a.zip HTTP/1.0\r\nhost: %s\r\nConnection: Close\r\n"
                              "User-Agent: Mozilla/5.0 (compatible; QVK/1.5.0.0; Windows) \r\n\r\n"
                         % ADDRESS)

    def test_refused_reply_leaves_no_file(self):
        code, lines, local = self.fetch("http://%s/_mode/status-404/a.zip" % ADDRESS, "none.zip")
        self.assertEqual(code, 8, lines)
        self.assertFalse(os.path.exists(local))
        self.assertFalse(os.path.exists(local + ".part"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
