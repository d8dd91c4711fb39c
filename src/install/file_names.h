// What a name taken from outside (a URL, an archive entry) may be before it names a file here.
#pragma once
#include <string>

namespace qvk {

// True for one plain file or folder name that Windows writes as it reads: not empty, not "."
// or "..", none of \ / : * ? " < > | or control characters, no trailing dot or blank (Windows
// drops them), and no device name (CON, NUL.txt, "nul .txt", COM1 to COM9, LPT1 to LPT9 with
// the superscript digits too, CLOCK$, CONIN$, CONOUT$), which every folder holds.
bool IsPlainFileName(const std::string& name);

}  // namespace qvk
