// What the installer knows about the Windows it runs on: a classification for the start-up
// warning and one "Host OS: " line for the log.
#pragma once

namespace qvk {

// One of 5, 10, 20, 30, 40, 50, 60, 65, 70, 75, or 100 for a version it does not know.
int OsVersionCode();
// Logs exactly one line, "Host OS: " followed by the description of the running system.
void DescribeHostOs();

}  // namespace qvk
