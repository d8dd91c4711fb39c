"""Crash reports under Wine of the real faults qvk-faults.exe raises (-faulttest=KIND@PLACE)."""

import os
import time
import unittest

import winelib
from test_catalogue import CatalogueCase

ASK = ("Critical error|QVK has encountered a critical error and shouldn't continue to work. "
       "However do you want to continue ? (Only for advanced users)")
TELL = ("Critical error|QVK has encountered a critical error and can't continue to work. You "
        "should try again and activate debug mode.")
ACCESS, DIVIDE = ("Error: Invalid memory access(-1073741819)",
                  "Error: Integer division by zero(-1073741676)")
ENDED = "Can't resume after this error: the %s"
GOODBYE, ABORTED = "End... Goodbye !", "Yes, delete temp dir and free memories"
# catalogue_site's five plugins as the list shows them: sorted without regard to case.
SORTED = ["aged Photo", "Blur & Glow", "Caf\xe9 Colours", "Importation XnView", "Sharpen Pro"]


class Crash(CatalogueCase):
    def case(self, faults, args=("-debug",), server=True, answers=(), analysed=False):
        """qvk-faults.exe to the notes page ("main" faults) or, with a server, the catalogue."""
        address = self.serve().address if server else winelib.loopback(7)  # nothing served there
        run = self.start(address, list(args) + ["-faulttest=" + faults],
                         winelib.programs("faults", "uidriver")["faults"], catalogue=server)
        for box, button in answers:
            self.assertEqual(run.cmd("@30000 message"), box)
            run.cmd("answer " + button)
        if analysed:
            self.analysed(run, SORTED)
        return run

    def reports(self):
        """The log, and each report from its error line on, naming the program's own file."""
        log = winelib.read_log(self.cwd)
        found = [log[i + 1:i + 10] for i, line in enumerate(log)
                 if line == "! Entered into critical section before crash !"]
        for report in found:
            self.assertRegex(report[1],
                             r"^Address: [0-9a-f]{8}   file: [A-Z]:\\.*\\qvk-faults\.exe$")
        return log, found

    def assert_counted(self, reports, heads):
        self.assertEqual([(r[0], r[7]) for r in reports],
                         [(h, "Total number of errors: %d" % (n + 1)) for n, h in enumerate(heads)])

    def test_debug_worker_faults_yes_then_a_main_thread_fault_after_install_no_ends(self):
        run = self.case("access@worker,divide@worker,access@install", answers=[(ASK, "yes")] * 2,
                        analysed=True)
        run.cmds("click 10", "waitvisible %d 1" % (99 + len(SORTED)), "click 10",
                 "waitvisible 19 1", "check 19 1", "check 20 0", "settext 18 C:\\\\", "click 10",
                 "message", "answer no")
        self.assertEqual(run.cmd("@30000 message"), ASK)  # after keeping a folder without the exe
        run.cmd("answer no")
        self.assertEqual(run.wait(30), 0)
        log, reports = self.reports()
        self.assert_counted(reports, [ACCESS, DIVIDE, ACCESS])
        self.assertRegex(reports[0][5], r"^File: catalogue\.cpp   line: \d+$")
        self.assertRegex(reports[0][6] + "|" + reports[1][6],
                         r"^ASM: mov \w+, dword ptr \[\w+\]\|ASM: idiv ")
        for report in reports[:2]:
            self.assertEqual(log[log.index(report[7]) + 1:][:2], ["! Error ignored by user !", ""])
        self.assertEqual([reports[2][5][:24], log[-1]], ["File: Main Module   line", GOODBYE])
        self.assertLess(log.index("Starting install !"), log.index(reports[2][7]))
        self.assertEqual(winelib.work_folders(winelib.Wine()), [])

    def test_assertion_and_stack_overflow_in_workers(self):
        # The assertion resumes; the overflow ends only the catalogue thread, once.
        run = self.case("nojob@main,overflow@worker", ["-safemode"])
        winelib.wait_until(lambda: ENDED % "thread is ended" in winelib.read_log(self.cwd), 60,
                           "the end")
        time.sleep(2)  # room for a report that would come again
        self.quit(run)
        log, reports = self.reports()
        self.assert_counted(reports, ["Error: Assertion failed"] * 3
                            + ["Error: Stack overflow(-1073741571)"])
        self.assertEqual(log.count("No job block: thread finished"), 3)  # the three workers
        self.assertEqual(log[log.index(reports[3][7]) + 3], ENDED % "thread is ended")
        self.assertNotIn("Enable button", log)
        self.assertEqual(log[-1], ABORTED)

    def test_faults_that_tell_and_end_or_end_the_program_in_order_once(self):
        for faults, args, server, answers, tail in (
                ("divide@worker", [], True, [(TELL, "ok")], None),  # neither mode: no log
                ("report@main,access@main", ["-safemode"], False, [],  # a fault inside the report
                 ["! Error ignored by safemode !", "", "Error inside the crash report", GOODBYE]),
                ("jump@main", ["-debug"], False, [(ASK, "yes")],  # going on is impossible there
                 ["! Error ignored by user !", "", ENDED % "program ends", GOODBYE])):
            self.cwd = winelib.fresh_dir(os.path.join(self.art, faults.replace("@", "-")))
            self.assertEqual(self.case(faults, args, server, answers=answers).wait(30), 0)
            if tail is None:
                self.assertFalse(os.path.exists(os.path.join(self.cwd, "qvk.log")))
            else:
                log, (report,) = self.reports()
                self.assertEqual(log[-4:], tail)
        self.assertEqual([report[0], report[1][:18], report[6]], [
            ACCESS, "Address: 00000010 ", "ASM: (no readable instruction at this address)"])

    def test_two_threads_faulting_together_get_whole_reports_and_both_counts(self):
        run = self.case("together@main", ["-safemode"], False)
        winelib.wait_until(lambda: winelib.read_log(self.cwd).count(
            "! Error ignored by safemode !") == 2, 60, "two reports")
        self.quit(run.cmd("waitvisible 11 1") or run)
        log, reports = self.reports()
        self.assertEqual(sorted((r[0], r[7]) for r in reports),
                         [(ACCESS, "Total number of errors: %d" % n) for n in (1, 2)])


if __name__ == "__main__":
    winelib.require_programs("faults", "uidriver")
    unittest.main(verbosity=2)
