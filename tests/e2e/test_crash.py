"""The crash report under Wine, with real faults from qvk-faults.exe (the test program with fault
triggers, -faulttest=KIND@PLACE), and the shipped qvk.exe, which has none."""

import os
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(HERE)), "tools"))
import winelib  # noqa: E402
from test_catalogue import CatalogueCase, DEFAULT_SORTED, NEXT, read_log  # noqa: E402
from test_wizard import qvk_folder_in, start_server, temp_folder  # noqa: E402

ASK = ("Critical error|QVK has encountered a critical error and shouldn't continue to work. "
       "However do you want to continue ? (Only for advanced users)")
TELL = ("Critical error|QVK has encountered a critical error and can't continue to work. You "
        "should try again and activate debug mode.")
ACCESS, DIVIDE = ("Error: Invalid memory access(-1073741819)",
                  "Error: Integer division by zero(-1073741676)")
ENDED_THREAD = "Can't resume after this error: the thread is ended"
FORM = [r"^Address: {0}   file: [A-Z]:\\.*\\{1}$",
        r"^EAX: {0}   EBX: {0}   ECX: {0}   EDX: {0}$",
        r"^EBP: {0}   ESI: {0}   ESP: {0}   EDI: {0}$",
        r"^FFLags: {0}        SegCS: {0}        SegSS: {0}$", r"^File: \S.*   line: \d+$",
        "^ASM: ."]


