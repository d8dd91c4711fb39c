// What a name taken from outside (a URL, an archive entry) may be before it names a file here.
#pragma once
#include <string>

namespace qvk {

// True for one plain file or folder name that Windows writes as it reads: not empty, not "."
// or "..", none of \ / : * ? " < > | or control characters, no trailing dot or blank (Windows
// drops them), and no device name (CON, NUL.txt, "nul .txt", COM1 to COM9, LPT1 to LPT9 with
// the superscript digits too, CLOCK$, CONIN$, CONOUT$), which every folder holds.
bool IsPlainFileName(const std::string& name);

// The path an entry name leads to below a destination folder, with the platform's separators.
struct EntryPath {
    std::string relative;  // empty for the destination folder itself ("./")
    bool folder = false;   // a folder entry: nothing but folders is created
    bool refused = false;
    std::string why;       // why a refused name is not written, as the log and summary say it
};

// The one reading of an archive entry's name (UTF-8), as unzip and Windows read it: "/" and
// "\" both separate folders, everything up to a ":" followed by a separator is dropped (a drive
// prefix), a leading separator makes it absolute and refused, and then each part between
// separators goes through one table in order: an empty part or "." is dropped ("./a", "a//b"
// and "a/./b" name "a" and "a/b"), a part that is not a plain file name (see IsPlainFileName)
// refuses the whole name. A name that is not UTF-8, that holds no part where a file is meant,
// or that is empty is refused too.
EntryPath SafeEntryPath(const std::string& name, char separator);

// True for a well-formed UTF-8 text (no overlong form, no surrogate, nothing above U+10FFFF).
bool IsUtf8(const std::string& text);

}  // namespace qvk
