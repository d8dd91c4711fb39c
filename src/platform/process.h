// The end of the process.
#pragma once
#include <cstdint>
#include <string>

namespace qvk::platform {

// The platform runtime's end: flushes and closes what is open and ends the process with
// `exitCode` (0 for every end of the wizard).
[[noreturn]] void EndProcess(int exitCode);

// The full path of the program's own file (at most 255 characters).
std::string ProgramFilePath();
// Raises the program's own error `code` through the system's fault path; returns when the
// handler lets the program go on.
void RaiseFault(uint32_t code);

}  // namespace qvk::platform
