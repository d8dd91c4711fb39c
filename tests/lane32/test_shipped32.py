"""The shipped 32-bit qvk.exe and qvk-faults.exe on the 32-bit side of a 64-bit Wine prefix, as
tools/lane32.sh starts them (natively, or under qemu-i386 where the kernel cannot run 32-bit
code): what only a 32-bit program meets there. The registry's 32-bit view, the system folder
a 32-bit program is given (SysWOW64), the download retry, and the crash report's 32-bit context
and instruction text. Every run is unattended: under qemu-i386, a debug run's wizard stops for
good in Wine while it opens its first dialog. One prefix for the lane, made by its fixture."""

import os
import re
import unittest

import winelib
from winelib import CONFIGURED, INI, QV, catalogue_site

# A 32-bit start under the emulator spends about a minute in Wine's loader before the program's
# own code runs, which then runs several times slower than natively.
RUN_S = 600
# The selectors of 32-bit user code and data under a 64-bit kernel (0x33 would be 64-bit code).
CS32, SS32 = "00000023", "0000002b"
REGISTERS = ("EAX", "ECX", "EDX", "EBX", "ESP", "EBP", "ESI", "EDI")  # by their x86 number
# Under qemu-i386, Wine names a fault from the trap number the emulator leaves in the signal
# context (a bad read comes as "Invalid instruction"), and the bytes the program reads back of
# its own code are not those the emulator runs: the fault's kind, its instruction text and so
# going on after it are the emulator's. Address, registers and selectors stay right.
EMULATED = bool(os.environ.get("QVK_WINE_ALLOW_QEMU"))
# Nor does the emulator carry Wine's 32-bit sockets used from several threads at once: a bare
# program whose four threads each fetch a page over loopback dies there of a SIGSEGV in the
# emulator, or of a "wine client error", while one thread alone goes through. Under it, the
# downloads go one at a time, as they do in the wizard.
ONE_AT_A_TIME = ["-connections=1"] if EMULATED else []


def code_at(exe, address, count):
    """The `count` bytes of the 32-bit file's code at `address` (its preferred base)."""
    with open(exe, "rb") as f:
        head = f.read(4096)
        pe = int.from_bytes(head[0x3C:0x40], "little")
        base = int.from_bytes(head[pe + 52:pe + 56], "little")
        table = pe + 24 + int.from_bytes(head[pe + 20:pe + 22], "little")
        for at in range(table, table + 40 * int.from_bytes(head[pe + 6:pe + 8], "little"), 40):
            size, rva, _, raw = (int.from_bytes(head[at + k:at + k + 4], "little") for k in (8, 12, 16, 20))
            if rva <= address - base < rva + size:
                f.seek(raw + address - base - rva)
                return f.read(count)
    raise AssertionError("0x%x is not in %s" % (address, exe))


def text_section(exe):
    """[start, end) of the 32-bit file's code section once loaded at its preferred base."""
    with open(exe, "rb") as f:
        head = f.read(4096)
    pe = int.from_bytes(head[0x3C:0x40], "little")
    sections, optional = int.from_bytes(head[pe + 6:pe + 8], "little"), pe + 24
    assert head[optional:optional + 2] == b"\x0b\x01", "not a PE32 file: %s" % exe
    base = int.from_bytes(head[optional + 28:optional + 32], "little")
    table = optional + int.from_bytes(head[pe + 20:pe + 22], "little")
    for at in range(table, table + 40 * sections, 40):
        if head[at:at + 8].rstrip(b"\0") == b".text":
            size, rva = (int.from_bytes(head[at + k:at + k + 4], "little") for k in (8, 12))
            return base + rva, base + rva + size
    raise AssertionError("no .text section in %s" % exe)


