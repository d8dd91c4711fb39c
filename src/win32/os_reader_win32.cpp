// Gathers what Windows tells about itself for the start-up check and the "Host OS: " line.
#include <windows.h>

#include <cstring>

#include "platform/system.h"

namespace qvk::platform {
namespace {

static_assert(sizeof(OSVERSIONINFOA) == 148, "plain version record");
static_assert(sizeof(OSVERSIONINFOEXA) == 156, "extended version record");

// Only the service-pack text of the record, which Windows is not obliged to terminate.
std::string CsdText(const char (&field)[128]) {
    return std::string(field, strnlen(field, sizeof field));
}

// GetVersionExA is deprecated in newer SDK headers, but the installer has to run on systems that
// have nothing else, and the version helpers would not tell 9x from NT anyway.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
bool ReadExtended(OSVERSIONINFOEXA& info) {
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) != 0;
}
bool ReadBasic(OSVERSIONINFOA& info) {
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(&info) != 0;
}
#pragma GCC diagnostic pop

template <class Record>
void CopyCommonFields(const Record& v, OsFacts& facts) {
    facts.majorVersion = v.dwMajorVersion;
    facts.minorVersion = v.dwMinorVersion;
    facts.buildNumber = v.dwBuildNumber;
    facts.platformId = v.dwPlatformId;
    facts.csdVersion = CsdText(v.szCSDVersion);
}

}  // namespace

std::string OsSystemFolder() {
    char buffer[255];
    const UINT length = GetSystemDirectoryA(buffer, sizeof buffer);
    // 0 is a failure; a length not below the buffer size is the size it would have needed.
    if (length == 0 || length >= sizeof buffer) return "";
    return std::string(buffer, length);
}

void ReadOsVersion(OsFacts& facts) {
    OSVERSIONINFOEXA ex;
    OSVERSIONINFOA basic;
    facts.basicRead = ReadBasic(basic);
    facts.extendedRead = ReadExtended(ex);
    // The extended record, when accepted, carries the same fields as the plain one and more.
    if (facts.extendedRead) CopyCommonFields(ex, facts);
    else if (facts.basicRead) CopyCommonFields(basic, facts);
    facts.suiteMask = facts.extendedRead ? ex.wSuiteMask : 0;
    facts.productType = facts.extendedRead ? ex.wProductType : 0;

    SYSTEM_INFO system;
    std::memset(&system, 0, sizeof system);
    GetSystemInfo(&system);
    facts.processorArchitecture = system.wProcessorArchitecture;
    facts.serverR2Metric = GetSystemMetrics(89);  // SM_SERVERR2, missing from older headers
}

unsigned UserLanguageId() { return GetUserDefaultLangID(); }

}  // namespace qvk::platform
