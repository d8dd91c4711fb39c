// The system layer of the Windows program, on the ANSI ("A") calls so that file names are the
// same single-byte texts the rest of the program handles.
#include <windows.h>

#include <cstdio>

#include "platform.h"

namespace qvk::platform {
namespace {

HANDLE consoleIn = nullptr;
HANDLE consoleOut = nullptr;

BOOL WINAPI ConsoleEvent(DWORD event) {
    if (event == CTRL_CLOSE_EVENT) {
        // The user closed the debug console: the program ends, but the log must be complete
        // on disk first. Returning FALSE lets the system end the process.
        std::fflush(nullptr);
    }
    return FALSE;
}

}  // namespace

uint32_t TickCount() { return GetTickCount(); }
void SleepMs(unsigned ms) { Sleep(ms); }

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool FolderExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

long long FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool CreateFolder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }
bool RemoveFolder(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }
bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

void ClearAttributes(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

std::vector<std::string> ListFiles(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

const char* PathSeparator() { return "\\"; }

bool OpenConsole() {
    if (!GetConsoleWindow()) AllocConsole();
    // The log's bytes are ANSI text; a console left in the OEM code page would show "Français"
    // as "Franþais". The file gets the same bytes either way.
    SetConsoleOutputCP(GetACP());
    consoleIn = GetStdHandle(STD_INPUT_HANDLE);
    consoleOut = GetStdHandle(STD_OUTPUT_HANDLE);
    SetConsoleCtrlHandler(ConsoleEvent, TRUE);
    return consoleOut != nullptr && consoleOut != INVALID_HANDLE_VALUE;
}

void ConsoleWrite(const std::string& bytes) {
    if (!consoleOut || consoleOut == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    if (!WriteConsoleA(consoleOut, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        WriteFile(consoleOut, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void ConsoleWaitKey() {
    if (!consoleIn || consoleIn == INVALID_HANDLE_VALUE) return;
    for (;;) {
        Sleep(1);
        DWORD pending = 0;
        if (!GetNumberOfConsoleInputEvents(consoleIn, &pending)) return;  // no console input
        while (pending-- > 0) {
            INPUT_RECORD record;
            DWORD read = 0;
            if (!ReadConsoleInputA(consoleIn, &record, 1, &read) || read == 0) break;
            if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
                record.Event.KeyEvent.uChar.AsciiChar != 0)
                return;
        }
    }
}

void CloseConsole() {
    SetConsoleCtrlHandler(ConsoleEvent, FALSE);
    FreeConsole();
    consoleIn = consoleOut = nullptr;
}

void EndProcess() {
    std::fflush(nullptr);
    ExitProcess(0);
}

}  // namespace qvk::platform
