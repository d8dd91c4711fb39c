// Shared pieces of the unit tests: scratch folders, whole-file reads and writes, noise bytes.
#pragma once
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace qvk::test {

inline std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The words a failed call's log line ends with, for an errno value.
inline std::string SystemReason(int code) {
    return " (" + std::to_string(code) + ": " + std::strerror(code) + ")";
}

inline bool PathExists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

// Bytes that deflate cannot shrink (a flipped byte of an archive lands in the data), zeros included.
inline std::string Noise(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    return bytes;
}

// A fresh folder below the system's temporary folder, removed with everything in it. With
// `enter` it is also the current folder for its life: the program writes "qvk.log" and its
// catalogue files there.
class ScratchDir {
public:
    explicit ScratchDir(bool enter = false) {
        std::string name = (std::filesystem::temp_directory_path() / "qvk-test-XXXXXX").string();
        if (mkdtemp(name.data())) path_ = name;
        if (enter && (!::getcwd(previous_, sizeof previous_) || ::chdir(path_.c_str()) != 0))
            std::abort();
    }
    ~ScratchDir() {
        if (previous_[0] && ::chdir(previous_) != 0) std::abort();
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
    char previous_[4096] = {};
};

}  // namespace qvk::test
