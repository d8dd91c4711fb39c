// Files and folders, by the single-byte names the rest of the program handles.
#pragma once
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
// An archive entry's name in the ANSI code page the program's texts use: from UTF-8 when the
// entry is marked so, otherwise from the OEM code page that DOS-era archivers wrote.
std::string ArchiveNameToAnsi(const std::string& name, bool utf8);
// Makes a file deletable: normal attributes on Windows, owner write on POSIX.
void ClearAttributes(const std::string& path);
// Names (not paths) of the plain files directly inside a folder.
std::vector<std::string> ListFiles(const std::string& folder);
// What the system said of this thread's last failed call, for the log: " (5: Access is
// denied.)", with its leading blank, or "" when the system recorded nothing. Read it right after
// the call that failed, before any other system call.
std::string LastErrorText();
// The folder separator of the platform, "\\" or "/".
const char* PathSeparator();
// The system's temporary folder in its long form, with the trailing separator the system gives;
// empty when it cannot be found.
std::string TempFolder();

}  // namespace qvk::platform
