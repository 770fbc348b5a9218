// The operating-system line, with the version record supplied through the seam.
#include "checks/OsVersion.h"
#include "support/Fixtures.h"

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
    const char* pszExpected; // the query fails when null: only the label is left
};
const OsCase* g_pCase = nullptr;

BOOL WINAPI FakeGetVersionExA(LPOSVERSIONINFOA pInfo)
{
    if (g_pCase->pszExpected == nullptr || pInfo->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA))
    {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *pInfo = OSVERSIONINFOA();
    pInfo->dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
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
    const std::string fullFieldLine = "Operating System:   Windows XP " + fullField + " Build: 2600";
    const OsCase kCases[] = {
        {"Win32s", 0, 3, 10, 1234, "Win32s", "Operating System:   Windows 3.1"},
        {"95", 1, 4, 0, 950, "", "Operating System:   Windows 95 Build: 950"},
        {"95 B", 1, 4, 0, 0x040003B6, " B", "Operating System:   Windows 95 B Build: 950"},
        {"98 A", 1, 4, 10, 0x040A08AE, " A", "Operating System:   Windows 98 A Build: 2222"},
        {"Me", 1, 4, 90, 0x045A0BB8, "", "Operating System:   Windows Me Build: 3000"},
        {"9x unknown", 1, 4, 20, 1, "x", "Operating System:   Unknown Operating System"},
        {"NT 3.51", 2, 3, 10, 511, "", "Operating System:   Windows NT 3.51  Build: 511"},
        {"NT 3.51 SP5", 2, 3, 50, 807, "Service Pack 5",
         "Operating System:   Windows NT 3.51 Service Pack 5 Build: 807"},
        {"NT 4.0", 2, 4, 0, 1381, "Service Pack 6", "Operating System:   Windows NT 4.0 Service Pack 6 Build: 1381"},
        {"2000", 2, 5, 0, 2195, "Service Pack 4", "Operating System:   Windows 2000 Service Pack 4 Build: 2195"},
        {"XP", 2, 5, 1, 2600, "", "Operating System:   Windows XP  Build: 2600"},
        {"XP SP3", 2, 5, 1, 2600, "Service Pack 3", "Operating System:   Windows XP Service Pack 3 Build: 2600"},
        {"2003", 2, 5, 2, 3790, "Service Pack 2", "Operating System:   Windows Server 2003 Service Pack 2 Build: 3790"},
        {"NT 5.3", 2, 5, 3, 1, "", "Operating System:   Unknown Operating System"},
        {"7", 2, 6, 1, 7601, "Service Pack 1", "Operating System:   Unknown Operating System"},
        {"10", 2, 10, 0, 19045, "", "Operating System:   Unknown Operating System"},
        {"build above 16 bits", 2, 5, 1, 0x00012345, "", "Operating System:   Windows XP  Build: 74565"},
        {"largest build", 2, 5, 1, 0xFFFFFFFF, "", "Operating System:   Windows XP  Build: 4294967295"},
        {"unknown platform", 3, 5, 1, 2600, "", "Operating System:   Unknown Operating System"},
        {"FailedQueryLeavesOnlyTheLabel", 2, 5, 1, 2600, "", nullptr},
        {"ServicePackTextFillingItsWholeFieldIsNotReadPastIt", 2, 5, 1, 2600, fullField, fullFieldLine.c_str()},
    };
    {
        SystemCallOverride<decltype(g_SystemCalls.GetVersionExA)> fake(g_SystemCalls.GetVersionExA, FakeGetVersionExA);
        for (const OsCase& c : kCases)
        {
            SCOPED_TRACE(c.pszName);
            g_pCase = &c;
            EXPECT_EQ(std::string(GetOsVersionText()),
                      c.pszExpected != nullptr ? c.pszExpected : "Operating System:   ");
        }
    }
    // TheTestPrefixReportsWindowsXp: the real query, in the XP prefix the tests run in.
    EXPECT_EQ(std::string(GetOsVersionText()), "Operating System:   Windows XP Service Pack 3 Build: 2600");
}
