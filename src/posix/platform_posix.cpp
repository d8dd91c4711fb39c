// The native build's system layer: it serves the unit tests and native tools, so the console is
// standard output and the end of the process is a plain _exit after flushing.
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/threads.h"

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

bool MoveFileOver(const std::string& from, const std::string& to) {
    // As the Windows layer: the data on disk before an existing file is replaced.
    if (FileExists(to)) {
        const int fd = ::open(from.c_str(), O_RDONLY);
        if (fd < 0) return false;
        const bool synced = ::fsync(fd) == 0;
        ::close(fd);
        if (!synced) return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool CreateFolderPath(const std::string& path, std::vector<std::string>* created) {
    if (FolderExists(path)) return true;
    for (std::size_t cut = 0; cut != std::string::npos;) {
        cut = path.find('/', cut + 1);
        const std::string folder = path.substr(0, cut);
        if (folder.empty() || folder.back() == '/' || FolderExists(folder)) continue;
        if (::mkdir(folder.c_str(), 0755) == 0) {
            if (created) created->push_back(folder);
        } else if (!FolderExists(folder)) {
            return false;
        }
    }
    return FolderExists(path);
}

bool SetFileDate(const std::string& path, const LocalDate& date) {
    std::tm wall = {};
    wall.tm_year = date.year - 1900;
    wall.tm_mon = date.month - 1;
    wall.tm_mday = date.day;
    wall.tm_hour = date.hour;
    wall.tm_min = date.minute;
    wall.tm_sec = date.second;
    wall.tm_isdst = -1;
    const std::time_t when = std::mktime(&wall);
    if (when == static_cast<std::time_t>(-1)) return false;
    const timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool SetFileDosAttributes(const std::string& path, unsigned attributes) {
    if (!(attributes & 0x01)) return true;
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 &&
           ::chmod(path.c_str(), st.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

namespace {

// Code page 437, the DOS code page of the native tests' archives: bytes 128 to 255.
const char16_t kDosLetters[129] =
    u"\u00C7\u00FC\u00E9\u00E2\u00E4\u00E0\u00E5\u00E7\u00EA\u00EB\u00E8\u00EF\u00EE\u00EC\u00C4\u00C5"
    u"\u00C9\u00E6\u00C6\u00F4\u00F6\u00F2\u00FB\u00F9\u00FF\u00D6\u00DC\u00A2\u00A3\u00A5\u20A7\u0192"
    u"\u00E1\u00ED\u00F3\u00FA\u00F1\u00D1\u00AA\u00BA\u00BF\u2310\u00AC\u00BD\u00BC\u00A1\u00AB\u00BB"
    u"\u2591\u2592\u2593\u2502\u2524\u2561\u2562\u2556\u2555\u2563\u2551\u2557\u255D\u255C\u255B\u2510"
    u"\u2514\u2534\u252C\u251C\u2500\u253C\u255E\u255F\u255A\u2554\u2569\u2566\u2560\u2550\u256C\u2567"
    u"\u2568\u2564\u2565\u2559\u2558\u2552\u2553\u256B\u256A\u2518\u250C\u2588\u2584\u258C\u2590\u2580"
    u"\u03B1\u00DF\u0393\u03C0\u03A3\u03C3\u00B5\u03C4\u03A6\u0398\u03A9\u03B4\u221E\u03C6\u03B5\u2229"
    u"\u2261\u00B1\u2265\u2264\u2320\u2321\u00F7\u2248\u00B0\u2219\u00B7\u221A\u207F\u00B2\u25A0\u00A0";

}  // namespace

// Native names are bytes: UTF-8 names and the ANSI texts pass as they are; a DOS name is read
// in code page 437, as a Windows set to it would.
std::string ArchiveNameToUtf8(const std::string& name, bool utf8) {
    if (utf8) return name;
    std::string text;
    for (const unsigned char c : name) {
        const unsigned code = c < 128 ? c : kDosLetters[c - 128];
        if (code < 0x80) {
            text += static_cast<char>(code);
        } else if (code < 0x800) {
            text += static_cast<char>(0xC0 | code >> 6);
            text += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            text += static_cast<char>(0xE0 | code >> 12);
            text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            text += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return text;
}
std::string AnsiToUtf8(const std::string& text) { return text; }
std::string Utf8ToAnsi(const std::string& text) { return text; }

bool FileExists(const Utf8Path& path) { return FileExists(path.text); }
bool FolderExists(const Utf8Path& path) { return FolderExists(path.text); }
bool RemoveFolder(const Utf8Path& path) { return RemoveFolder(path.text); }
bool RemoveFile(const Utf8Path& path) { return RemoveFile(path.text); }
bool MoveFileOver(const Utf8Path& from, const Utf8Path& to) { return MoveFileOver(from.text, to.text); }
bool CreateFolderPath(const Utf8Path& path, std::vector<std::string>* created) {
    return CreateFolderPath(path.text, created);
}
bool SetFileDate(const Utf8Path& path, const LocalDate& date) { return SetFileDate(path.text, date); }
bool SetFileDosAttributes(const Utf8Path& path, unsigned attributes) {
    return SetFileDosAttributes(path.text, attributes);
}

WrittenFile::WrittenFile(const std::string& ansiPath)
    : handle_(::open(ansiPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) {
    if (handle_ < 0) Failed();
}
WrittenFile::WrittenFile(const Utf8Path& path) : WrittenFile(path.text) {}
WrittenFile::~WrittenFile() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}
void WrittenFile::Failed() {
    if (error_.empty()) error_ = LastErrorText();
    if (error_.empty()) error_ = " (" + std::to_string(EIO) + ": " + std::strerror(EIO) + ")";
}
bool WrittenFile::Write(const void* data, std::size_t size) {
    const char* from = static_cast<const char*>(data);
    while (Good() && size > 0) {
        const ssize_t wrote = ::write(static_cast<int>(handle_), from, size);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            if (wrote == 0) errno = ENOSPC;
            Failed();
            break;
        }
        from += wrote;
        size -= static_cast<std::size_t>(wrote);
    }
    return Good();
}
bool WrittenFile::Close(bool flush) {
    if (handle_ < 0) return false;
    if (Good() && flush && ::fsync(static_cast<int>(handle_)) != 0) Failed();
    if (::close(static_cast<int>(handle_)) != 0) Failed();
    handle_ = -1;
    return Good();
}

void ClearAttributes(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) ::chmod(path.c_str(), st.st_mode | S_IWUSR);
}
void ClearAttributes(const Utf8Path& path) { ClearAttributes(path.text); }

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

std::string LastErrorText() { return SystemErrorText(errno); }

std::string SystemErrorText(long code) {
    if (code == 0) return std::string();
    return " (" + std::to_string(code) + ": " + std::strerror(static_cast<int>(code)) + ")";
}

const char* PathSeparator() { return "/"; }

std::string TempFolder() {
    const char* dir = std::getenv("TMPDIR");
    std::string folder = dir && *dir ? dir : "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
}

// Natively there is nobody to choose a file.
std::string ChooseFile(const std::string&, const std::string&, const std::string&) { return ""; }
// The native build has no boxes; the report's lines are what its tests read.
bool CriticalErrorBox(const std::string&, bool) { return false; }

namespace {

struct ThreadStart {
    ThreadBody body = nullptr;
    void* argument = nullptr;
    std::atomic<bool> running{true};
};

void* ThreadMain(void* parameter) {
    auto* start = static_cast<ThreadStart*>(parameter);
    start->body(start->argument);
    start->running.store(false);
    return nullptr;
}

}  // namespace

// The handle is the start record, kept for the life of the process like a Windows handle that
// is never closed; the thread itself is detached.
ThreadHandle StartThread(ThreadBody body, void* argument) {
    static std::mutex startsMutex;
    static std::vector<std::unique_ptr<ThreadStart>> starts;
    std::lock_guard<std::mutex> lock(startsMutex);
    starts.push_back(std::make_unique<ThreadStart>());
    ThreadStart* start = starts.back().get();
    start->body = body;
    start->argument = argument;
    pthread_t thread;
    // As CreateThread does, the reason is left where the caller reads a failed call's reason.
    if (const int error = pthread_create(&thread, nullptr, ThreadMain, start)) {
        starts.pop_back();
        errno = error;
        return nullptr;
    }
    pthread_detach(thread);
    return start;
}

bool ThreadRunning(ThreadHandle handle) {
    return handle && static_cast<ThreadStart*>(handle)->running.load();
}

uint32_t CurrentThreadId() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

static_assert(sizeof(pthread_mutex_t) <= 64, "Mutex storage too small");

Mutex::Mutex() { new (storage_) pthread_mutex_t(PTHREAD_MUTEX_INITIALIZER); }
Mutex::~Mutex() { pthread_mutex_destroy(reinterpret_cast<pthread_mutex_t*>(storage_)); }
void Mutex::Lock() { pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(storage_)); }
bool Mutex::TryLock() {
    return pthread_mutex_trylock(reinterpret_cast<pthread_mutex_t*>(storage_)) == 0;
}
void Mutex::Unlock() { pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(storage_)); }

namespace {
struct SignalParts {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t raised = PTHREAD_COND_INITIALIZER;
    bool set = false;
};
static_assert(sizeof(SignalParts) <= 128, "Signal storage too small");
SignalParts& PartsOf(unsigned char* storage) { return *reinterpret_cast<SignalParts*>(storage); }
}  // namespace

Signal::Signal() { new (storage_) SignalParts(); }
Signal::~Signal() {
    pthread_cond_destroy(&PartsOf(storage_).raised);
    pthread_mutex_destroy(&PartsOf(storage_).mutex);
}
void Signal::Raise() {
    SignalParts& parts = PartsOf(storage_);
    pthread_mutex_lock(&parts.mutex);
    parts.set = true;
    pthread_cond_signal(&parts.raised);
    pthread_mutex_unlock(&parts.mutex);
}
bool Signal::Wait(unsigned timeoutMs) {
    SignalParts& parts = PartsOf(storage_);
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += timeoutMs / 1000;
    until.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        ++until.tv_sec;
        until.tv_nsec -= 1000000000L;
    }
    pthread_mutex_lock(&parts.mutex);
    while (!parts.set)
        if (pthread_cond_timedwait(&parts.raised, &parts.mutex, &until) != 0) break;
    const bool woken = parts.set;
    parts.set = false;
    pthread_mutex_unlock(&parts.mutex);
    return woken;
}

namespace {
bool unattended = false;
void WriteAll(const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}
}  // namespace

bool OpenConsole() { return !unattended; }
// Straight to the descriptor, as the Windows console call does: no C library lock in between.
void ConsoleWrite(const std::string& bytes) {
    if (!unattended) WriteAll(bytes);
}
void UseStartingConsole() { unattended = true; }
void WriteOutput(const std::string& text) { WriteAll(text); }
void ConsoleWaitKey() {
    if (unattended) return;
    for (int c = std::getchar(); c != EOF && c == 0; c = std::getchar()) {
    }
}
void CloseConsole() { std::fflush(stdout); }

std::string ProgramFilePath() {
    char path[256] = {};
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

// No fault hook natively: the assertion stops the test that raised it.
void RaiseFault(uint32_t) { std::abort(); }

void EndProcess(int exitCode) {
    std::fflush(nullptr);
    ::_exit(exitCode);
}

}  // namespace qvk::platform
