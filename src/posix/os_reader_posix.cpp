// A native build has no Windows version record: the version calls report what a unit test put
// in place, and by default that every read was refused, so the installer's own logic sees
// "unknown system" (code 100, an empty description).
#include "platform/system.h"
#include "posix/fake_system.h"

namespace qvk::platform {
namespace {

OsFacts reported;
unsigned languageId = 0x0409;

}  // namespace

std::string OsSystemFolder() { return reported.systemFolder; }

void ReadOsVersion(OsFacts& facts) {
    const std::string folder = facts.systemFolder;
    facts = reported;
    facts.systemFolder = folder;
}

unsigned UserLanguageId() { return languageId; }

namespace fake {

void SetOsFacts(const OsFacts& facts) { reported = facts; }
void SetUserLanguageId(unsigned id) { languageId = id; }

}  // namespace fake
}  // namespace qvk::platform
