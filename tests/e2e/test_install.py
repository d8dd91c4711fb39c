"""The install thread in the real program under Wine: the archive of the one ticked plugin,
lying in the work folder when "Install >" is pressed, ends up unpacked below the chosen
edition's Plugins folder, and the run ends with the configuration question and "Installation
finished."."""

import os
import shutil
import sys
import time
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import winelib  # noqa: E402
from test_catalogue import (BOX, DEFAULT_SORTED, HEADING, NEXT, TEXTS,  # noqa: E402
                            CatalogueCase)
from test_wizard import prefix_path, start_server, temp_folder  # noqa: E402

QVCHECK, QVSCHECK, REPTYPE, TOTAL_BAR = 19, 20, 18, 15
EDITION = "C:\\QV Install"
DATE = (2008, 8, 15, 12, 30, 10)


class Install(CatalogueCase):
    def test_archive_in_the_work_folder_is_unpacked_into_plugins(self):
        # An address of this test's own: others run tests on this machine at the same time.
        server = start_server(self.art)
        self.addCleanup(server.stop)
        prefix = winelib.Wine().prefix
        edition = prefix_path(prefix, EDITION)
        shutil.rmtree(edition, ignore_errors=True)
        os.makedirs(edition)
        open(os.path.join(edition, "Quorvane.exe"), "wb").close()

        run = self.start("en", server.address)
        self.analysed(run, "en", DEFAULT_SORTED, "catalogue")
        self.plugin_list(run, "en", DEFAULT_SORTED, "plugins")
        ticked = [0, 1, 0, 0, 0]  # Blur & Glow
        for i, on in enumerate(ticked):
            run.cmd("check %d %d" % (BOX + i, on))
        self.wait_states(run, ticked)
        run.cmd("click %d" % NEXT)
        run.cmd("waittext %d %s" % (HEADING, TEXTS["en"]["folders"]))
        run.cmd("check %d 1" % QVCHECK)
        run.cmd("check %d 0" % QVSCHECK)
        run.cmd("settext %d %s" % (REPTYPE, EDITION))

        # The archive as the download would leave it, in the work folder (and the same on the
        # server): its read-me is read-only and dated.
        archive = os.path.join(server.root, "files", "blurglow.zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("BlurGlow.8bf", b"plugin Blur & Glow\n" * 200)
            readme = zipfile.ZipInfo("BlurGlow/readme.txt", date_time=DATE)
            readme.create_system, readme.external_attr = 0, 0x01  # DOS, read-only
            z.writestr(readme, b"Read me for Blur & Glow\r\n", zipfile.ZIP_DEFLATED)
        work = os.path.join(temp_folder(read_bytes(self.cwd), prefix), "qvk")
        os.makedirs(work, exist_ok=True)
        shutil.copy(archive, work)
        run.cmd("click %d" % NEXT)

        self.assertEqual(run.cmd("@60000 message"), "Question|Do you want to update Quorvane "
                         "configuration in order to use plugins?")
        self.assertEqual(run.cmd("state %d" % TOTAL_BAR), "200")
        self.assertEqual(run.cmd("text %d" % HEADING), "Installing: blurglow.zip")
        # The install thread has ended when the question comes: its work is on disk.
        plugins = os.path.join(edition, "Plugins")
        with open(os.path.join(plugins, "BlurGlow.8bf"), "rb") as f:
            self.assertEqual(f.read(), b"plugin Blur & Glow\n" * 200)
        readme = os.path.join(plugins, "BlurGlow", "readme.txt")
        with open(readme, "rb") as f:
            self.assertEqual(f.read(), b"Read me for Blur & Glow\r\n")
        self.assertEqual(os.stat(readme).st_mode & 0o222, 0, "the read-only attribute was lost")
        self.assertEqual(os.stat(readme).st_mtime, time.mktime(DATE + (0, 0, -1)))
        self.assertEqual(sorted(os.listdir(plugins)), ["BlurGlow", "BlurGlow.8bf"])
        run.cmd("answer no")
        self.assertEqual(run.cmd("message"), "Information|Installation finished.")
        run.screenshot("install-finished")
        run.cmd("answer ok")
        # With -debug the program then waits for a key in its console.
        run.stop()
        shutil.rmtree(edition, ignore_errors=True)


def read_bytes(cwd):
    """The log as far as the program has written it out."""
    with open(os.path.join(cwd, "qvk.log"), "rb") as f:
        return f.read()


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main(verbosity=2)
