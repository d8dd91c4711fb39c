#include "posix/fake_system.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <tuple>

#include <sys/statvfs.h>

#include "platform/files.h"

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
DiskRoom fakeRoom;

}  // namespace

DiskRoom DiskRoomOf(const Utf8Path& folder) {
    if (fakeRoom.known) return fakeRoom;
    DiskRoom room;
    std::string path = folder.text;
    struct statvfs figures;
    // The nearest folder that exists is on the disk the missing ones will be made on.
    while (::statvfs(path.c_str(), &figures) != 0) {
        const std::size_t cut = path.find_last_of('/', path.size() > 1 ? path.size() - 2 : 0);
        if (cut == std::string::npos || path.size() <= 1) return room;
        path = cut == 0 ? "/" : path.substr(0, cut);
    }
    room.known = true;
    room.disk = std::to_string(figures.f_fsid);
    room.free = static_cast<uint64_t>(figures.f_bavail) * figures.f_frsize;
    room.total = static_cast<uint64_t>(figures.f_blocks) * figures.f_frsize;
    return room;
}

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

void SetDiskRoom(const DiskRoom& room) { fakeRoom = room; }

void Reset() {
    fakeRoom = DiskRoom();
    registryValues.clear();
    registryKeys.clear();
    runningImages.clear();
    SetOsFacts(OsFacts{});
}

}  // namespace fake
}  // namespace qvk::platform
