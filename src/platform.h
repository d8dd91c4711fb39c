// What the portable core needs from the operating system. Implemented once for Windows
// (src/win32) and once for POSIX (src/posix), so the core itself never includes a system header
// of either.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qvk::platform {

// Monotonic milliseconds and a sleep, for the polling loops.
uint32_t TickCount();
void SleepMs(unsigned ms);

bool FileExists(const std::string& path);    // a file or a folder
bool FolderExists(const std::string& path);
long long FileSize(const std::string& path);  // -1 when missing
bool CreateFolder(const std::string& path);
bool RemoveFolder(const std::string& path);
bool RemoveFile(const std::string& path);
// Makes a file deletable: normal attributes on Windows, owner write on POSIX.
void ClearAttributes(const std::string& path);
// Names (not paths) of the plain files directly inside a folder.
std::vector<std::string> ListFiles(const std::string& folder);
// The folder separator of the platform, "\\" or "/".
const char* PathSeparator();

// Debug console: open (create when the process has none), write raw bytes, wait for a key
// that produces a character, release.
bool OpenConsole();
void ConsoleWrite(const std::string& bytes);
void ConsoleWaitKey();
void CloseConsole();

// The platform runtime's end: flushes and closes what is open and ends the process with 0.
[[noreturn]] void EndProcess();

}  // namespace qvk::platform
