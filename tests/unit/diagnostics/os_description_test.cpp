#include "diagnostics/os_description.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "diagnostics/debug_mode.h"
#include "diagnostics/host_os.h"
#include "platform/registry.h"
#include "posix/fake_system.h"
#include "support/test_support.h"

namespace qvk {
namespace {

// An NT system that answered the extended version call.
OsFacts Nt(uint32_t major, uint32_t minor, uint32_t build, const std::string& csd, uint8_t type,
           uint16_t suite = 0, uint16_t arch = 0, const char* systemFolder = "C:\\WINDOWS\\system32") {
    OsFacts f;
    f.basicRead = f.extendedRead = true;
    f.platformId = kPlatformNt;
    f.majorVersion = major, f.minorVersion = minor, f.buildNumber = build, f.csdVersion = csd;
    f.productType = type, f.suiteMask = suite, f.processorArchitecture = arch, f.systemFolder = systemFolder;
    return f;
}

// An NT system that only knows the plain record; type and suite hold leftovers on purpose.
OsFacts NtBasic(uint32_t major, const std::string& csd, const std::string& registryType, bool hotfix = false) {
    OsFacts f = Nt(major, 0, 1381, csd, kNtWorkstation, kSuitePersonal);
    f.extendedRead = false, f.registryProductType = registryType, f.hotfixQ246009 = hotfix;
    return f;
}

OsFacts Win9x(uint32_t minor, const std::string& csd) {
    OsFacts f;
    f.basicRead = true, f.platformId = kPlatformWindows9x, f.majorVersion = 4, f.minorVersion = minor;
    f.buildNumber = (4u << 24) | (minor << 16) | 1111u, f.csdVersion = csd;
    return f;
}

OsFacts With(OsFacts f, bool OsFacts::*flag, uint32_t OsFacts::*field = nullptr, uint32_t value = 0) {
    if (flag) f.*flag = !(f.*flag);
    if (field) f.*field = value;
    return f;
}

TEST(OsDescription, NamesEachSystemAndGivesItsVersionCode) {
    OsFacts r2 = Nt(5, 2, 3790, "Service Pack 2", 3, kSuiteEnterprise), win32s, sp6a = Nt(4, 0, 1381, "SERVICE PACK 6", 3, kSuiteEnterprise);
    r2.serverR2Metric = 1, win32s.basicRead = true, sp6a.hotfixQ246009 = true;
    const std::string b = " (Version 5.2 Build 3790)";
    const struct { OsFacts facts; std::string name; int code; } cases[] = {
        {Nt(5, 1, 2600, "Service Pack 2", 1), "Windows XP Professional Service Pack 2 (Version 5.1 Build 2600)", 60},
        {Nt(5, 1, 2600, "Service Pack 2", 1, kSuitePersonal | 0x0100), "Windows XP Home Edition Service Pack 2 (Version 5.1 Build 2600)", 60},
        {Nt(5, 1, 0x00010A28, "", 0), "Windows XP  (Version 5.1 Build 2600)", 60},  // build: the low word
        {Nt(6, 1, 7601, "Service Pack 1", 1), " Professional Service Pack 1 (Version 6.1 Build 7601)", 70},
        {Nt(10, 0, 19045, "", 1), " Professional  (Version 10.0 Build 19045)", 100},
        {Nt(6, 0, 6002, "Service Pack 2", 3), "Windows Vista Server Server 4.0 Service Pack 2 (Version 6.0 Build 6002)", 75},
        {Nt(5, 0, 2195, "Service Pack 4", 2, kSuiteDatacenter | kSuiteEnterprise), "Windows 2000 Datacenter Server Service Pack 4 (Version 5.0 Build 2195)", 50},
        {r2, "Windows Server 2003 \"R2\" Enterprise Edition Service Pack 2" + b, 65},
        {Nt(5, 2, 3790, "Service Pack 2", 1, 0, kArchitectureAmd64), "Windows XP Professional x64 Edition Service Pack 2" + b, 65},
        {Nt(5, 2, 3790, "", 3, kSuiteDatacenter | kSuiteEnterprise | kSuiteBlade), "Windows Server 2003 Datacenter Edition " + b, 65},
        {Nt(5, 2, 3790, "", 3, kSuiteEnterprise, kArchitectureAmd64), "Windows Server 2003 Enterprise x64 Edition " + b, 65},
        {Nt(5, 2, 3790, "", 3, kSuiteDatacenter, kArchitectureIa64), "Windows Server 2003 Datacenter Edition for Itanium-based Systems " + b, 65},
        {Nt(5, 2, 3790, "", 3, kSuiteBlade, kArchitectureIa64), "Windows Server 2003 " + b, 65},
        {Nt(3, 51, 1057, "Service Pack 5", 3), "Windows NT Server 4.0 Service Pack 5 (Version 3.51 Build 1057)", 5},
        {sp6a, "Windows NT Server 4.0, Enterprise Edition Service Pack 6a (Version 4.0 Build 1381)", 20},
        {With(sp6a, &OsFacts::hotfixQ246009), "Windows NT Server 4.0, Enterprise Edition SERVICE PACK 6 (Version 4.0 Build 1381)", 20},
        {With(sp6a, nullptr, &OsFacts::majorVersion, 5), "Windows 2000 Advanced Server SERVICE PACK 6 (Version 5.0 Build 1381)", 50},
        // Without the extended record the product comes from the registry and the type counts as 0.
        {NtBasic(4, "Service Pack 6", "WinNT", true), "Windows NT Workstation 4 0 Service Pack 6a (Version 4.0 Build 1381)", 20},
        {NtBasic(4, "", "servernt"), "Windows NT Advanced Server 4 0  (Version 4.0 Build 1381)", 20},
        {NtBasic(4, "Service Pack 1", "WINNT2"), "Windows NT 4 0 Service Pack 1 (Version 4.0 Build 1381)", 20},
        {NtBasic(6, "", "WinNT"), "Windows Vista Server Workstation 6 0  (Version 6.0 Build 1381)", 70},
        {Win9x(0, ""), "Windows 95", 10}, {Win9x(0, " C"), "Windows 95 OSR2", 10}, {Win9x(0, "B"), "Windows 95 OSR2", 10},
        {Win9x(0, " A"), "Windows 95", 10}, {Win9x(10, " A"), "Windows 98 SE", 30}, {Win9x(10, "C"), "Windows 98", 30},
        {Win9x(90, " "), "Windows Millennium Edition", 40}, {Win9x(5, "B"), "", 100}, {win32s, "Win32s", 100},
        {Nt(5, 2, 3790, "", 1, 0, 0, "D:\\Sys\\ReactOS\\System32"), "ReactOS", 65},
        {Nt(5, 1, 2600, "", 1, 0, 0, "C:\\reactos\\system32"), "Windows XP Professional  (Version 5.1 Build 2600)", 60},
        {Nt(5, 1, 2600, "", 1, 0, 0, "C:\\ReactOS"), "Windows XP Professional  (Version 5.1 Build 2600)", 60},
        {With(Nt(5, 1, 2600, "", 1), nullptr, &OsFacts::platformId, 3), "", 100},
        {With(Nt(5, 1, 2600, "", 1), &OsFacts::basicRead), "?", 100},
        {Nt(5, 3, 1, "", 1), "?", 100}, {Nt(2, 0, 1, "", 1), "?", 100}, {OsFacts{}, "", 100},
    };
    for (const auto& c : cases) {
        if (c.name != "?") {  // "?": the code alone
            EXPECT_EQ(OsDescriptionOf(c.facts), c.name);
        }
        EXPECT_EQ(OsVersionCodeOf(c.facts), c.code) << c.name;
    }
}

// The glue between the version calls, the registry reads and the log, over the native
// stand-ins: unknown by default, and an NT 4 "SP6" told from SP6a by its hotfix key.
TEST(HostOs, AsksTheRegistryWhatTheVersionRecordLacks) {
    using namespace platform;
    auto logged = [] {
        test::ScratchDir folder(true);
        ActivateDebug();  // the banner's "Host OS: " line
        CloseLog();
        const std::string log = test::ReadWholeFile("qvk.log").value_or("");
        return log.substr(log.find("Host OS: "), log.find("\r\n", log.find("Host OS: ")) - log.find("Host OS: "));
    };
    EXPECT_EQ(OsVersionCode(), 100);
    EXPECT_EQ(logged(), "Host OS: ");
    fake::SetOsFacts(NtBasic(4, "Service Pack 6", "LANMANNT"));  // leftover is not used
    fake::SetRegistryValue(kLocalMachine, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "producttype", " WinNT ");
    EXPECT_EQ(logged(), "Host OS: Windows NT Workstation 4 0 Service Pack 6 (Version 4.0 Build 1381)");
    fake::SetRegistryValue(kLocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009", "Installed", "1");
    EXPECT_EQ(logged(), "Host OS: Windows NT Workstation 4 0 Service Pack 6a (Version 4.0 Build 1381)");
    fake::Reset();
}

}  // namespace
}  // namespace qvk
