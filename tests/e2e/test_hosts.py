"""qvk.exe under Wine finding the editors (catalogue from "qvk-local.txt"): the warning for one
running under its exact image name, and the folders proposed from every kind of registry key."""

import os
import shutil
import subprocess
import unittest

import winelib

UNINSTALL = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane"
CREATED = [UNINSTALL, "HKCR\\Applications\\Quorvane.exe", "HKLM\\SOFTWARE\\Quorvane",
           "HKCU\\Software\\Classes\\Applications\\qv-studio.exe"]
RUNNING = ("Attention|L'installateur a d\xe9tect\xe9 que Quorvane Studio est lanc\xe9. Vous "
           "devriez le fermer avant de continuer.")


class Hosts(unittest.TestCase):
    def test_running_editors_and_the_folder_page_from_every_kind_of_probe(self):
        art, wine, exe = winelib.artifacts_dir("test_hosts"), winelib.Wine(), winelib.qvk_exe()
        cwd = winelib.fresh_dir(os.path.join(art, "cwd"))
        page = winelib.catalogue_site.catalogue_page([
            (n, "http://%s/%d.zip" % (winelib.loopback(), i), d, a)
            for i, (n, d, a) in enumerate(winelib.catalogue_site.DEFAULT_PLUGINS)])
        with open(os.path.join(cwd, "qvk-local.txt"), "wb") as f:
            f.write(page.encode("cp1252"))
        # Running editors: the program under their image names, in its German language dialog.
        for image in ("quorvane.exe", "qv-studio.exe"):
            folder = winelib.fresh_dir(os.path.join(art, image))
            self.addCleanup(winelib.stop_process, wine.start(
                shutil.copy(exe, os.path.join(folder, image)), cwd=folder, locale="de_DE",
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        view = winelib.registry_view(exe)
        expanded = {"64": "C:\\Program Files", "32": "C:\\Program Files (x86)"}[view] + "\\QV\\"
        with winelib.registry_values(wine, view, CREATED, [
                (UNINSTALL, "UninstallString", "REG_DWORD", "7"),  # not a text
                (CREATED[1] + "\\shell\\Open\\Command", "", "REG_SZ",  # more than 255 bytes
                 "\"C:\\%s\\Quorvane.exe\" \"%%1\"" % ("Long" * 70)),
                (CREATED[2], "", "REG_EXPAND_SZ", "%ProgramFiles%\\QV\\"),
                (CREATED[3] + "\\shell\\open\\command", "", "REG_SZ",
                 "  \"C:\\Studio\\qv-studio.exe\" \"%1\"  ")]), \
                winelib.run_qvk(["-debug"], cwd, "fr_FR", 150, wine, art) as run:
            winelib.wait_until(lambda: run.texts("windows").count("Sprache") == 2, 60,
                               "the editors' windows")
            run.cmds("@30000 window Langue", "click 1")
            self.assertEqual(run.cmd("message"), RUNNING)
            self.assertNotIn("Installation", run.texts("windows"))
            run.cmds("answer ok", "@30000 window Installation", "click 10", "waitvisible 11 1",
                     "click 10", "waitvisible 16 1", "@60000 waitenabled 10 1", "click 10",
                     "waitvisible 104 1", "click 10", "waitvisible 19 1")
            want = {"text 18": expanded, "state 19": "1", "text 21": "C:\\Studio\\",
                    "state 20": "1", "visible 21": "1", "visible 30": "1"}
            self.assertEqual(run.check(want), want)
            run.cmds("click 9", "message", "answer yes")
            self.assertEqual(run.wait(30), 0)
        log = "\r\n".join(winelib.read_log(cwd))
        qv, qvs = log.split("Checking for QV\r\n")[1].split("Checking for QVS\r\n")
        # An empty read says what the system answered; a value that is no text is no failure.
        longer, missing = " (234: More data available.)", " (2: File not found.)"
        self.assertEqual([l[9:] for l in qv.split("\r\n") if l.startswith("Result : ")],
                         ["", longer, missing, longer, expanded])
        self.assertIn("QV dir : %s\r\n" % expanded, qv)
        self.assertIn("Result : \"C:\\Studio\\qv-studio.exe\" \"%1\"\r\nQVS dir : C:\\Studio\\\r\n"
                      "Free useless table", qvs)


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver")
    unittest.main(verbosity=2)
