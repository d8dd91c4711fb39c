// The debug console: opened when diagnostics go on, written line by line, read for one key.
#pragma once
#include <string>

namespace qvk::platform {

// Creates a console when the process has none.
bool OpenConsole();
void ConsoleWrite(const std::string& bytes);
// Waits for a key that produces a character; the program's windows keep answering meanwhile.
void ConsoleWaitKey();
void CloseConsole();

// The unattended mode: the program opens no console and no box of its own from now on. The log
// then goes to its file alone, the key wait returns at once, and the crash report's box writes
// its text to the output and answers No. The output is the console the program was started
// from, or the standard output it inherited (a file, a pipe, Wine's terminal); none without both.
void UseStartingConsole();
// Text in the ANSI code page, to that output.
void WriteOutput(const std::string& text);

}  // namespace qvk::platform
