// The native build's system layer: it serves the unit tests and native tools, so the console is
// standard output and the end of the process is a plain _exit after flushing.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform.h"

namespace qvk::platform {

uint32_t TickCount() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SleepMs(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool FolderExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

long long FileSize(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<long long>(st.st_size);
}

bool CreateFolder(const std::string& path) { return ::mkdir(path.c_str(), 0755) == 0; }
bool RemoveFolder(const std::string& path) { return ::rmdir(path.c_str()) == 0; }
bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

void ClearAttributes(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) ::chmod(path.c_str(), st.st_mode | S_IWUSR);
}

std::vector<std::string> ListFiles(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st;
        if (::lstat((folder + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

const char* PathSeparator() { return "/"; }

bool OpenConsole() { return true; }
void ConsoleWrite(const std::string& bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stdout); }
void ConsoleWaitKey() {
    for (int c = std::getchar(); c != EOF && c == 0; c = std::getchar()) {
    }
}
void CloseConsole() { std::fflush(stdout); }

void EndProcess() {
    std::fflush(nullptr);
    ::_exit(0);
}

}  // namespace qvk::platform
