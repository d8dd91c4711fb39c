"""qvk.exe under Wine: the folder page proposed from real keys of the test prefix (each kind of
probe row, and values no folder can come from), and the start-up warning for an editor that
runs in the prefix under its exact name. The catalogue comes from "qvk-local.txt"."""

import os
import shutil
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(os.path.dirname(os.path.dirname(HERE)), "tools")]
import catalogue_site  # noqa: E402
import winelib  # noqa: E402

APPS = "Software\\Classes\\Applications\\"
UNINSTALL = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane"
RUNNING = ("L'installateur a d\xe9tect\xe9 que %s est lanc\xe9. Vous devriez le fermer avant de "
           "continuer.")


class Hosts(unittest.TestCase):
    def start(self, name, locale):
        art = winelib.artifacts_dir("test_hosts")
        cwd = winelib.fresh_dir(os.path.join(art, "cwd-" + name))
        plugins = enumerate(catalogue_site.DEFAULT_PLUGINS)
        page = catalogue_site.catalogue_page([(n, "http://127.0.0.1/%d.zip" % i, d, a)
                                              for i, (n, d, a) in plugins])
        with open(os.path.join(cwd, "qvk-local.txt"), "wb") as f:
            f.write(page.encode("cp1252"))
        self.log_path = os.path.join(cwd, "qvk.log")
        run = winelib.run_qvk(["-debug"], cwd, locale=locale, timeout=150, artifacts=art)
        self.addCleanup(run.stop)
        run.cmd("window " + {"en_US": "Language", "fr_FR": "Langue"}[locale],
                timeout_ms=winelib.START_MS)
        run.cmd("click 1")
        return run

    def finish(self, run):
        run.cmd("window Installation", timeout_ms=winelib.START_MS)
        for line in ("click 9", "message", "answer yes"):
            run.cmd(line)
        self.assertEqual(run.wait(30), 0)
        with open(self.log_path, "rb") as f:
            return f.read().decode("cp1252")

    def test_folder_page_from_every_kind_of_probe(self):
        view = winelib.registry_view(winelib.qvk_exe())
        expanded = {"64": "C:\\Program Files", "32": "C:\\Program Files (x86)"}[view] + "\\QV\\"
        created = [UNINSTALL, "HKCR\\Applications\\Quorvane.exe", "HKLM\\SOFTWARE\\Quorvane",
                   "HKCU\\" + APPS + "qv-studio.exe"]
        with winelib.registry_values(winelib.Wine(), view, created, [
                (UNINSTALL, "UninstallString", "REG_DWORD", "7"),  # not a text
                (created[1] + "\\shell\\Open\\Command", "", "REG_SZ",  # more than 255 bytes
                 "\"C:\\%s\\Quorvane.exe\" \"%%1\"" % ("Long" * 70)),
                (created[2], "", "REG_EXPAND_SZ", "%ProgramFiles%\\QV\\"),
                (created[3] + "\\shell\\open\\command", "", "REG_SZ",
                 "  \"C:\\Studio\\qv-studio.exe\" \"%1\"  ")]):  # spaces around
            run = self.start("folders", "en_US")
            for line in ("window Installation", "click 10", "waitvisible 11 1", "click 10",
                         "@60000 waittext 31 End of analysis.", "waitenabled 10 1", "click 10",
                         "waitvisible 104 1", "click 10", "waittext 10 Install >"):
                run.cmd(line, timeout_ms=winelib.START_MS if line.startswith("window") else None)
            page = [run.cmd(q) for q in ("text 18", "state 19", "text 21", "state 20",
                                         "visible 21", "visible 30")]
            self.assertEqual(page, [expanded, "1", "C:\\Studio\\", "1", "1", "1"])
            run.screenshot("folders")
            qv, qvs = self.finish(run).split("Checking for QV\r\n")[1].split("Checking for QVS\r\n")
        self.assertEqual([l[9:] for l in qv.split("\r\n") if l.startswith("Result : ")],
                         [""] * 4 + [expanded])
        self.assertIn("QV dir : %s\r\n" % expanded, qv)
        self.assertIn("Result : \"C:\\Studio\\qv-studio.exe\" \"%1\"\r\nQVS dir : C:\\Studio\\\r\n"
                      "Free useless table", qvs)

    def test_running_editor_warns_only_under_its_exact_name(self):
        with winelib.Driver(winelib.Wine()) as driver:
            for images, warned in ((["quorvane.exe"], []), (["Quorvane.exe", "qv-studio.exe"],
                                                            ["Quorvane", "Quorvane Studio"])):
                for image in images:  # the driver's self-test window under an editor's name
                    folder = winelib.fresh_dir(os.path.join(winelib.artifacts_dir("test_hosts"),
                                                            image))
                    exe = shutil.copy(winelib.programs("selftest")["selftest"],
                                      os.path.join(folder, image))
                    self.addCleanup(winelib.stop_process, winelib.Wine().start(
                        exe, cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL))
                winelib.wait_until(lambda: driver.cmd("windows").count("Selftest") ==
                                   1 + len(warned), 30, "the editors' windows")
                run = self.start(images[0], "fr_FR")
                for edition in warned:
                    self.assertEqual(run.cmd("message"), "Attention|" + RUNNING % edition)
                    self.assertNotIn("Installation", driver.cmd("windows").split("|"))
                    run.screenshot("running-" + edition)
                    run.cmd("answer ok")
                found = "found !\r\n" if warned else ""
                self.assertIn("Check for Quorvane.exe...\r\n%sCheck for qv-studio.exe...\r\n%s"
                              "Main loop" % (found, found), self.finish(run))


if __name__ == "__main__":
    winelib.require_programs("qvk", "uidriver", "selftest")
    unittest.main(verbosity=2)
