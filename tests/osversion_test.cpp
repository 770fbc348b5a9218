// The operating-system line, with the version record supplied through the seam.
#include "checks/OsVersion.h"
#include "support/ExpectedReport.h"
#include "support/SeamFaults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace
{
struct OsCase
{
    const char* pszName;
    DWORD dwPlatform;
    DWORD dwMajor;
    DWORD dwMinor;
    DWORD dwBuild;
    std::string servicePack; // a text of the field's whole size has no terminator
    const char* pszExpected; // after the label; the query fails when null: only the label is left
    BYTE wProductType = VER_NT_WORKSTATION;
};
const OsCase* g_pCase = nullptr;

BOOL WINAPI FakeGetVersionExA(LPOSVERSIONINFOA pInfo)
{
    // The extended record, which tells a workstation from a server.
    if (g_pCase->pszExpected == nullptr || pInfo->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA))
    {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* pInfoEx = reinterpret_cast<OSVERSIONINFOEXA*>(pInfo);
    *pInfoEx = OSVERSIONINFOEXA();
    pInfo->dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    pInfoEx->wProductType = g_pCase->wProductType;
    pInfo->dwPlatformId = g_pCase->dwPlatform;
    pInfo->dwMajorVersion = g_pCase->dwMajor;
    pInfo->dwMinorVersion = g_pCase->dwMinor;
    pInfo->dwBuildNumber = g_pCase->dwBuild;
    std::memcpy(pInfo->szCSDVersion, g_pCase->servicePack.data(),
                std::min(g_pCase->servicePack.size(), sizeof(pInfo->szCSDVersion)));
    return TRUE;
}
} // namespace

TEST(GetOsVersionText, EveryRowOfTheVersionTable)
{
    const std::string fullField(128, 'S');
    const std::string fullFieldLine = "Windows XP " + fullField + " Build: 2600";
    const OsCase kCases[] = {
        {"Win32s", 0, 3, 10, 1234, "Win32s", "Windows 3.1"},
        {"95", 1, 4, 0, 950, "", "Windows 95 Build: 950"},
        {"95 B", 1, 4, 0, 0x040003B6, " B", "Windows 95 B Build: 950"},
        {"98 A", 1, 4, 10, 0x040A08AE, " A", "Windows 98 A Build: 2222"},
        {"Me", 1, 4, 90, 0x045A0BB8, "", "Windows Me Build: 3000"},
        {"9x unknown", 1, 4, 20, 1, "x", "Unknown Operating System"},
        {"NT 3.51", 2, 3, 10, 511, "", "Windows NT 3.51  Build: 511"},
        {"NT 3.51 SP5", 2, 3, 50, 807, "Service Pack 5", "Windows NT 3.51 Service Pack 5 Build: 807"},
        {"NT 4.0", 2, 4, 0, 1381, "Service Pack 6", "Windows NT 4.0 Service Pack 6 Build: 1381"},
        {"2000", 2, 5, 0, 2195, "Service Pack 4", "Windows 2000 Service Pack 4 Build: 2195"},
        {"XP", 2, 5, 1, 2600, "", "Windows XP  Build: 2600"},
        {"XP SP3", 2, 5, 1, 2600, "Service Pack 3", "Windows XP Service Pack 3 Build: 2600"},
        {"2003", 2, 5, 2, 3790, "Service Pack 2", "Windows Server 2003 Service Pack 2 Build: 3790"},
        {"NT 5.3", 2, 5, 3, 1, "", "Unknown Operating System"},
        {"Vista", 2, 6, 0, 6002, "Service Pack 2", "Windows Vista Service Pack 2 Build: 6002"},
        {"Server 2008", 2, 6, 0, 6003, "Service Pack 2", "Windows Server 2008 Service Pack 2 Build: 6003",
         VER_NT_SERVER},
        {"7", 2, 6, 1, 7601, "Service Pack 1", "Windows 7 Service Pack 1 Build: 7601"},
        {"Server 2008 R2, a domain controller", 2, 6, 1, 7601, "Service Pack 1",
         "Windows Server 2008 R2 Service Pack 1 Build: 7601", VER_NT_DOMAIN_CONTROLLER},
        {"8", 2, 6, 2, 9200, "", "Windows 8  Build: 9200"},
        {"Server 2012", 2, 6, 2, 9200, "", "Windows Server 2012  Build: 9200", VER_NT_SERVER},
        {"8.1", 2, 6, 3, 9600, "", "Windows 8.1  Build: 9600"},
        {"Server 2012 R2", 2, 6, 3, 9600, "", "Windows Server 2012 R2  Build: 9600", VER_NT_SERVER},
        {"6.4", 2, 6, 4, 9841, "", "Unknown Operating System"},
        {"10", 2, 10, 0, 19045, "", "Windows 10  Build: 19045"},
        {"10 at its last build", 2, 10, 0, 21999, "", "Windows 10  Build: 21999"},
        {"11 from its first build", 2, 10, 0, 22000, "", "Windows 11  Build: 22000"},
        {"Server 2016", 2, 10, 0, 14393, "", "Windows Server 2016  Build: 14393", VER_NT_SERVER},
        {"2016 17762", 2, 10, 0, 17762, "", "Windows Server 2016  Build: 17762", VER_NT_SERVER},
        {"2019 17763", 2, 10, 0, 17763, "", "Windows Server 2019  Build: 17763", VER_NT_SERVER},
        {"2019 20347", 2, 10, 0, 20347, "", "Windows Server 2019  Build: 20347", VER_NT_SERVER},
        {"2022 20348", 2, 10, 0, 20348, "", "Windows Server 2022  Build: 20348", VER_NT_SERVER},
        {"2022 26099", 2, 10, 0, 26099, "", "Windows Server 2022  Build: 26099", VER_NT_SERVER},
        {"2025 26100", 2, 10, 0, 26100, "", "Windows Server 2025  Build: 26100", VER_NT_DOMAIN_CONTROLLER},
        {"11.0", 2, 11, 0, 30000, "", "Unknown Operating System"},
        {"build above 16 bits", 2, 5, 1, 0x00012345, "", "Windows XP  Build: 74565"},
        {"largest build", 2, 5, 1, 0xFFFFFFFF, "", "Windows XP  Build: 4294967295"},
        {"unknown platform", 3, 5, 1, 2600, "", "Unknown Operating System"},
        {"FailedQueryLeavesOnlyTheLabel", 2, 5, 1, 2600, "", nullptr},
        {"ServicePackTextFillingItsWholeFieldIsNotReadPastIt", 2, 5, 1, 2600, fullField, fullFieldLine.c_str()},
    };
    {
        SystemCallOverride<decltype(g_SystemCalls.GetVersionExA)> fake(g_SystemCalls.GetVersionExA, FakeGetVersionExA);
        // 32-bit Windows: this 32-bit program does not run under WOW64.
        const Wow64Seam wow64(Wow64Seam::NOT_WOW64);
        for (const OsCase& c : kCases)
        {
            SCOPED_TRACE(c.pszName);
            g_pCase = &c;
            EXPECT_EQ(std::string(GetOsVersionText()),
                      Text::kOs + std::string(c.pszExpected != nullptr ? c.pszExpected : ""));
        }
    }
    // TheTestPrefixReportsWindowsXp: the real query, in the XP prefix the tests run in.
    EXPECT_EQ(std::string(GetOsVersionText()), Text::kOs + std::string("Windows XP Service Pack 3 Build: 2600"));
}

