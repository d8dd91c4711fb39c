"""Yes and No to the configuration questions at the end of a whole run of qvk.exe under Wine:
both editions in their default folders, then the bytes of each one's INI file."""
import glob
import os
import shutil
import unittest
from pathlib import Path

import winelib
from test_wizard import prefix_path, start_server

QUESTION = "Question|Do you want to update %s configuration in order to use plugins?"
# Language OK; Next through welcome, notes, catalogue (16 its log), plugin list (27 "(Un)Check
# all"); both editions ticked (19, 20) on the folder page; "Install >".
WALK = ["window Language", "click 1", "window Installation", "click 10",
        "waittext 31 Please read these notes:", "click 10", "waitvisible 16 1", "waitenabled 10 1",
        "click 10", "waitvisible 27 1", "click 10", "waittext 10 Install >", "check 19 1",
        "check 20 1", "click 10"]


class Configuration(unittest.TestCase):
    def test_yes_rewrites_one_file_and_no_keeps_the_other(self):
        art, wine = winelib.artifacts_dir("test_configuration"), winelib.Wine()
        server = start_server(winelib.fresh_dir(os.path.join(art, "server")))
        self.addCleanup(server.stop)
        editions = {"Quorvane": ("Quorvane.exe", b"[View]\nZoom=2\n\n [plugins]\npluginsbar=0"),
                    "Quorvane Studio": ("qv-studio.exe", b"[Plugins]\r\nPluginsBar=0\r\n")}
        folders = {e: prefix_path(wine.prefix, "C:\\Program Files\\" + e) for e in editions}
        for edition, (exe, ini) in editions.items():
            shutil.rmtree(folders[edition], ignore_errors=True)
            os.makedirs(folders[edition])
            self.addCleanup(shutil.rmtree, folders[edition], True)
            Path(folders[edition], exe).write_bytes(b"")
            Path(folders[edition], "Quorvane.ini").write_bytes(ini)
        with winelib.run_qvk(["-url=%s|/plugins.php" % server.address], winelib.fresh_dir(
                os.path.join(art, "cwd")), "en_US", timeout=110, wine=wine, artifacts=art) as run:
            for line in WALK[:-1]:
                run.cmd(line, timeout_ms=winelib.START_MS)
            # Every ticked plugin's archive in the work folder, as the download leaves them, so
            # that the install thread finds what it unpacks.
            for temp in glob.glob(os.path.join(wine.prefix, "drive_c", "users", "*", "Temp")):
                os.makedirs(os.path.join(temp, "qvk"), exist_ok=True)
                for archive in glob.glob(os.path.join(server.root, "files", "*.zip")):
                    shutil.copy(archive, os.path.join(temp, "qvk"))
            run.cmd(WALK[-1])
            for edition, answer in (("Quorvane", "yes"), ("Quorvane Studio", "no")):
                self.assertEqual(run.cmd("message", timeout_ms=60000), QUESTION % edition)
                run.cmd("answer " + answer)
            self.assertEqual(run.cmd("message"), "Information|Installation finished.")
            run.cmd("answer ok")
            self.assertEqual(run.wait(30), 0)
        rewritten = b"[View]\r\nZoom = 2\r\n[plugins]\r\nPluginsBar = 1\r\nLoadPlugins = 1\r\n"
        for (edition, (exe, before)), after in zip(editions.items(), (rewritten, None)):
            self.assertEqual(Path(folders[edition], "Quorvane.ini").read_bytes(), after or before)
            # Nothing left beside it (the plugins' own folder aside).
            self.assertEqual(sorted(set(os.listdir(folders[edition])) - {"Plugins"}),
                             sorted([exe, "Quorvane.ini"]))


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main(verbosity=2)
