// Reading the registry: the editions' install folders and two facts about old NT systems.
// Nothing is ever written there.
#pragma once
#include <cstdint>
#include <string>

namespace qvk::platform {

// The predefined root keys by their handle values read as signed 32-bit numbers, the form the
// probe tables keep them in. A 64-bit build widens them with their sign, as Windows does.
inline constexpr int32_t kClassesRoot = -2147483647 - 1;  // HKEY_CLASSES_ROOT
inline constexpr int32_t kCurrentUser = -2147483647;      // HKEY_CURRENT_USER
inline constexpr int32_t kLocalMachine = -2147483646;     // HKEY_LOCAL_MACHINE

// What fits the read: 255 bytes, the terminating zero included.
inline constexpr unsigned kRegistryTextSize = 255;

// A string value of a key below `root`; an empty `valueName` reads the key's default value.
// Never fails: a missing key or value, a value that is not a single string or does not fit
// kRegistryTextSize bytes (also once expanded) all give the empty text. A REG_EXPAND_SZ value
// comes back with its environment references expanded. Spaces around the text are removed.
// With an empty text the system's reason stays for LastErrorText (none when the value was there
// but is no single string that fits).
std::string ReadRegistryString(int32_t root, const std::string& subKey,
                               const std::string& valueName);
// True when the key opens for querying.
bool RegistryKeyExists(int32_t root, const std::string& subKey);

// The trim every read ends with: spaces only, tabs stay.
inline std::string TrimRegistryText(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace qvk::platform