// " (64-bit)" after the names since Vista on 64-bit Windows: the 32-bit
// program asks IsWow64Process, the 64-bit one (this test built for x86-64)
// knows. The names up to Server 2003 stay as they were.
TEST(GetOsVersionText, SixtyFourBitWindowsFromEitherProgram)
{
    const bool b64BitProgram = sizeof(void*) == 8;
    const std::string ten = "Windows 10  Build: 19045";
    const std::string ten64 = ten + " (64-bit)";
    const OsCase kTen = {"10", 2, 10, 0, 19045, "", ten64.c_str()};
    const OsCase k2003 = {"2003", 2, 5, 2, 3790, "Service Pack 2", ""};
    const std::string server2003 = "Windows Server 2003 Service Pack 2 Build: 3790";
    const struct
    {
        const char* pszName;
        Wow64Seam::Kind wow64;
        const OsCase& version;
        std::string expected32; // from the 32-bit program
        std::string expected64; // from the 64-bit program
    } kRows[] = {
        {"under WOW64", Wow64Seam::WOW64, kTen, ten64, ten64},
        {"not under WOW64", Wow64Seam::NOT_WOW64, kTen, ten, ten64},
        {"IsWow64Process fails", Wow64Seam::ISWOW64PROCESS_FAILS, kTen, ten, ten64},
        // The function is absent (XP before SP2).
        {"no IsWow64Process", Wow64Seam::NO_ISWOW64PROCESS, kTen, ten, ten64},
        {"Server 2003 x64 under WOW64", Wow64Seam::WOW64, k2003, server2003, server2003},
    };
    SystemCallOverride<decltype(g_SystemCalls.GetVersionExA)> fake(g_SystemCalls.GetVersionExA, FakeGetVersionExA);
    for (const auto& row : kRows)
    {
        SCOPED_TRACE(row.pszName);
        g_pCase = &row.version;
        const Wow64Seam wow64(row.wow64);
        EXPECT_EQ(std::string(GetOsVersionText()), Text::kOs + (b64BitProgram ? row.expected64 : row.expected32));
    }
}
