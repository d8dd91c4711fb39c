// Shared pieces of the unit tests: scratch folders and whole-file reads and writes.
#pragma once
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace qvk::test {

inline std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool PathExists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

// A fresh folder below the system's temporary folder, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvk-test-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data())) path_ = name.data();
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A scratch folder that is also the current folder for the test's life: the program writes
// "qvk.log" and its catalogue files into the current folder.
class ScratchFolder : public ScratchDir {
public:
    ScratchFolder() {
        char here[4096];
        if (!::getcwd(here, sizeof(here)) || ::chdir(path().c_str()) != 0) std::abort();
        previous_ = here;
    }
    ~ScratchFolder() {
        if (::chdir(previous_.c_str()) != 0) std::abort();
    }

private:
    std::string previous_;
};

}  // namespace qvk::test
