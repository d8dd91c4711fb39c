// The system layer of the Windows program, on the ANSI ("A") calls so that file names are the
// same single-byte texts the rest of the program handles.
#include <windows.h>
#include <commdlg.h>

#include <cstdio>
#include <new>
#include <vector>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/threads.h"
#include "thread_frame.h"
#include "win32_ui.h"

namespace qvk::platform {
namespace {

HANDLE consoleIn = nullptr;
HANDLE consoleOut = nullptr;
// The unattended mode's output, and whether it is a console (written as wide text, so that the
// console's own code page shows the ANSI letters right without the program changing it).
bool unattended = false;
HANDLE output = nullptr;
bool outputIsConsole = false;

BOOL WINAPI ConsoleEvent(DWORD event) {
    if (event == CTRL_CLOSE_EVENT) {
        // The user closed the debug console: the program ends, but the log must be complete
        // on disk first. Returning FALSE lets the system end the process.
        std::fflush(nullptr);
    }
    return FALSE;
}

// `text` in UTF-16, read in `codePage`; empty when it does not convert.
std::vector<wchar_t> Widened(const std::string& text, UINT codePage) {
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::vector<wchar_t> wide(length > 0 ? length : 0);
    if (!wide.empty()) MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
    return wide;
}

// Each file call is made once, on the wide functions, for a path in a given code page: the
// program's ANSI texts (CP_ACP, what the "A" functions take) or the UTF-8 names of archive
// entries, which reach the disk with every letter they have.
std::wstring WidePath(UINT codePage, const std::string& path) {
    const std::vector<wchar_t> wide = Widened(path, codePage);
    return std::wstring(wide.begin(), wide.end());
}

DWORD AttributesOf(UINT codePage, const std::string& path) {
    return GetFileAttributesW(WidePath(codePage, path).c_str());
}

bool FileExistsIn(UINT codePage, const std::string& path) {
    return AttributesOf(codePage, path) != INVALID_FILE_ATTRIBUTES;
}

bool FolderExistsIn(UINT codePage, const std::string& path) {
    const DWORD attributes = AttributesOf(codePage, path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MoveFileOverIn(UINT codePage, const std::string& from, const std::string& to) {
    // Write-through covers only a move done as copy and delete; a rename within one volume
    // journals the new name, not the new data. When an existing file is replaced its data goes
    // to disk first, or a power cut right after the rename could leave the name pointing at
    // blocks never written and the old file lost. A new name has nothing to lose: no flush.
    const std::wstring source = WidePath(codePage, from);
    if (FileExistsIn(codePage, to)) {
        HANDLE file = CreateFileW(source.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        const bool flushed = FlushFileBuffers(file) != 0;
        CloseHandle(file);
        if (!flushed) return false;
    }
    return MoveFileExW(source.c_str(), WidePath(codePage, to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool CreateFolderPathIn(UINT codePage, const std::string& path, std::vector<std::string>* created) {
    if (FolderExistsIn(codePage, path)) return true;
    // The drive (C:\) or the share (\\server\share\) at the start cannot be created and is not
    // tried.
    std::size_t from = 0;
    if (path.size() >= 2 && path[1] == ':') {
        from = 2;
    } else if (path.compare(0, 2, "\\\\") == 0) {
        from = path.find_first_of("\\/", 2);
        if (from != std::string::npos) from = path.find_first_of("\\/", from + 1);
        if (from == std::string::npos) return FolderExistsIn(codePage, path);
    }
    for (std::size_t cut = from; cut != std::string::npos;) {
        cut = path.find_first_of("\\/", cut + 1);
        const std::string folder = path.substr(0, cut);
        if (folder.empty() || folder.back() == '\\' || folder.back() == '/' || folder.back() == ':' ||
            FolderExistsIn(codePage, folder))
            continue;
        if (CreateDirectoryW(WidePath(codePage, folder).c_str(), nullptr)) {
            if (created) created->push_back(folder);
        } else if (!FolderExistsIn(codePage, folder)) {
            return false;
        }
    }
    return FolderExistsIn(codePage, path);
}

bool SetFileDateIn(UINT codePage, const std::string& path, const LocalDate& date) {
    SYSTEMTIME wall = {};
    wall.wYear = static_cast<WORD>(date.year);
    wall.wMonth = static_cast<WORD>(date.month);
    wall.wDay = static_cast<WORD>(date.day);
    wall.wHour = static_cast<WORD>(date.hour);
    wall.wMinute = static_cast<WORD>(date.minute);
    wall.wSecond = static_cast<WORD>(date.second);
    FILETIME local, utc;
    if (!SystemTimeToFileTime(&wall, &local) || !LocalFileTimeToFileTime(&local, &utc)) return false;
    HANDLE file = CreateFileW(WidePath(codePage, path).c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool done = SetFileTime(file, nullptr, nullptr, &utc) != 0;
    CloseHandle(file);
    return done;
}

bool SetFileDosAttributesIn(UINT codePage, const std::string& path, unsigned attributes) {
    const DWORD kept = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                     FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    return SetFileAttributesW(WidePath(codePage, path).c_str(),
                              kept ? kept : FILE_ATTRIBUTE_NORMAL) != 0;
}

std::string Narrowed(const std::wstring& text, UINT codePage) {
    if (text.empty()) return std::string();
    const int wide = static_cast<int>(text.size());
    const char* fallback = codePage == CP_UTF8 ? nullptr : "?";
    const int narrow = WideCharToMultiByte(codePage, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    if (narrow <= 0) return std::string();
    std::string result(narrow, '\0');
    WideCharToMultiByte(codePage, 0, text.data(), wide, &result[0], narrow, fallback, nullptr);
    return result;
}

}  // namespace

uint32_t TickCount() { return GetTickCount(); }
void SleepMs(unsigned ms) { Sleep(ms); }

bool FileExists(const std::string& path) { return FileExistsIn(CP_ACP, path); }
bool FolderExists(const std::string& path) { return FolderExistsIn(CP_ACP, path); }

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
bool MoveFileOver(const std::string& from, const std::string& to) {
    return MoveFileOverIn(CP_ACP, from, to);
}
bool CreateFolderPath(const std::string& path, std::vector<std::string>* created) {
    return CreateFolderPathIn(CP_ACP, path, created);
}
bool SetFileDate(const std::string& path, const LocalDate& date) {
    return SetFileDateIn(CP_ACP, path, date);
}
bool SetFileDosAttributes(const std::string& path, unsigned attributes) {
    return SetFileDosAttributesIn(CP_ACP, path, attributes);
}

bool FileExists(const Utf8Path& path) { return FileExistsIn(CP_UTF8, path.text); }
bool FolderExists(const Utf8Path& path) { return FolderExistsIn(CP_UTF8, path.text); }
bool RemoveFolder(const Utf8Path& path) {
    return RemoveDirectoryW(WidePath(CP_UTF8, path.text).c_str()) != 0;
}
bool RemoveFile(const Utf8Path& path) {
    return DeleteFileW(WidePath(CP_UTF8, path.text).c_str()) != 0;
}
bool MoveFileOver(const Utf8Path& from, const Utf8Path& to) {
    return MoveFileOverIn(CP_UTF8, from.text, to.text);
}
bool CreateFolderPath(const Utf8Path& path, std::vector<std::string>* created) {
    return CreateFolderPathIn(CP_UTF8, path.text, created);
}
bool SetFileDate(const Utf8Path& path, const LocalDate& date) {
    return SetFileDateIn(CP_UTF8, path.text, date);
}
bool SetFileDosAttributes(const Utf8Path& path, unsigned attributes) {
    return SetFileDosAttributesIn(CP_UTF8, path.text, attributes);
}
void ClearAttributes(const Utf8Path& path) {
    SetFileAttributesW(WidePath(CP_UTF8, path.text).c_str(), FILE_ATTRIBUTE_NORMAL);
}

namespace {
HANDLE CreateWritten(UINT codePage, const std::string& path) {
    return CreateFileW(WidePath(codePage, path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}
HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
}  // namespace

WrittenFile::WrittenFile(const Utf8Path& path)
    : handle_(reinterpret_cast<std::intptr_t>(CreateWritten(CP_UTF8, path.text))) {
    if (Handle(handle_) == INVALID_HANDLE_VALUE) Failed();
}
WrittenFile::WrittenFile(const std::string& ansiPath)
    : handle_(reinterpret_cast<std::intptr_t>(CreateWritten(CP_ACP, ansiPath))) {
    if (Handle(handle_) == INVALID_HANDLE_VALUE) Failed();
}
WrittenFile::~WrittenFile() {
    if (Handle(handle_) != INVALID_HANDLE_VALUE) CloseHandle(Handle(handle_));
}
void WrittenFile::Failed() {
    if (error_.empty()) error_ = LastErrorText();
    if (error_.empty()) {
        SetLastError(ERROR_WRITE_FAULT);
        error_ = LastErrorText();
    }
}
bool WrittenFile::Write(const void* data, std::size_t size) {
    const char* from = static_cast<const char*>(data);
    while (Good() && size > 0) {
        const DWORD chunk = size > 0x100000 ? 0x100000 : static_cast<DWORD>(size);
        DWORD wrote = 0;
        // A write that takes fewer bytes than it was given without saying why is a full disk.
        if (!WriteFile(Handle(handle_), from, chunk, &wrote, nullptr) || wrote == 0) {
            if (wrote == 0 && GetLastError() == 0) SetLastError(ERROR_DISK_FULL);
            Failed();
            break;
        }
        from += wrote;
        size -= wrote;
    }
    return Good();
}
bool WrittenFile::Close(bool flush) {
    if (Handle(handle_) == INVALID_HANDLE_VALUE) return false;
    if (Good() && flush && !FlushFileBuffers(Handle(handle_))) Failed();
    if (!CloseHandle(Handle(handle_))) Failed();
    handle_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
    return Good();
}

DiskRoom DiskRoomOf(const Utf8Path& folder) {
    DiskRoom room;
    std::wstring path = WidePath(CP_UTF8, folder.text);
    // Asked of the nearest folder that exists: a folder mounted from another disk answers for
    // itself, where the drive's root would answer for the drive.
    for (int level = 0; level < 64 && !path.empty(); ++level) {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) break;
        while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
        const std::size_t cut = path.find_last_of(L"\\/");
        if (cut == std::wstring::npos) return room;
        path.erase(cut + 1);
    }
    if (path.empty()) return room;
    if (path.back() != L'\\') path += L'\\';
    ULARGE_INTEGER available, total, free;
    if (!GetDiskFreeSpaceExW(path.c_str(), &available, &total, &free)) return room;
    wchar_t volume[MAX_PATH + 1] = {};
    room.disk = GetVolumePathNameW(path.c_str(), volume, MAX_PATH)
                    ? Narrowed(volume, CP_ACP)
                    : Narrowed(path.substr(0, 3), CP_ACP);
    room.known = true;
    room.free = available.QuadPart;
    room.total = total.QuadPart;
    return room;
}

std::string ArchiveNameToUtf8(const std::string& name, bool utf8) {
    if (utf8 || name.empty()) return name;
    const std::vector<wchar_t> text = Widened(name, CP_OEMCP);
    return Narrowed(std::wstring(text.begin(), text.end()), CP_UTF8);
}

std::string AnsiToUtf8(const std::string& text) {
    return Narrowed(WidePath(CP_ACP, text), CP_UTF8);
}

std::string Utf8ToAnsi(const std::string& text) {
    return Narrowed(WidePath(CP_UTF8, text), CP_ACP);
}

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

std::string LastErrorText() {
    const DWORD code = GetLastError();
    const std::string text = SystemErrorText(static_cast<long>(code));
    SetLastError(code);
    return text;
}

std::string SystemErrorText(long code) {
    if (code == 0) return std::string();
    char text[512] = {};
    // English first, as the rest of the log; a system without English texts answers in its own.
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD id = static_cast<DWORD>(code);
    DWORD length = FormatMessageA(flags, nullptr, id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                  text, sizeof(text), nullptr);
    if (length == 0) length = FormatMessageA(flags, nullptr, id, 0, text, sizeof(text), nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    return " (" + std::to_string(code) + (message.empty() ? "" : ": " + message) + ")";
}

const char* PathSeparator() { return "\\"; }

std::string TempFolder() {
    char shortPath[MAX_PATH + 1] = {}, longPath[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof(shortPath), shortPath);
    if (length == 0 || length > MAX_PATH) return std::string();
    // The log and the work folder name the long form, never the 8.3 one.
    const DWORD longLength = GetLongPathNameA(shortPath, longPath, sizeof(longPath));
    return longLength > 0 && longLength <= MAX_PATH ? std::string(longPath) : std::string(shortPath);
}

std::string ChooseFile(const std::string& title, const std::string& defaultFile,
                       const std::string& filter) {
    // "label|pattern" becomes the chooser's double-zero-terminated filter list.
    std::string filters = filter;
    for (char& c : filters)
        if (c == '|') c = '\0';
    filters.append(2, '\0');
    char file[MAX_PATH] = {};
    lstrcpynA(file, defaultFile.c_str(), MAX_PATH);
    OPENFILENAMEA chooser = {};
    chooser.lStructSize = sizeof(chooser);
    chooser.hwndOwner = win32::TheUi().Owner();
    chooser.lpstrFilter = filters.c_str();
    chooser.nFilterIndex = 1;
    chooser.lpstrFile = file;
    chooser.nMaxFile = MAX_PATH;
    chooser.lpstrTitle = title.c_str();
    chooser.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    return GetOpenFileNameA(&chooser) ? std::string(file) : std::string();
}

namespace {

struct ThreadStart {
    ThreadBody body;
    void* argument;
};

const DWORD frameIndex = TlsAlloc();

DWORD WINAPI ThreadMain(void* parameter) {
    win32::ThreadFrame frame = {&frame, nullptr};
#ifndef _WIN64
    asm volatile("movl %%fs:0, %0" : "=r"(frame.exceptionList));  // the handler chain's head
#endif
    TlsSetValue(frameIndex, &frame);
    const ThreadStart start = *static_cast<ThreadStart*>(parameter);
    delete static_cast<ThreadStart*>(parameter);
    start.body(start.argument);
    return 0;
}

CRITICAL_SECTION* Section(unsigned char* storage) {
    return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

}  // namespace

// The handle stays open for the life of the process: the main loop polls it until the end.
ThreadHandle StartThread(ThreadBody body, void* argument) {
    auto* start = new ThreadStart{body, argument};
    HANDLE thread = CreateThread(nullptr, 0, ThreadMain, start, 0, nullptr);
    if (!thread) {
        const DWORD error = GetLastError();  // the caller's log line reads it
        delete start;
        SetLastError(error);
    }
    return thread;
}

bool ThreadRunning(ThreadHandle handle) {
    return handle && WaitForSingleObject(static_cast<HANDLE>(handle), 0) == WAIT_TIMEOUT;
}

uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

static_assert(sizeof(CRITICAL_SECTION) <= 64, "Mutex storage too small");

Mutex::Mutex() { InitializeCriticalSection(new (storage_) CRITICAL_SECTION); }
Mutex::~Mutex() { DeleteCriticalSection(Section(storage_)); }
void Mutex::Lock() { EnterCriticalSection(Section(storage_)); }
bool Mutex::TryLock() { return TryEnterCriticalSection(Section(storage_)) != 0; }
void Mutex::Unlock() { LeaveCriticalSection(Section(storage_)); }

// An auto-reset event: kept set until one wait takes it.
Signal::Signal() { new (storage_) HANDLE(CreateEventA(nullptr, FALSE, FALSE, nullptr)); }
Signal::~Signal() { CloseHandle(*reinterpret_cast<HANDLE*>(storage_)); }
void Signal::Raise() { SetEvent(*reinterpret_cast<HANDLE*>(storage_)); }
bool Signal::Wait(unsigned timeoutMs) {
    return WaitForSingleObject(*reinterpret_cast<HANDLE*>(storage_), timeoutMs) == WAIT_OBJECT_0;
}

bool OpenConsole() {
    if (unattended) return false;
    if (!GetConsoleWindow()) AllocConsole();
    // The log's bytes are ANSI text; a console left in the OEM code page would show "Français"
    // as "Franþais". The file gets the same bytes either way.
    SetConsoleOutputCP(GetACP());
    consoleIn = GetStdHandle(STD_INPUT_HANDLE);
    consoleOut = GetStdHandle(STD_OUTPUT_HANDLE);
    // With QuickEdit on, one click into the console freezes every thread that logs until the
    // user presses a key there.
    DWORD mode = 0;
    if (GetConsoleMode(consoleIn, &mode))
        SetConsoleMode(consoleIn, (mode | ENABLE_EXTENDED_FLAGS) & ~ENABLE_QUICK_EDIT_MODE);
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
        // The wizard stays painted and movable while the console waits.
        MsgWaitForMultipleObjects(1, &consoleIn, FALSE, 1, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
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
    if (unattended) return;  // the console is the caller's, not one of the program's own
    SetConsoleCtrlHandler(ConsoleEvent, FALSE);
    FreeConsole();
    consoleIn = consoleOut = nullptr;
}

void UseStartingConsole() {
    unattended = true;
    // A handle the program was given (redirected output, or Wine's terminal) comes first; a GUI
    // program started from a console window has none, and borrows that console's screen.
    HANDLE inherited = GetStdHandle(STD_OUTPUT_HANDLE);
    if (inherited && inherited != INVALID_HANDLE_VALUE) {
        output = inherited;
    } else if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        output = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (output == INVALID_HANDLE_VALUE) output = nullptr;
    }
    DWORD mode = 0;
    outputIsConsole = output && GetConsoleMode(output, &mode);
}

void WriteOutput(const std::string& text) {
    if (!output || text.empty()) return;
    DWORD written = 0;
    if (outputIsConsole) {
        const std::vector<wchar_t> wide = Widened(text, CP_ACP);
        if (!wide.empty() &&
            WriteConsoleW(output, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr))
            return;
    }
    WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool CriticalErrorBox(const std::string& text, bool yesNo) {
    if (unattended) {
        // Nobody is there to answer: the report ends the program, as after No.
        WriteOutput("Critical error: " + text + "\r\n");
        return false;
    }
    const UINT style = MB_ICONERROR | (yesNo ? MB_YESNO : MB_OK) | MB_SETFOREGROUND | MB_TOPMOST;
    return MessageBoxA(nullptr, text.c_str(), "Critical error", style) == IDYES;
}

std::string ProgramFilePath() {
    char path[256] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path) - 1);
    return std::string(path, length < sizeof(path) ? length : 0);
}

void RaiseFault(uint32_t code) { RaiseException(code, 0, 0, nullptr); }

void EndProcess(int exitCode) {
    std::fflush(nullptr);
    ExitProcess(static_cast<UINT>(exitCode));
}

}  // namespace qvk::platform

namespace qvk::win32 {

const ThreadFrame* StartedThreadFrame() {
    return static_cast<const ThreadFrame*>(TlsGetValue(platform::frameIndex));
}

}  // namespace qvk::win32
