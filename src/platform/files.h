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
// `from` reaches the disk before the name changes). False (and both files left as they were) on
// failure.
bool MoveFileOver(const std::string& from, const std::string& to);
// Makes a file deletable: normal attributes on Windows, owner write on POSIX.
void ClearAttributes(const std::string& path);
// Names (not paths) of the plain files directly inside a folder.
std::vector<std::string> ListFiles(const std::string& folder);
// The folder separator of the platform, "\\" or "/".
const char* PathSeparator();
// The system's temporary folder in its long form, with the trailing separator the system gives;
// empty when it cannot be found.
std::string TempFolder();

}  // namespace qvk::platform
