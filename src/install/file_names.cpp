#include "install/file_names.h"

#include <cstring>

#include "core/text_helpers.h"

namespace qvk {
namespace {

bool IsDeviceName(std::string name) {
    // Whatever extension follows, and with blanks before it.
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    name = AsciiLower(name);
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"})
        if (name == device) return true;
    if (name.size() == 4 && (name.compare(0, 3, "com") == 0 || name.compare(0, 3, "lpt") == 0)) {
        const unsigned char digit = static_cast<unsigned char>(name[3]);
        return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

}  // namespace

bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name.back() == '.' || name.back() == ' ') return false;  // "." and ".." too
    for (unsigned char c : name)
        if (c < 32 || std::strchr("\\/:*?\"<>|", c)) return false;
    return !IsDeviceName(name);
}

}  // namespace qvk
