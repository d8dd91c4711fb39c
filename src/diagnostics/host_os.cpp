#include "diagnostics/host_os.h"

#include "core/log.h"
#include "core/text_helpers.h"
#include "diagnostics/os_description.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace qvk {

int OsVersionCode() {
    OsFacts facts;
    platform::ReadOsVersion(facts);
    return OsVersionCodeOf(facts);
}

namespace {

// The two registry facts the description may need, read only when it needs them: the product
// type when the version call refused the extended record, the SP6a hotfix on an NT 4 "SP6".
void ReadRegistryFacts(OsFacts& facts) {
    facts.registryProductType.clear();
    facts.hotfixQ246009 = false;
    if (facts.platformId != kPlatformNt) return;
    if (!facts.extendedRead)
        facts.registryProductType = platform::ReadRegistryString(
            platform::kLocalMachine, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
            "ProductType");
    if (facts.majorVersion == 4 && AsciiLower(facts.csdVersion) == "service pack 6")
        facts.hotfixQ246009 = platform::RegistryKeyExists(
            platform::kLocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009");
}

}  // namespace

void DescribeHostOs() {
    OsFacts facts;
    facts.systemFolder = platform::OsSystemFolder();
    // ReactOS answers the version calls as the Windows it imitates; its folder is the tell, and
    // nothing else is asked of it.
    if (!IsReactOsFolder(facts.systemFolder)) {
        platform::ReadOsVersion(facts);
        ReadRegistryFacts(facts);
    }
    Log("Host OS: " + OsDescriptionOf(facts));
}

}  // namespace qvk
