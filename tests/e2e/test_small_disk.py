"""qvk.exe -silent under Wine with the edition's folder on a small disk of its own (a 64 MB tmpfs
the test mounts, as root, and removes): an archive bigger than the disk, and a disk too full for
Quorvane.ini to be rewritten."""

import os
import pathlib
import shutil
import subprocess
import threading
import unittest
import zipfile

import winelib
from winelib import INI, QV, catalogue_site

DISK = 64 << 20
KEPT = DISK // 20  # what the program keeps free on a disk this small


def good(name):
    def make(path):
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
            for rel in (name + ".8bf", name + "/readme.txt"):
                z.writestr(rel, name)
    return make


def big(path):
    """One honest 3 GiB entry of zeros: some 3 MB of archive."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z, \
            z.open("Zeros.8bf", "w", force_zip64=True) as f:
        chunk = bytes(1 << 20)
        for _ in range(3072):
            f.write(chunk)


ARCHIVES = {  # link text: (file, what goes in it)
    "Good One": ("good1.zip", good("GoodOne")),
    "Good Two": ("good2.zip", good("GoodTwo")),
    "Big": ("big.zip", big),
}


class SmallDisk(unittest.TestCase):
    def setUp(self):
        winelib.start_unattended_case(self, "test_small_disk")
        cache = os.path.join(winelib.artifacts_dir("test_small_disk"), "archives")
        os.makedirs(cache, exist_ok=True)
        for name, (file, make) in ARCHIVES.items():  # the big one takes a while: made once
            if not os.path.exists(os.path.join(cache, file)):
                make(os.path.join(cache, file + ".part"))
                os.replace(os.path.join(cache, file + ".part"), os.path.join(cache, file))

        def build(root, address):
            os.makedirs(os.path.join(root, "files"))
            for file, _ in ARCHIVES.values():
                shutil.copy(os.path.join(cache, file), os.path.join(root, "files", file))
            entries = [(n, "http://%s/files/%s" % (address, f), n, "A / 1 / 1 KB")
                       for n, (f, _) in ARCHIVES.items()]
            with open(os.path.join(root, "plugins.php"), "wb") as f:
                f.write(catalogue_site.catalogue_page(entries).encode("cp1252"))

        self.server = winelib.own_plugin_server(os.path.join(self.art, "site"), build)
        self.addCleanup(self.server.stop)
        self.enterContext(winelib.installed_editions(self.wine, ["Quorvane"], INI))
        # The edition's folder becomes a small disk of its own, with what it held.
        self.disk = winelib.editor_folder(self.wine, "Quorvane")
        kept = {n: pathlib.Path(self.disk, n).read_bytes() for n in os.listdir(self.disk)}
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % DISK, "qvk-small-disk",
                                  self.disk], capture_output=True, text=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a tmpfs here: " + mounted.stderr.strip())
        self.addCleanup(subprocess.run, ["umount", "-l", self.disk], check=True)
        for name, data in kept.items():
            with open(os.path.join(self.disk, name), "wb") as f:
                f.write(data)

    def free(self):
        figures = os.statvfs(self.disk)
        return figures.f_bavail * figures.f_frsize

    def silent(self, *args):
        """Runs qvk.exe -silent -debug; (exit code, output, least free room seen)."""
        least, stop = [self.free()], threading.Event()

        def watch():
            for _ in range(100000):  # every 5 ms for the run's 90 s at most, and a margin
                if stop.wait(0.005):
                    return
                least[0] = min(least[0], self.free())

        watcher = threading.Thread(target=watch)
        watcher.start()
        url = "-url=%s|/plugins.php" % self.server.address
        try:
            code, out, _ = winelib.run_in_case(self, ["-silent", "-debug", url] + list(args),
                                               timeout=180)
        finally:
            stop.set()
            watcher.join()
        self.assertEqual(winelib.work_folders(self.wine), [])
        return code, out, least[0]

    def test_an_archive_the_disk_cannot_hold_beside_two_good_plugins(self):
        code, out, least = self.silent()
        self.assertEqual(code, 1, out)
        self.assertEqual(catalogue_site.tree(os.path.join(self.disk, "Plugins")),
                         catalogue_site.installed_files(["Good One", "Good Two"]))
        self.assertIn("  %sQuorvane.ini: updated\r\n" % QV, out)
        # The mounted folder is a disk of its own, and the system names it so.
        self.assertIn("\r\n  Failed: Big (big.zip cannot be installed: not enough room on %s: "
                      "3072 MB needed, %d MB free, 4 MB kept free)\r\n"
                      % (QV, self.free() >> 20), out)
        # Nothing of it was ever written: the disk kept its margin all along.
        self.assertGreaterEqual(least, KEPT)

    def test_a_full_disk_leaves_the_settings_as_they_were(self):
        # Until the disk refuses more: dd stops there (bounded besides: twice the disk).
        subprocess.run(["dd", "if=/dev/zero", "of=" + os.path.join(self.disk, "filler"), "bs=4k",
                        "count=%d" % (2 * DISK >> 12)], capture_output=True)
        self.assertLess(self.free(), 1 << 12)
        code, out, _ = self.silent("-plugins=Good One")
        self.assertEqual(code, 1, out)
        self.assertIn("  Failed: Good One (good1.zip cannot be installed: not enough room on %s: "
                      "1 MB needed, 0 MB free, 4 MB kept free)\r\n" % QV, out)
        self.assertIn("  %sQuorvane.ini: not updated: read-only or not writable\r\n" % QV, out)
        with open(os.path.join(self.disk, "Quorvane.ini"), newline="") as f:
            self.assertEqual(f.read(), INI)
        self.assertEqual(sorted(os.listdir(self.disk)), ["Quorvane.exe", "Quorvane.ini", "filler"])


if __name__ == "__main__":
    winelib.require_programs("qvk")
    unittest.main()
