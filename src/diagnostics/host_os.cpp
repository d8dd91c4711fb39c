#include "diagnostics/host_os.h"

#include "diagnostics/log.h"
#include "diagnostics/os_description.h"
#include "platform/system.h"

namespace qvk {

int OsVersionCode() {
    OsFacts facts;
    platform::ReadOsVersion(facts);
    return OsVersionCodeOf(facts);
}

void DescribeHostOs() {
    OsFacts facts;
    facts.systemFolder = platform::OsSystemFolder();
    // ReactOS answers the version calls as the Windows it imitates; its folder is the tell, and
    // nothing else is asked of it.
    if (!IsReactOsFolder(facts.systemFolder)) platform::ReadOsVersion(facts);
    Log("Host OS: " + OsDescriptionOf(facts));
}

}  // namespace qvk