class Shipped32(unittest.TestCase):
    def setUp(self):
        self.wine = winelib.Wine()
        self.art = winelib.fresh_dir(os.path.join(winelib.artifacts_dir("test_shipped32"),
                                                  self._testMethodName[5:]))
        winelib.forget_xnview(self.wine)

    def serve(self, rules=None, view64=None):
        """Quorvane "installed" with its folder in the registry's 32-bit view; `view64` another
        folder, ready to be taken, that only the 64-bit view names."""
        server = winelib.serve_site(os.path.join(self.art, "site"), rules=rules, xnview=True)
        self.addCleanup(server.stop)
        self.enterContext(winelib.installed_editions(self.wine, ["Quorvane"], INI))
        if view64:
            with open(os.path.join(winelib.fresh_dir(self.wine.path(view64)), "Quorvane.exe"), "wb"):
                pass
            key = winelib.EDITIONS["Quorvane"][1]
            self.enterContext(winelib.registry_values(self.wine, "64", [key],
                                                      [(key, "", "REG_SZ", view64)]))
        return server

    def silent(self, server, *args, exe=None, debug=True):
        """qvk.exe (or `exe`) -silent [-debug]; (exit code, output, qvk.log)."""
        cwd = winelib.fresh_dir(os.path.join(self.art, "cwd"))
        exe = exe or winelib.programs("qvk")["qvk"]
        self.assertEqual(winelib.pe_machine(exe), winelib.I386)
        given = ["-silent", "-url=%s|/plugins.php" % server.address] + ["-debug"] * debug
        code, out = winelib.run_unattended(self.wine, given + ONE_AT_A_TIME + list(args), cwd,
                                           timeout=RUN_S, exe=exe)
        with open(os.path.join(self.art, "output.txt"), "w") as f:
            f.write(out)
        return code, out, "\r\n".join(winelib.read_log(cwd) + [""])

    def plugins(self):
        return catalogue_site.tree(winelib.editor_folder(self.wine, "Quorvane", "Plugins"))

    def ini(self):
        with open(winelib.editor_folder(self.wine, "Quorvane", "Quorvane.ini"), newline="") as f:
            return f.read()

    def test_install_from_the_32_bit_registry_view_into_the_32_bit_system_folder(self):
        server = self.serve(view64="C:\\Program Files\\Quorvane 64\\")
        code, out, log = self.silent(server, "-plugins=Sharpen Pro;Importation XnView;aged Photo")
        self.assertEqual(code, 0, out)
        self.assertIn("  Installed into %sPlugins\\: aged Photo, Importation XnView, Sharpen Pro\r\n"
                      % QV, out)
        self.assertEqual(self.plugins(), catalogue_site.installed_files(
            ["aged Photo", "Importation XnView", "Sharpen Pro"]))
        self.assertEqual(self.ini(), CONFIGURED)
        self.assertFalse(os.path.exists(self.wine.path("C:\\Program Files\\Quorvane 64\\Plugins")))
        # The program names the system folder as it sees it; the files land where Windows keeps
        # a 32-bit program's, and nowhere else.
        self.assertRegex(out, r"  Installed into C:\\windows\\system32\\?: XnViewDll.zip\r\n")
        windows = self.wine.path("C:\\windows")
        self.assertEqual(sorted(os.path.relpath(p, windows) for p in winelib.xnview_files(
            self.wine, "XnViewDLL*")), ["syswow64/XnViewDLL", "syswow64/XnViewDLL.8bf"])
        paths = [r["path"] for r in server.requests()]
        self.assertEqual(paths[0], "/plugins.php")
        self.assertEqual(sorted(paths[1:]), sorted("/files/%s.zip" % f for f in (
            "agedphoto", "importationxnview", "sharpenpro", "XnViewDll")))
        self.assertTrue(out.endswith("Exit code: 0 (everything asked for is installed and "
                                     "configured)\r\n"), out)
        self.assertTrue(log.endswith(out[out.index("Summary:"):]), log)
        # The processor as the system reports it to this 32-bit process: x86, which names a
        # workstation's edition (a 64-bit process is told x64, and the edition stays unnamed).
        self.assertRegex(log, r"\r\nHost OS: [^\r]* Professional\b")

    def test_a_failed_download_retried_once_then_skipped(self):
        server = self.serve({"/files/agedphoto.zip": "status-404"})
        code, out, _ = self.silent(server, "-plugins=aged Photo;Blur & Glow")
        self.assertEqual(code, 1, out)
        self.assertEqual(re.findall(r"file aged Photo ! Do you want to retry\? -> (\w+)", out),
                         ["Yes", "No"])
        self.assertEqual([r["path"] for r in server.requests()].count("/files/agedphoto.zip"), 2)
        self.assertEqual(self.plugins(), catalogue_site.installed_files(["Blur & Glow"]))
        self.assertEqual(self.ini(), CONFIGURED)
        self.assertIn("  Failed: aged Photo (download failed)\r\n", out)
        self.assertTrue(out.endswith("\r\nExit code: 1 (some plugins failed)\r\n"), out)

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
        start, end = text_section(exe)
        for n, report in enumerate(reports, 1):
            fields = dict(re.findall(r"(\w+): ([0-9a-f]{8})\b", " ".join(report[1:5])))
            self.assertRegex(report[1], r"^Address: [0-9a-f]{8}   file: [A-Z]:\\.*\\qvk-faults\.exe$")
            self.assertTrue(start <= int(fields["Address"], 16) < end, (report, hex(start), hex(end)))
            self.assertEqual([fields["SegCS"], fields["SegSS"]], [CS32, SS32])
            self.assertRegex(report[5], r"^File: catalogue\.cpp   line: \d+$")
            self.assertEqual(report[7], "Total number of errors: %d" % n)
        # The address is the read's own in the file: a load through a 32-bit register, which the
        # report shows holding 0x10.
        fields = dict(re.findall(r"(\w+): ([0-9a-f]{8})\b", " ".join(reports[0][1:5])))
        opcode, modrm = code_at(exe, int(fields["Address"], 16), 2)
        self.assertEqual([opcode, modrm >> 6], [0x8B, 0], reports[0])
        self.assertEqual(fields[REGISTERS[modrm & 7]], "00000010", reports[0])
        if EMULATED:
            # The emulated process at times dies of a SIGSEGV of the emulator's after the
            # program's last word: the exit code then is the signal's, the account is whole.
            self.assertIn(code, (2, -11), out)
            self.assertIn("Critical error: QVK has encountered a critical error", out)
            self.assertTrue(out.endswith("Exit code: 2 (the catalogue could not be read)\r\n"), out)
            return
        self.assertEqual(code, 2, out)
        self.assertTrue(out.endswith("The catalogue was not read\r\nSummary:\r\n  Nothing installed\r\n"
                                     "  Log: qvk.log\r\nExit code: 2 (the catalogue could not be read)\r\n"), out)
        access, overflow = reports
        self.assertEqual([access[0], overflow[0]], ["Error: Invalid memory access(-1073741819)",
                                                    "Error: Stack overflow(-1073741571)"])
        self.assertRegex(access[6], r"^ASM: mov %s, dword ptr \[%s\]$" % (
            REGISTERS[(modrm >> 3) & 7].lower(), REGISTERS[modrm & 7].lower()))
        self.assertEqual([r[8] for r in reports], ["! Error ignored by safemode !"] * 2)
        self.assertEqual(overflow[10], "Can't resume after this error: the thread is ended")

if __name__ == "__main__":
    winelib.require_programs("qvk", "faults", "uidriver")
    unittest.main(verbosity=2)
