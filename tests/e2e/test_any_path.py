"""The programs, the UI driver and the demo copied to a path with blanks and a non-ASCII letter."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import winelib


class AnyPath(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.wine, cls.art = winelib.Wine(), winelib.artifacts_dir("test_any_path")
        base = tempfile.mkdtemp(prefix="qvk t\xe9st ", dir="/tmp")
        cls.addClassCleanup(shutil.rmtree, base, True)
        cls.clone = os.path.join(base, "root", "repo")
        shutil.copytree(os.path.join(winelib.SOURCE_DIR, "tools"), os.path.join(cls.clone, "tools"),
                        ignore=shutil.ignore_patterns("__pycache__"))
        for var in [v for v in ("QVK_WIN_BUILD_DIR", "QVK_WIN64_BUILD_DIR") if os.environ.get(v)]:
            build = os.path.join(cls.clone, "build", os.path.basename(os.environ[var]))
            for name in (winelib.PROGRAMS["qvk"], winelib.PROGRAMS["uidriver"]):
                if os.path.isfile(os.path.join(os.environ[var], name)):
                    os.makedirs(os.path.dirname(os.path.join(build, name)), exist_ok=True)
                    shutil.copy(os.path.join(os.environ[var], name), os.path.join(build, name))
            os.environ[var] = build  # winelib and the demo take the copied programs

    def start(self, *args, folder=None):
        """The copied qvk.exe with `args`, in a folder of the clone that holds `folder`."""
        self.cwd = winelib.fresh_dir(os.path.join(self.clone, "run"))
        if folder:
            os.makedirs(os.path.join(self.cwd, folder))
        run = winelib.run_qvk(list(args), self.cwd, timeout=120, wine=self.wine, artifacts=self.art)
        self.addCleanup(run.stop)
        return run

    def test_the_demo_from_the_clone(self):
        demo = os.path.join(self.clone, "tools", "demo.py")
        out = subprocess.run([sys.executable, demo, "--wine", os.environ["QVK_WINE_STATE"]],
                             cwd=self.clone, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=480)
        text = out.stdout.decode("utf-8", "replace")
        self.assertEqual(out.returncode, 0, text[-3000:])
        log = os.path.join(self.clone, "build", "demo", "run", "qvk.log")
        self.assertEqual(text.splitlines()[-2:], ["[demo] log: " + log, "[demo] exit code: 0"])
        self.assertEqual(winelib.read_log(os.path.dirname(log))[0], "Debug mode launched")

    def test_the_console_by_its_title_and_named_logs_in_the_clone(self):
        run = self.start("-log=logs t\xe9st\\qvk run.log", folder="logs t\xe9st")
        run.cmd("window Language", timeout_ms=winelib.START_MS)
        title = "Z:" + winelib.qvk_exe().replace("/", "\\")
        # Abort: the bare exit closes the log.
        run.cmds("window " + winelib.quote(title), "window Language", "click 2", "message",
                 "answer yes")
        self.assertEqual(run.wait(30), 0)
        log = winelib.read_log(os.path.join(self.cwd, "logs t\xe9st"), "qvk run.log")
        self.assertEqual(log[0], "Debug mode launched")
        self.assertEqual(os.listdir(self.cwd), ["logs t\xe9st"])
        run = self.start("-log=no such\\qvk.log")
        self.assertRegex(run.cmd("@%d message" % winelib.START_MS),
                         r'^Error\|Cannot create the log file "no such\\qvk.log" \(3: .+\)\r\n\r\n'
                         r"The installation goes on without a log.$")
        run.cmds("answer ok", "window Language", "click 2", "message", "answer yes")
        self.assertEqual(run.wait(30), 0)


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main(verbosity=2)
