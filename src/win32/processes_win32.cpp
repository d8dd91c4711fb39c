// The running-process test through a Toolhelp snapshot (kernel32 since Windows 95 and 2000).
#include <windows.h>
// after windows.h, which it builds on
#include <tlhelp32.h>

#include <cstring>

#include "platform/processes.h"

namespace qvk::platform {

// The record's size field tells Windows which layout the caller passes: the 32-bit program's is
// 296 bytes, its 64-bit twin's is larger.
#ifndef _WIN64
static_assert(sizeof(PROCESSENTRY32) == 296, "the ANSI process record of a 32-bit program");
#endif

bool IsProcessRunning(const std::string& imageName) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32 entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found;
         more = Process32Next(snapshot, &entry)) {
        const size_t length = strnlen(entry.szExeFile, sizeof entry.szExeFile);
        found = imageName.compare(0, std::string::npos, entry.szExeFile, length) == 0;
    }
    CloseHandle(snapshot);
    return found;
}

}  // namespace qvk::platform
