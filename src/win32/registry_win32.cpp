// Registry reads through advapi32, with the fixed 255-byte buffer the installer has always used.
#include <windows.h>

#include <cstring>

#include "platform/registry.h"

namespace qvk::platform {
namespace {

// The sign matters on 64-bit Windows, where HKEY_LOCAL_MACHINE is 0xFFFFFFFF80000002.
HKEY RootHandle(int32_t root) { return reinterpret_cast<HKEY>(static_cast<intptr_t>(root)); }

}  // namespace

std::string ReadRegistryString(int32_t root, const std::string& subKey,
                               const std::string& valueName) {
    // Spaces up to the last byte and a zero after it: whatever the query leaves, the text ends
    // inside the buffer, and an untouched buffer trims down to nothing.
    char buffer[kRegistryTextSize + 1];
    std::memset(buffer, ' ', kRegistryTextSize);
    buffer[kRegistryTextSize] = '\0';
    HKEY key;
    // The registry calls return their reason instead of keeping it as the last error.
    const LONG opened = RegOpenKeyExA(RootHandle(root), subKey.c_str(), 0, KEY_QUERY_VALUE, &key);
    if (opened != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(opened));
        return "";
    }
    DWORD type = REG_NONE, size = kRegistryTextSize;
    const LONG result = RegQueryValueExA(key, valueName.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    // A value too long for the buffer (ERROR_MORE_DATA) leaves its contents undefined, and
    // numbers or binary data would put garbage in a folder field: both read as "nothing".
    SetLastError(static_cast<DWORD>(result));
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return "";
    if (type == REG_SZ) return TrimRegistryText(buffer);
    // Installers write folders as "%ProgramFiles%\...", which no file call understands. The
    // spaces a value stored without its zero leaves behind must not count against the size.
    const std::string text = TrimRegistryText(buffer);
    char expanded[kRegistryTextSize + 1];
    const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), expanded, kRegistryTextSize);
    if (needed == 0) return "";
    if (needed > kRegistryTextSize) {
        SetLastError(ERROR_SUCCESS);  // too long for the field, which is no failure of the call
        return "";
    }
    expanded[kRegistryTextSize] = '\0';
    return TrimRegistryText(expanded);
}

bool RegistryKeyExists(int32_t root, const std::string& subKey) {
    HKEY key;
    if (RegOpenKeyExA(RootHandle(root), subKey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

}  // namespace qvk::platform
