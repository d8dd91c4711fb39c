// Files and folders, by the single-byte names the rest of the program handles.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qvk::platform {

bool FileExists(const std::string& path);    // a file or a folder
bool FolderExists(const std::string& path);
long long FileSize(const std::string& path);  // -1 when missing
bool CreateFolder(const std::string& path);
bool RemoveFolder(const std::string& path);
bool RemoveFile(const std::string& path);
// Puts `from` in the place of `to` in one step: a reader sees either the old or the new file,
// never a half-written one, also when the program or the machine stops in between (the data of
// `from` reaches the disk before it replaces an existing `to`). False (and both files left as they were) on
// failure.
bool MoveFileOver(const std::string& from, const std::string& to);
// Creates every missing folder of a path, outermost first. Each folder it made is appended to
// `created` when given, so that a caller can take them back. True when the whole path is a
// folder at the end.
bool CreateFolderPath(const std::string& path, std::vector<std::string>* created = nullptr);
// A date as archives store it: local wall-clock time, month 1 to 12.
struct LocalDate {
    int year, month, day, hour, minute, second;
};
bool SetFileDate(const std::string& path, const LocalDate& date);
// The DOS attribute bits an archive keeps (0x01 read-only, 0x02 hidden, 0x04 system, 0x20
// archive). Where the system has no such bits only read-only has a meaning: no write permission.
bool SetFileDosAttributes(const std::string& path, unsigned attributes);
// An archive entry's name as UTF-8: as it stands when the entry is marked so (whether it really
// is UTF-8 is the reader's test), otherwise read in the OEM code page that DOS-era archivers
// wrote.
std::string ArchiveNameToUtf8(const std::string& name, bool utf8);
// Between the program's ANSI texts and UTF-8. Towards ANSI a letter the code page lacks becomes
// "?": for the log and the console only, never for a name on disk.
std::string AnsiToUtf8(const std::string& text);
std::string Utf8ToAnsi(const std::string& text);
// Makes a file deletable: normal attributes on Windows, owner write on POSIX.
void ClearAttributes(const std::string& path);
// Names (not paths) of the plain files directly inside a folder.
std::vector<std::string> ListFiles(const std::string& folder);
// What the system said of this thread's last failed call, for the log: " (5: Access is
// denied.)", with its leading blank, or "" when the system recorded nothing. Read it right after
// the call that failed, before any other system call.
std::string LastErrorText();
// The same text for a code the caller kept (a socket's error, a failure read earlier).
std::string SystemErrorText(long code);
// A path whose text is UTF-8, not ANSI: the names of archive entries go to the disk through
// these, so that every name the file system can hold is written as the archive has it, also
// with letters the ANSI code page lacks. Each call does what its ANSI twin above does.
struct Utf8Path {
    std::string text;
};
bool FileExists(const Utf8Path& path);
bool FolderExists(const Utf8Path& path);
bool RemoveFolder(const Utf8Path& path);
bool RemoveFile(const Utf8Path& path);
bool MoveFileOver(const Utf8Path& from, const Utf8Path& to);
bool CreateFolderPath(const Utf8Path& path, std::vector<std::string>* created = nullptr);
bool SetFileDate(const Utf8Path& path, const LocalDate& date);
bool SetFileDosAttributes(const Utf8Path& path, unsigned attributes);
void ClearAttributes(const Utf8Path& path);

// A new file (an existing one is truncated) written with the system's own calls, each result
// looked at: a C library stream may report success for bytes a full disk never took. The first
// failure is kept with what the system said, and every later call fails with it.
class WrittenFile {
public:
    explicit WrittenFile(const Utf8Path& path);
    explicit WrittenFile(const std::string& ansiPath);
    ~WrittenFile();  // closes a file still open, as it stands
    WrittenFile(const WrittenFile&) = delete;
    WrittenFile& operator=(const WrittenFile&) = delete;

    bool Good() const { return error_.empty(); }
    bool Write(const void* data, std::size_t size);
    // With `flush`, the data is on the disk before it answers (a file about to replace another
    // must not leave that one pointing at blocks never written). True when every byte went.
    bool Close(bool flush);
    // " (112: There is not enough space on the disk.)", as LastErrorText gives it.
    const std::string& Error() const { return error_; }

private:
    void Failed();
    std::intptr_t handle_;
    std::string error_;
};

// The free room of the disk that holds a folder (which may not exist yet: its nearest existing
// parent is asked).
struct DiskRoom {
    bool known = false;  // false when the system did not tell
    std::string disk;    // the disk as the user knows it ("C:\"); folders on one disk share it
    uint64_t free = 0;   // what this program may still write there
    uint64_t total = 0;
};
DiskRoom DiskRoomOf(const Utf8Path& folder);

// The folder separator of the platform, "\\" or "/".
const char* PathSeparator();
// The system's temporary folder in its long form, with the trailing separator the system gives;
// empty when it cannot be found.
std::string TempFolder();

}  // namespace qvk::platform
