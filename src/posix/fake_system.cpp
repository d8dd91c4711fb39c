#include "posix/fake_system.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <tuple>

#include "platform/processes.h"
#include "platform/registry.h"

namespace qvk::platform {
namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

using KeyName = std::pair<int32_t, std::string>;
std::map<std::tuple<int32_t, std::string, std::string>, std::string> registryValues;
std::set<KeyName> registryKeys;
std::vector<std::string> runningImages;

}  // namespace

std::string ReadRegistryString(int32_t root, const std::string& subKey,
                               const std::string& valueName) {
    const auto found = registryValues.find({root, Lower(subKey), Lower(valueName)});
    // A missing value answers as the system's missing key does.
    errno = found == registryValues.end() ? ENOENT : 0;
    return found == registryValues.end() ? std::string() : TrimRegistryText(found->second);
}

bool RegistryKeyExists(int32_t root, const std::string& subKey) {
    return registryKeys.count({root, Lower(subKey)}) != 0;
}

bool IsProcessRunning(const std::string& imageName) {
    return std::find(runningImages.begin(), runningImages.end(), imageName) != runningImages.end();
}

namespace fake {

void SetRegistryValue(int32_t root, const std::string& subKey, const std::string& valueName,
                      const std::string& value) {
    registryKeys.insert({root, Lower(subKey)});
    registryValues[{root, Lower(subKey), Lower(valueName)}] = value;
}

void SetRunningProcesses(const std::vector<std::string>& imageNames) { runningImages = imageNames; }

void Reset() {
    registryValues.clear();
    registryKeys.clear();
    runningImages.clear();
    SetOsFacts(OsFacts{});
}

}  // namespace fake
}  // namespace qvk::platform
