// A native build has no Windows version record: every read is reported as refused, so the
// installer's own logic sees "unknown system" (code 100, an empty description).
#include "platform/system.h"

namespace qvk::platform {

std::string OsSystemFolder() { return ""; }

void ReadOsVersion(OsFacts& facts) {
    const std::string folder = facts.systemFolder;
    facts = OsFacts{};
    facts.systemFolder = folder;
}

}  // namespace qvk::platform
