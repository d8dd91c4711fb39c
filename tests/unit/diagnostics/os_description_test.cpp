#include "diagnostics/os_description.h"

#include <gtest/gtest.h>

#include "diagnostics/host_os.h"
#include "diagnostics/log.h"
#include "platform/registry.h"
#include "posix/fake_system.h"
#include "support/test_support.h"

namespace qvk {
namespace {

// An NT system that answered the extended version call.
OsFacts Nt(uint32_t major, uint32_t minor, uint32_t build, const std::string& csd, uint8_t type,
           uint16_t suite = 0, uint16_t arch = 0) {
    OsFacts f;
    f.basicRead = f.extendedRead = true;
    f.platformId = kPlatformNt;
    f.majorVersion = major;
    f.minorVersion = minor;
    f.buildNumber = build;
    f.csdVersion = csd;
    f.productType = type;
    f.suiteMask = suite;
    f.processorArchitecture = arch;
    f.systemFolder = "C:\\WINDOWS\\system32";
    return f;
}

// An NT system that only knows the plain record; type and suite hold leftovers on purpose.
OsFacts NtBasic(uint32_t major, uint32_t minor, const std::string& csd, const std::string& reg) {
    OsFacts f = Nt(major, minor, 1381, csd, kNtWorkstation, kSuitePersonal);
    f.extendedRead = false;
    f.registryProductType = reg;
    return f;
}

OsFacts Win9x(uint32_t minor, const std::string& csd) {
    OsFacts f;
    f.basicRead = true;
    f.platformId = kPlatformWindows9x;
    f.majorVersion = 4;
    f.minorVersion = minor;
    f.buildNumber = (4u << 24) | (minor << 16) | 1111u;
    f.csdVersion = csd;
    return f;
}

OsFacts With(OsFacts f, void (*change)(OsFacts&)) { change(f); return f; }

struct DescriptionCase {
    const char* what;
    OsFacts facts;
    const char* expected;
};

TEST(OsDescription, NamesEachSystemAsTheTablesSay) {
    const DescriptionCase cases[] = {
        {"XP Pro", Nt(5, 1, 2600, "Service Pack 2", 1),
         "Windows XP Professional Service Pack 2 (Version 5.1 Build 2600)"},
        {"XP Home", Nt(5, 1, 2600, "Service Pack 2", 1, kSuitePersonal | 0x0100),
         "Windows XP Home Edition Service Pack 2 (Version 5.1 Build 2600)"},
        {"6.1 has no name", Nt(6, 1, 7601, "Service Pack 1", 1),
         " Professional Service Pack 1 (Version 6.1 Build 7601)"},
        {"NT 10", Nt(10, 0, 19045, "", 1), " Professional  (Version 10.0 Build 19045)"},
        {"Vista", Nt(6, 0, 6001, "Service Pack 1", 1),
         "Windows Vista Professional Service Pack 1 (Version 6.0 Build 6001)"},
        {"Vista server", Nt(6, 0, 6002, "Service Pack 2", 3),
         "Windows Vista Server Server 4.0 Service Pack 2 (Version 6.0 Build 6002)"},
        {"2000 empty CSD", Nt(5, 0, 2195, "", 1), "Windows 2000 Professional  (Version 5.0 Build 2195)"},
        {"2000 DC", Nt(5, 0, 2195, "Service Pack 4", 2, kSuiteDatacenter | kSuiteEnterprise),
         "Windows 2000 Datacenter Server Service Pack 4 (Version 5.0 Build 2195)"},
        {"2000 adv", Nt(5, 0, 2195, "", 3, kSuiteEnterprise),
         "Windows 2000 Advanced Server  (Version 5.0 Build 2195)"},
        {"2000 srv", Nt(5, 0, 2195, "", 3), "Windows 2000 Server  (Version 5.0 Build 2195)"},
        {"R2", With(Nt(5, 2, 3790, "Service Pack 2", 3, kSuiteEnterprise), [](OsFacts& f) { f.serverR2Metric = 1; }),
         "Windows Server 2003 \"R2\" Enterprise Edition Service Pack 2 (Version 5.2 Build 3790)"},
        {"XP x64", Nt(5, 2, 3790, "Service Pack 2", 1, 0, kArchitectureAmd64),
         "Windows XP Professional x64 Edition Service Pack 2 (Version 5.2 Build 3790)"},
        {"2003 web", Nt(5, 2, 3790, "", 3, kSuiteBlade), "Windows Server 2003 Web Edition  (Version 5.2 Build 3790)"},
        {"2003 std", Nt(5, 2, 3790, "", 2), "Windows Server 2003 Standard Edition  (Version 5.2 Build 3790)"},
        {"2003 DC first", Nt(5, 2, 3790, "", 3, kSuiteDatacenter | kSuiteEnterprise | kSuiteBlade),
         "Windows Server 2003 Datacenter Edition  (Version 5.2 Build 3790)"},
        {"2003 x64 ent", Nt(5, 2, 3790, "", 3, kSuiteEnterprise, kArchitectureAmd64),
         "Windows Server 2003 Enterprise x64 Edition  (Version 5.2 Build 3790)"},
        {"2003 x64 std", Nt(5, 2, 3790, "", 3, kSuiteBlade, kArchitectureAmd64),
         "Windows Server 2003 Standard x64 Edition  (Version 5.2 Build 3790)"},
        {"2003 ia64 dc", Nt(5, 2, 3790, "", 3, kSuiteDatacenter, kArchitectureIa64),
         "Windows Server 2003 Datacenter Edition for Itanium-based Systems  (Version 5.2 Build 3790)"},
        {"2003 ia64 plain", Nt(5, 2, 3790, "", 3, kSuiteBlade, kArchitectureIa64),
         "Windows Server 2003  (Version 5.2 Build 3790)"},
        {"build low word", Nt(5, 1, 0x00010A28, "", 1), "Windows XP Professional  (Version 5.1 Build 2600)"},
        {"odd product type", Nt(5, 1, 2600, "", 0), "Windows XP  (Version 5.1 Build 2600)"},
        {"NT 3.51", Nt(3, 51, 1057, "Service Pack 5", 3),
         "Windows NT Server 4.0 Service Pack 5 (Version 3.51 Build 1057)"},
    };
    for (const auto& c : cases) EXPECT_EQ(OsDescriptionOf(c.facts), c.expected) << c.what;
}

TEST(OsDescription, Nt4ServicePack6aNeedsTheHotfixKey) {
    auto sp6 = [](const char* csd, bool hotfix, uint8_t type, uint16_t suite, uint32_t major) {
        OsFacts f = Nt(major, 0, 1381, csd, type, suite);
        f.hotfixQ246009 = hotfix;
        return OsDescriptionOf(f);
    };
    EXPECT_EQ(sp6("Service Pack 6", true, 1, 0, 4),
              "Windows NT Workstation 4.0 Service Pack 6a (Version 4.0 Build 1381)");
    EXPECT_EQ(sp6("Service Pack 6", false, 1, 0, 4),
              "Windows NT Workstation 4.0 Service Pack 6 (Version 4.0 Build 1381)");
    EXPECT_EQ(sp6("SERVICE PACK 6", true, 3, kSuiteEnterprise, 4),
              "Windows NT Server 4.0, Enterprise Edition Service Pack 6a (Version 4.0 Build 1381)");
    // The hotfix only upgrades an NT 4 whose text is exactly SP6.
    EXPECT_EQ(sp6("Service Pack 5", true, 1, 0, 4),
              "Windows NT Workstation 4.0 Service Pack 5 (Version 4.0 Build 1381)");
    EXPECT_EQ(sp6("Service Pack 6", true, 1, 0, 5),
              "Windows 2000 Professional Service Pack 6 (Version 5.0 Build 1381)");
}

TEST(OsDescription, PlainRecordTakesTheProductFromTheRegistry) {
    const DescriptionCase cases[] = {
        {"WINNT", NtBasic(4, 0, "Service Pack 3", "WinNT"),
         "Windows NT Workstation 4 0 Service Pack 3 (Version 4.0 Build 1381)"},
        {"LANMANNT", NtBasic(4, 0, "Service Pack 3", "LANMANNT"),
         "Windows NT Server 4 0 Service Pack 3 (Version 4.0 Build 1381)"},
        {"SERVERNT", NtBasic(4, 0, "", "servernt"), "Windows NT Advanced Server 4 0  (Version 4.0 Build 1381)"},
        {"unreadable", NtBasic(4, 0, "Service Pack 1", ""), "Windows NT 4 0 Service Pack 1 (Version 4.0 Build 1381)"},
        {"not exact", NtBasic(4, 0, "", "WINNT2"), "Windows NT 4 0  (Version 4.0 Build 1381)"},
        // Without the extended record the product type counts as 0 whatever the field holds.
        {"6.0 basic", NtBasic(6, 0, "", "WinNT"), "Windows Vista Server Workstation 6 0  (Version 6.0 Build 1381)"},
    };
    for (const auto& c : cases) EXPECT_EQ(OsDescriptionOf(c.facts), c.expected) << c.what;
}

TEST(OsDescription, OlderFamiliesAndOddCases) {
    OsFacts reactos = Nt(5, 2, 3790, "Service Pack 2", 1);
    reactos.systemFolder = "C:\\ReactOS\\system32";
    OsFacts lowerReactos = Nt(5, 1, 2600, "", 1);
    lowerReactos.systemFolder = "C:\\reactos\\system32";
    OsFacts win32s;
    win32s.basicRead = true;
    OsFacts unknownPlatform = Nt(5, 1, 2600, "", 1);
    unknownPlatform.platformId = 3;
    const DescriptionCase cases[] = {
        {"95", Win9x(0, ""), "Windows 95"},
        {"95 OSR2", Win9x(0, " C"), "Windows 95 OSR2"},
        {"95 OSR2 B", Win9x(0, "B"), "Windows 95 OSR2"},
        {"95 A", Win9x(0, " A"), "Windows 95"},
        {"98", Win9x(10, ""), "Windows 98"},
        {"98 SE", Win9x(10, " A"), "Windows 98 SE"},
        {"98 C", Win9x(10, "C"), "Windows 98"},
        {"ME", Win9x(90, " "), "Windows Millennium Edition"},
        {"9x other", Win9x(5, "B"), ""},
        {"Win32s", win32s, "Win32s"},
        {"ReactOS", reactos, "ReactOS"},
        {"reactos lower", lowerReactos, "Windows XP Professional  (Version 5.1 Build 2600)"},
        {"unknown platform", unknownPlatform, ""},
        {"nothing read", OsFacts{}, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(OsDescriptionOf(c.facts), c.expected) << c.what;
    EXPECT_FALSE(IsReactOsFolder("C:\\ReactOS"));
    EXPECT_TRUE(IsReactOsFolder("D:\\Systems\\ReactOS\\System32"));
}

TEST(OsVersionCode, ClassifiesKnownVersionsAndRejectsTheRest) {
    OsFacts noExtended = Nt(6, 1, 7601, "", 3);
    noExtended.extendedRead = false;
    OsFacts noBasic = Nt(5, 1, 2600, "", 1);
    noBasic.basicRead = false;
    OsFacts win32s;
    win32s.basicRead = true;
    const struct { const char* what; OsFacts facts; int code; } cases[] = {
        {"NT 3", Nt(3, 51, 1057, "", 1), 5},
        {"95", Win9x(0, ""), 10},
        {"NT 4", Nt(4, 0, 1381, "", 1), 20},
        {"98", Win9x(10, " A"), 30},
        {"ME", Win9x(90, ""), 40},
        {"2000", Nt(5, 0, 2195, "", 3), 50},
        {"XP", Nt(5, 1, 2600, "", 1), 60},
        {"2003", Nt(5, 2, 3790, "", 3), 65},
        {"7 workstation", Nt(6, 1, 7601, "Service Pack 1", 1), 70},
        {"6.x without extended", noExtended, 70},
        {"2008 server", Nt(6, 0, 6001, "", 3), 75},
        {"6.x DC", Nt(6, 3, 9600, "", 2), 75},
        {"NT 10", Nt(10, 0, 19045, "", 1), 100},
        {"NT 5.3", Nt(5, 3, 1, "", 1), 100},
        {"NT 2", Nt(2, 0, 1, "", 1), 100},
        {"9x 5", Win9x(5, ""), 100},
        {"Win32s", win32s, 100},
        {"unreadable", noBasic, 100},
        {"nothing", OsFacts{}, 100},
    };
    for (const auto& c : cases) EXPECT_EQ(OsVersionCodeOf(c.facts), c.code) << c.what;
}

// The glue between the version calls, the registry reads and the log, over the native
// stand-ins: unknown by default, and an NT 4 "SP6" told from SP6a by its hotfix key.
std::string LoggedHostOs() {
    test::ScratchFolder folder;
    ActivateDebug();  // the banner's "Host OS: " line
    CloseLog();
    const std::string log = test::ReadWholeFile("qvk.log").value_or("");
    const size_t at = log.find("Host OS: ");
    return at == std::string::npos ? "(none)" : log.substr(at, log.find("\r\n", at) - at);
}

TEST(HostOs, AsksTheRegistryWhatTheVersionRecordLacks) {
    using namespace platform;
    EXPECT_EQ(OsVersionCode(), 100);
    EXPECT_EQ(LoggedHostOs(), "Host OS: ");
    fake::SetOsFacts(NtBasic(4, 0, "Service Pack 6", "LANMANNT"));  // leftover is not used
    fake::SetRegistryValue(kLocalMachine, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
                           "producttype", " WinNT ");
    EXPECT_EQ(LoggedHostOs(), "Host OS: Windows NT Workstation 4 0 Service Pack 6 (Version 4.0 Build 1381)");
    fake::SetRegistryValue(kLocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009",
                           "Installed", "1");
    EXPECT_EQ(LoggedHostOs(), "Host OS: Windows NT Workstation 4 0 Service Pack 6a (Version 4.0 Build 1381)");
    fake::Reset();
}

}  // namespace
}  // namespace qvk
