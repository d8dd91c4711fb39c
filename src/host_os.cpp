#include "host_os.h"

#include "log.h"
#include "os_description.h"

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
