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

}  // namespace qvk::platform
