// Runs the install thread natively over every archive of a folder, into one edition folder, and
// prints the seconds it took. bench/extract_bench.sh builds it optimised and without sanitizers
// and times Info-ZIP's unzip on the same archives in the same run.
//
//   extract_bench ARCHIVE_FOLDER EDITION_FOLDER
#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/state.h"
#include "install/install.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ARCHIVE_FOLDER EDITION_FOLDER\n", argv[0]);
        return 2;
    }
    using namespace qvk;
    std::vector<std::string> names;
    if (DIR* dir = opendir(argv[1])) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".zip") == 0) names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        PluginRecord& record = state.plugins.emplace_back();
        record.name = name;
        record.url = "http://bench/" + name;
        record.selected = 1;
    }
    state.workDir = argv[1];
    InstallJob job{static_cast<int32_t>(names.size()), 0, std::string(argv[2]) + "/", ""};
    const auto start = std::chrono::steady_clock::now();
    InstallThread(&job);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%zu %.4f\n", names.size(), seconds);
    return 0;
}
