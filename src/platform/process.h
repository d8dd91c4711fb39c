// The end of the process.
#pragma once

namespace qvk::platform {

// The platform runtime's end: flushes and closes what is open and ends the process with 0.
[[noreturn]] void EndProcess();

}  // namespace qvk::platform
