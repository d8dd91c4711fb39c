"""The shipped 32-bit programs in a 64-bit Wine prefix, started by tools/lane32.sh (natively or
under qemu-i386): the registry's 32-bit view, SysWOW64, the crash report's 32-bit context. All
unattended: under qemu-i386 a debug run's wizard stops for good at its first dialog."""

import os
import re
import unittest

import winelib
from winelib import CONFIGURED, INI, catalogue_site

RUN_S = 600  # emulated, a 32-bit start spends a minute in Wine's loader, then runs slower
CS32, SS32 = "00000023", "0000002b"  # 32-bit user code and data under a 64-bit kernel
REGISTERS = ("EAX", "ECX", "EDX", "EBX", "ESP", "EBP", "ESI", "EDI")  # by their x86 number
# Under qemu-i386 a fault's kind, its instruction text and going on after it are the emulator's.
EMULATED = bool(os.environ.get("QVK_WINE_ALLOW_QEMU"))
# Nor does the emulator carry Wine's 32-bit sockets used from several threads at once.
ONE_AT_A_TIME = ["-connections=1"] if EMULATED else []


def text_section(exe):
    """The 32-bit file's code section loaded at its preferred base: start, end, file offset."""
    with open(exe, "rb") as f:
        head = f.read(4096)

    def word(at, size=4):
        return int.from_bytes(head[at:at + size], "little")
    pe = word(0x3C)
    assert head[pe + 24:pe + 26] == b"\x0b\x01", "not a PE32 file: %s" % exe
    table = pe + 24 + word(pe + 20, 2)
    for at in range(table, table + 40 * word(pe + 6, 2), 40):
        if head[at:at + 8].rstrip(b"\0") == b".text":
            start = word(pe + 52) + word(at + 12)
            return start, start + word(at + 8), word(at + 20)
    raise AssertionError("no .text section in %s" % exe)


class Shipped32(unittest.TestCase):
    def setUp(self):
        self.wine = winelib.Wine()
        self.art = winelib.fresh_dir(os.path.join(winelib.artifacts_dir("test_shipped32"),
                                                  self._testMethodName[5:]))
        winelib.forget_xnview(self.wine)

    def serve(self):
        """Quorvane "installed" with its folder in the registry's 32-bit view."""
        server = winelib.serve_site(os.path.join(self.art, "site"), xnview=True)
        self.addCleanup(server.stop)
        self.enterContext(winelib.installed_editions(self.wine, ["Quorvane"], INI))
        return server

    def silent(self, server, *args, exe=None, debug=True):
        """qvk.exe (or `exe`) -silent [-debug]; (exit code, output, qvk.log)."""
        cwd = winelib.fresh_dir(os.path.join(self.art, "cwd"))
        exe = exe or winelib.programs("qvk")["qvk"]
        given = ["-silent", "-url=%s|/plugins.php" % server.address] + ["-debug"] * debug
        code, out = winelib.run_unattended(self.wine, given + ONE_AT_A_TIME + list(args), cwd,
                                           timeout=RUN_S, exe=exe)
        return code, out, "\r\n".join(winelib.read_log(cwd) + [""])

    def test_install_from_the_32_bit_registry_view_into_the_32_bit_system_folder(self):
        server, view64 = self.serve(), "C:\\Program Files\\Quorvane 64\\"
        # Another folder, ready to be taken, that only the 64-bit view names.
        open(os.path.join(winelib.fresh_dir(self.wine.path(view64)), "Quorvane.exe"), "wb").close()
        key = winelib.EDITIONS["Quorvane"][1]
        self.enterContext(winelib.registry_values(self.wine, "64", [key],
                                                  [(key, "", "REG_SZ", view64)]))
        code, out, log = self.silent(server, "-plugins=Sharpen Pro;Importation XnView;aged Photo")
        self.assertEqual(code, 0, out)
        plugins = winelib.editor_folder(self.wine, "Quorvane", "Plugins")
        self.assertEqual(catalogue_site.tree(plugins), catalogue_site.installed_files(
            ["aged Photo", "Importation XnView", "Sharpen Pro"]))
        with open(winelib.editor_folder(self.wine, "Quorvane", "Quorvane.ini"), newline="") as f:
            self.assertEqual(f.read(), CONFIGURED)
        self.assertFalse(os.path.exists(self.wine.path(view64 + "Plugins")))
        # The system folder named as the program sees it; the files where a 32-bit program's go.
        self.assertRegex(out, r"  Installed into C:\\windows\\system32\\?: XnViewDll.zip\r\n")
        windows = self.wine.path("C:\\windows")
        self.assertEqual(sorted(os.path.relpath(p, windows) for p in winelib.xnview_files(
            self.wine, "XnViewDLL*")), ["syswow64/XnViewDLL", "syswow64/XnViewDLL.8bf"])
        # A 32-bit process is told x86, which names a workstation's edition (x64 leaves it unnamed).
        self.assertRegex(log, r"\r\nHost OS: [^\r]* Professional\b")

    def test_crash_reports_of_worker_faults_have_the_32_bit_context(self):
        server = self.serve()
        exe = winelib.programs("faults")["faults"]
        if EMULATED:  # one fault, whose report ends the run
            args = ["-debug", "-faulttest=access@worker"]
        else:  # a read of address 0x10 gone on from, then a stack overflow that ends the thread
            args = ["-safemode", "-faulttest=access@worker,overflow@worker"]
        code, out, log = self.silent(server, *args, exe=exe, debug=False)
        log = log.split("\r\n")
        reports = [log[i + 1:i + 12] for i, line in enumerate(log)
                   if line == "! Entered into critical section before crash !"]
        self.assertEqual(len(reports), 1 if EMULATED else 2, log)
        start, end, raw = text_section(exe)
        fields = [dict(re.findall(r"(\w+): ([0-9a-f]{8})\b", " ".join(r[1:5]))) for r in reports]
        for report, found in zip(reports, fields):
            self.assertTrue(start <= int(found["Address"], 16) < end, (report, start, end))
            self.assertEqual([found["SegCS"], found["SegSS"]], [CS32, SS32])
        # The address is the read's own: a load through a 32-bit register the report shows as 0x10.
        with open(exe, "rb") as f:
            f.seek(raw + int(fields[0]["Address"], 16) - start)
            opcode, modrm = f.read(2)
        self.assertEqual([opcode, modrm >> 6], [0x8B, 0], reports[0])
        self.assertEqual(fields[0][REGISTERS[modrm & 7]], "00000010", reports[0])
        if EMULATED:
            # At times the emulator dies of a SIGSEGV after the program's last word.
            self.assertIn(code, (2, -11), out)
            self.assertIn("Critical error: QVK has encountered a critical error", out)
            self.assertTrue(out.endswith("Exit code: 2 (the catalogue could not be read)\r\n"), out)
            return
        self.assertEqual(code, 2, out)
        access, overflow = reports
        self.assertEqual([access[0], overflow[0]], ["Error: Invalid memory access(-1073741819)",
                                                    "Error: Stack overflow(-1073741571)"])
        self.assertRegex(access[6], r"^ASM: mov %s, dword ptr \[%s\]$" % (
            REGISTERS[(modrm >> 3) & 7].lower(), REGISTERS[modrm & 7].lower()))
        self.assertEqual(overflow[10], "Can't resume after this error: the thread is ended")


if __name__ == "__main__":
    winelib.require_programs("qvk", "faults", "uidriver")
    unittest.main(verbosity=2)