class Crash(CatalogueCase):
    def start_faults(self, args, faults, server=True, exe="faults"):
        address = "127.0.0.1"  # a run that fetches nothing needs no server
        if server:  # an address of this run's own: other test runs may share the machine
            plugins = start_server(self.art)
            self.addCleanup(plugins.stop)
            address = plugins.address
        run = winelib.Run(winelib.Wine(), winelib.programs(exe, "uidriver")[exe],
                          args + ["-url=%s|/plugins.php" % address, "-faulttest=" + faults],
                          self.cwd, locale="en_US", timeout=150, artifacts=self.art)
        self.addCleanup(self.finish, run)
        run.cmd("window Language", timeout_ms=winelib.START_MS)
        run.cmd("click 1")
        run.cmd("window Installation", timeout_ms=winelib.START_MS)
        run.cmd("click %d" % NEXT)  # welcome -> notes: the "main" faults come here
        return run

    def answer(self, run, box, button):
        self.assertEqual(run.cmd("@30000 message"), box)
        run.cmd("answer " + button)

    def reports(self, log, program="qvk-faults.exe"):  # from the error line on, form checked
        found = []
        head = "! Entered into critical section before crash !"
        for i in [i for i, line in enumerate(log) if line == head]:
            self.assertEqual(log[i - 1], "")
            for line, form in zip(log[i + 2:i + 8], FORM):
                self.assertRegex(line, form.format("[0-9a-f]{8}", program.replace(".", r"\.")))
            found.append(log[i + 1:i + 10])
        return found

    def wait_log(self, line, count=1):
        winelib.wait_until(lambda: read_log(self.cwd).count(line) >= count, 60, line, 0.5)

    def test_debug_worker_faults_twice_yes_and_the_catalogue_finishes(self):
        run = self.start_faults(["-debug"], "access@worker,divide@worker")
        run.cmd("click %d" % NEXT)  # notes -> catalogue
        self.answer(run, ASK, "yes")
        self.answer(run, ASK, "yes")
        self.analysed(run, "en", DEFAULT_SORTED, "after-two-faults")
        self.quit(run, "en")
        log = read_log(self.cwd)
        first, second = self.reports(log)
        self.assertEqual([first[0], second[0]], [ACCESS, DIVIDE])
        self.assertRegex(first[5], r"^File: catalogue\.cpp   line: \d+$")
        self.assertRegex(first[6] + "|" + second[6],
                         r"^ASM: mov \w+, dword ptr \[\w+\]\|ASM: idiv ")
        self.assertEqual([first[7], second[7]], ["Total number of errors: %d" % n for n in (1, 2)])
        for at in (log.index(first[7]), log.index(second[7])):
            self.assertEqual(log[at + 1:at + 3], ["! Error ignored by user !", ""])

    def test_debug_main_thread_fault_after_install_no_ends_and_removes_the_work_folder(self):
        run = self.start_faults(["-debug"], "access@install")
        run.cmd("click %d" % NEXT)
        self.analysed(run, "en", DEFAULT_SORTED, "catalogue")
        run.cmd("click %d" % NEXT)               # -> plugin list, all ticked
        run.cmd("waitvisible %d 1" % (100 + len(DEFAULT_SORTED) - 1))
        run.cmd("click %d" % NEXT)               # -> folders
        run.cmd("waitvisible 19 1")
        run.cmd("check 19 1")
        run.cmd("check 20 0")
        run.cmd("settext 18 C:\\")
        run.cmd("click %d" % NEXT)               # "Install >": no Quorvane.exe there,
        run.cmd("message")
        run.cmd("answer no")                     # keep that folder all the same
        self.answer(run, ASK, "no")
        self.assertEqual(run.wait(30), 0)
        log = read_log(self.cwd)
        (report,) = self.reports(log)
        self.assertEqual([report[0], report[5][:24]], [ACCESS, "File: Main Module   line"])
        self.assertEqual(log[-1], "End... Goodbye !")
        self.assertLess(log.index("Starting install !"), log.index(report[0]))
        temp = temp_folder("\r\n".join(log).encode("cp1252"), winelib.Wine().prefix)
        self.assertEqual(qvk_folder_in(temp), [])

    def test_safe_mode_goes_on_by_itself_in_both_threads(self):
        run = self.start_faults(["-safemode"], "divide@main,access@main,access@worker")
        run.cmd("click %d" % NEXT)
        self.analysed(run, "en", DEFAULT_SORTED, "safe-mode")
        self.assertEqual(run.driver.try_cmd("@500 message"), None)  # no box at all
        self.quit(run, "en")
        log = read_log(self.cwd)
        reports = self.reports(log)
        self.assertEqual([r[0] for r in reports], [DIVIDE, ACCESS, ACCESS])
        self.assertEqual([r[7] for r in reports],
                         ["Total number of errors: %d" % n for n in (1, 2, 3)])
        self.assertEqual(log.count("! Error ignored by safemode !"), 3)

    def test_neither_mode_tells_and_ends(self):
        for faults, server in (("divide@worker", True), ("access@main", False)):
            self.cwd = winelib.fresh_dir(os.path.join(self.art, faults.replace("@", "-")))
            run = self.start_faults([], faults, server)
            if server:
                run.cmd("click %d" % NEXT)
            self.answer(run, TELL, "ok")
            self.assertEqual(run.wait(30), 0)
            self.assertFalse(os.path.exists(os.path.join(self.cwd, "qvk.log")))

    def test_assertion_and_stack_overflow_in_workers(self):
        # The assertion resumes after its raise; the overflow ends only the catalogue thread,
        # once, and the wizard still answers.
        run = self.start_faults(["-safemode"], "nojob@main,overflow@worker")
        run.cmd("click %d" % NEXT)
        self.wait_log(ENDED_THREAD)
        time.sleep(2)  # room for a report that would come again
        self.quit(run, "en")
        log = read_log(self.cwd)
        *assertions, second = self.reports(log)  # the catalogue, download and install threads
        self.assertEqual([r[0] for r in assertions], ["Error: Assertion failed"] * 3)
        self.assertEqual(log.count("No job block: thread finished"), 3)
        self.assertEqual(second[0], "Error: Stack overflow(-1073741571)")
        self.assertEqual(log[log.index(second[7]) + 3], ENDED_THREAD)
        self.assertNotIn("Enable button", log)
        self.assertEqual(log[-1], "Yes, delete temp dir and free memories")

    def test_jump_into_nothing_on_the_main_thread_ends_in_order_once(self):
        run = self.start_faults(["-debug"], "jump@main", server=False)
        self.answer(run, ASK, "yes")  # going on is impossible there: the orderly end
        self.assertEqual(run.wait(30), 0)
        log = read_log(self.cwd)
        (report,) = self.reports(log)
        self.assertEqual([report[0], report[1][:18], report[6]], [
            ACCESS, "Address: 00000010 ", "ASM: (no readable instruction at this address)"])
        self.assertEqual(log[-4:], ["! Error ignored by user !", "", "Can't resume after this "
                                    "error: the program ends", "End... Goodbye !"])

    def test_fault_inside_the_report_ends_in_order_without_a_second_report(self):
        run = self.start_faults(["-safemode"], "report@main,access@main", server=False)
        self.assertEqual(run.wait(30), 0)
        log = read_log(self.cwd)
        self.assertEqual(len(self.reports(log)), 1)
        self.assertEqual(log[-4:], ["! Error ignored by safemode !", "",
                                    "Error inside the crash report", "End... Goodbye !"])

    def test_two_threads_faulting_together_get_whole_reports_and_both_counts(self):
        run = self.start_faults(["-safemode"], "together@main", server=False)
        self.wait_log("! Error ignored by safemode !", 2)
        run.cmd("waitvisible 11 1")
        self.quit(run, "en")
        reports = self.reports(read_log(self.cwd))  # whole: each line of each in its place
        self.assertEqual([r[0] for r in reports], [ACCESS, ACCESS])
        self.assertEqual(sorted(r[7] for r in reports),
                         ["Total number of errors: %d" % n for n in (1, 2)])

    def test_shipped_program_has_no_trigger(self):
        for name, present in (("qvk", False), ("faults", True)):
            with open(winelib.product_path(name), "rb") as f:
                self.assertEqual(b"-faulttest=" in f.read(), present, name)
        run = self.start_faults(["-debug"], "access@main", server=False, exe="qvk")
        run.cmd("waitvisible 11 1")
        self.quit(run, "en")
        self.assertEqual(self.reports(read_log(self.cwd), "qvk.exe"), [])


if __name__ == "__main__":
    winelib.require_programs("faults", "uidriver")
    unittest.main()
