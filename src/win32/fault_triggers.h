// Real faults on demand, for the end-to-end tests of the crash report. Only the test program
// qvk-faults.exe is built with this unit; the shipped qvk.exe has neither it nor its option.
//
//   -faulttest=KIND@PLACE[,KIND@PLACE...]
//   KIND:  access (read from an invalid address), divide (integer division by zero),
//          jump (call into unreadable memory), overflow (stack overflow), assert (the program's
//          own assertion), nojob (the catalogue, download and install threads started
//          without their job blocks),
//          together (two threads fault at the same moment), report (the next report itself
//          faults once its lines are written)
//   PLACE: main (main thread, after Next leaves the welcome page), install (main thread, after
//          "Install >"), worker (a worker thread, at each of its first writes to the window)
#pragma once
#include <string>
#include <vector>

namespace qvk::win32 {

void ArmFaults(const std::vector<std::string>& args);
// The main-thread faults due after a click of Next that left the wizard at `step`.
void FaultsAfterNext(int step);
// Called by the reporter thread after a report: faults there when "report" was armed.
void FaultInReportWhenArmed();

}  // namespace qvk::win32
