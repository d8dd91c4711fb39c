#include "diagnostics/os_description.h"

#include "core/text_helpers.h"

namespace qvk {
namespace {

bool Has(uint16_t mask, uint16_t bit) { return (mask & bit) != 0; }

bool SameText(const std::string& a, const char* b) { return AsciiLower(a) == AsciiLower(b); }

// The 9x family marks its refreshes with one letter in the service-pack text. Windows writes it
// after a blank (" B", " C", " A"), so the letter is looked for past any leading blanks.
char RefreshLetter(const std::string& csd) {
    const size_t at = csd.find_first_not_of(' ');
    return at == std::string::npos ? '\0' : csd[at];
}

std::string NtBaseName(const OsFacts& f, uint8_t type) {
    const uint32_t major = f.majorVersion, minor = f.minorVersion;
    if (major == 6 && minor == 0) return type == kNtWorkstation ? "Windows Vista" : "Windows Vista Server";
    if (major == 5 && minor == 2) {
        if (f.serverR2Metric != 0) return "Windows Server 2003 \"R2\"";
        if (type == kNtWorkstation && f.processorArchitecture == kArchitectureAmd64)
            return "Windows XP Professional x64 Edition";
        return "Windows Server 2003";
    }
    if (major == 5 && minor == 1) return "Windows XP";
    if (major == 5 && minor == 0) return "Windows 2000";
    if (major <= 4) return "Windows NT";
    // Versions newer than the installer (6.1 and later) get no name, only their numbers below.
    return "";
}

std::string NtEditionFromExtended(const OsFacts& f) {
    const uint32_t major = f.majorVersion, minor = f.minorVersion;
    const uint16_t suite = f.suiteMask, arch = f.processorArchitecture;
    if (f.productType == kNtWorkstation && arch != kArchitectureAmd64) {
        if (major == 4) return " Workstation 4.0";
        if (Has(suite, kSuitePersonal)) return " Home Edition";
        return " Professional";
    }
    if (f.productType != kNtServer && f.productType != kNtDomainController) return "";
    if (major == 5 && minor == 2) {
        if (arch == kArchitectureIa64) {
            if (Has(suite, kSuiteDatacenter)) return " Datacenter Edition for Itanium-based Systems";
            if (Has(suite, kSuiteEnterprise)) return " Enterprise Edition for Itanium-based Systems";
            return "";
        }
        if (arch == kArchitectureAmd64) {
            if (Has(suite, kSuiteDatacenter)) return " Datacenter x64 Edition";
            if (Has(suite, kSuiteEnterprise)) return " Enterprise x64 Edition";
            return " Standard x64 Edition";
        }
        if (Has(suite, kSuiteDatacenter)) return " Datacenter Edition";
        if (Has(suite, kSuiteEnterprise)) return " Enterprise Edition";
        if (Has(suite, kSuiteBlade)) return " Web Edition";
        return " Standard Edition";
    }
    if (major == 5 && minor == 0) {
        if (Has(suite, kSuiteDatacenter)) return " Datacenter Server";
        if (Has(suite, kSuiteEnterprise)) return " Advanced Server";
        return " Server";
    }
    // NT 4 is the only other server the table knows; later servers fall in here as well.
    if (Has(suite, kSuiteEnterprise)) return " Server 4.0, Enterprise Edition";
    return " Server 4.0";
}

// Without the extended record (NT 4 before SP6) the product type is only in the registry.
std::string NtEditionFromRegistry(const OsFacts& f) {
    std::string d;
    const std::string& p = f.registryProductType;
    if (SameText(p, "WINNT")) d += " Workstation";
    if (SameText(p, "LANMANNT")) d += " Server";
    if (SameText(p, "SERVERNT")) d += " Advanced Server";
    d += " " + std::to_string(f.majorVersion) + " " + std::to_string(f.minorVersion);
    return d;
}

std::string NtServicePack(const OsFacts& f) {
    const std::string version = " (Version " + std::to_string(f.majorVersion) + "." +
                                std::to_string(f.minorVersion) + " Build " +
                                std::to_string(f.buildNumber & 0xFFFFu) + ")";
    // SP6a did not change the service-pack text; only its hotfix key tells it from SP6.
    if (f.majorVersion == 4 && SameText(f.csdVersion, "Service Pack 6") && f.hotfixQ246009)
        return " Service Pack 6a" + version;
    return " " + f.csdVersion + version;
}

std::string Windows9xName(const OsFacts& f) {
    const char letter = RefreshLetter(f.csdVersion);
    switch (f.minorVersion) {
        case 0: return (letter == 'C' || letter == 'B') ? "Windows 95 OSR2" : "Windows 95";
        case 10: return (letter == 'A' || letter == 'B') ? "Windows 98 SE" : "Windows 98";
        case 90: return "Windows Millennium Edition";
        default: return "";
    }
}

}  // namespace

int OsVersionCodeOf(const OsFacts& f) {
    if (!f.basicRead) return 100;
    if (f.platformId == kPlatformWindows9x) {
        switch (f.minorVersion) {
            case 0: return 10;
            case 10: return 30;
            case 90: return 40;
            default: return 100;
        }
    }
    if (f.platformId != kPlatformNt) return 100;
    switch (f.majorVersion) {
        case 3: return 5;
        case 4: return 20;
        case 5:
            switch (f.minorVersion) {
                case 0: return 50;
                case 1: return 60;
                case 2: return 65;
                default: return 100;
            }
        case 6:
            if (!f.extendedRead || f.productType == kNtWorkstation) return 70;
            return 75;
        default: return 100;
    }
}

bool IsReactOsFolder(const std::string& systemFolder) {
    return systemFolder.find("\\ReactOS\\") != std::string::npos;
}

std::string OsDescriptionOf(const OsFacts& f) {
    if (IsReactOsFolder(f.systemFolder)) return "ReactOS";
    // Nothing was read, so there is nothing to name (rather than guessing Win32s from zeros).
    if (!f.basicRead && !f.extendedRead) return "";
    switch (f.platformId) {
        case kPlatformNt: {
            const uint8_t type = f.extendedRead ? f.productType : 0;
            std::string d = NtBaseName(f, type);
            d += f.extendedRead ? NtEditionFromExtended(f) : NtEditionFromRegistry(f);
            return d + NtServicePack(f);
        }
        case kPlatformWindows9x: return Windows9xName(f);
        case kPlatformWin32s: return "Win32s";
        default: return "";
    }
}

}  // namespace qvk
