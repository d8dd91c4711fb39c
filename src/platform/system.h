// Facts about the running system for its identification in the log and the start-up warning.
#pragma once
#include <cstdint>
#include <string>

namespace qvk {

// What the platform reported, field by field, as the Windows version calls hand it over.
struct OsFacts {
    bool basicRead = false;     // GetVersionExA accepted the plain record
    bool extendedRead = false;  // GetVersionExA accepted the extended record
    uint32_t majorVersion = 0;
    uint32_t minorVersion = 0;
    uint32_t buildNumber = 0;   // as reported; the 9x family keeps the version in the high word
    uint32_t platformId = 0;    // 0 Win32s, 1 the 9x family, 2 the NT family
    std::string csdVersion;     // service-pack text, empty when there is none
    uint16_t suiteMask = 0;     // meaningful only when extendedRead
    uint8_t productType = 0;    // meaningful only when extendedRead
    uint16_t processorArchitecture = 0;  // as seen by this (32-bit) process
    int serverR2Metric = 0;     // GetSystemMetrics(SM_SERVERR2)
    std::string systemFolder;   // without trailing backslash; empty when unknown
    // Read from the registry only where the description needs them (see the host OS line).
    std::string registryProductType;  // ProductOptions\ProductType, blanks trimmed, "" if unread
    bool hotfixQ246009 = false;       // the NT 4 SP6a hotfix key opened
};

// Platform ids, product types, suite bits and architectures the description looks at.
enum : uint32_t { kPlatformWin32s = 0, kPlatformWindows9x = 1, kPlatformNt = 2 };
enum : uint8_t { kNtWorkstation = 1, kNtDomainController = 2, kNtServer = 3 };
enum : uint16_t {
    kSuiteEnterprise = 0x0002,
    kSuiteDatacenter = 0x0080,
    kSuitePersonal = 0x0200,
    kSuiteBlade = 0x0400,
};
enum : uint16_t { kArchitectureIa64 = 6, kArchitectureAmd64 = 9 };

}  // namespace qvk

namespace qvk::platform {

// The system folder alone, so a ReactOS system is recognised before any version is read.
std::string OsSystemFolder();
// Every version fact; leaves systemFolder as it is.
void ReadOsVersion(OsFacts& facts);
// The user's default language identifier (16 bits).
unsigned UserLanguageId();

}  // namespace qvk::platform
