// The operating-system line, with the version record supplied through the seam.
#include "support/Fixtures.h"
#include "support/TestDialogHost.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
OSVERSIONINFOA g_fakeVersion;
BOOL g_bVersionQuerySucceeds = TRUE;

BOOL WINAPI FakeGetVersionExA(LPOSVERSIONINFOA pInfo)
{
    if (!g_bVersionQuerySucceeds)
    {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (pInfo->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA))
        return FALSE;
    *pInfo = g_fakeVersion;
    return TRUE;
}

struct OsCase
{
    DWORD dwPlatform;
    DWORD dwMajor;
    DWORD dwMinor;
    DWORD dwBuild;
    const char* pszServicePack;
    const char* pszExpected;
};

const OsCase kCases[] = {
    {0, 3, 10, 1234, "Win32s", "Operating System:   Windows 3.1"},
    {1, 4, 0, 950, "", "Operating System:   Windows 95 Build: 950"},
    {1, 4, 0, 0x040003B6, " B", "Operating System:   Windows 95 B Build: 950"},
    {1, 4, 10, 0x040A08AE, " A", "Operating System:   Windows 98 A Build: 2222"},
    {1, 4, 90, 0x045A0BB8, "", "Operating System:   Windows Me Build: 3000"},
    {1, 4, 20, 1, "x", "Operating System:   Unknown Operating System"},
    {2, 3, 10, 511, "", "Operating System:   Windows NT 3.51  Build: 511"},
    {2, 3, 50, 807, "Service Pack 5", "Operating System:   Windows NT 3.51 Service Pack 5 Build: 807"},
    {2, 4, 0, 1381, "Service Pack 6", "Operating System:   Windows NT 4.0 Service Pack 6 Build: 1381"},
    {2, 5, 0, 2195, "Service Pack 4", "Operating System:   Windows 2000 Service Pack 4 Build: 2195"},
    {2, 5, 1, 2600, "", "Operating System:   Windows XP  Build: 2600"},
    {2, 5, 1, 2600, "Service Pack 3", "Operating System:   Windows XP Service Pack 3 Build: 2600"},
    {2, 5, 2, 3790, "Service Pack 2", "Operating System:   Windows Server 2003 Service Pack 2 Build: 3790"},
    {2, 5, 3, 1, "", "Operating System:   Unknown Operating System"},
    {2, 6, 1, 7601, "Service Pack 1", "Operating System:   Unknown Operating System"},
    {2, 10, 0, 19045, "", "Operating System:   Unknown Operating System"},
    {2, 5, 1, 0x00012345, "", "Operating System:   Windows XP  Build: 74565"},
    {2, 5, 1, 0xFFFFFFFF, "", "Operating System:   Windows XP  Build: 4294967295"},
    {3, 5, 1, 2600, "", "Operating System:   Unknown Operating System"},
};
} // namespace

TEST(GetOsVersionText, EveryRowOfTheVersionTable)
{
    TestDialogHost host;
    SystemCallOverride<decltype(g_SystemCalls.GetVersionExA)> fake(g_SystemCalls.GetVersionExA, FakeGetVersionExA);
    g_bVersionQuerySucceeds = TRUE;
    for (const OsCase& c : kCases)
    {
        g_fakeVersion = OSVERSIONINFOA();
        g_fakeVersion.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        g_fakeVersion.dwPlatformId = c.dwPlatform;
        g_fakeVersion.dwMajorVersion = c.dwMajor;
        g_fakeVersion.dwMinorVersion = c.dwMinor;
        g_fakeVersion.dwBuildNumber = c.dwBuild;
        std::strcpy(g_fakeVersion.szCSDVersion, c.pszServicePack);
        EXPECT_EQ(std::string(host.Dialog().GetOsVersionText()), c.pszExpected)
            << "platform " << c.dwPlatform << ", version " << c.dwMajor << "." << c.dwMinor << ", build " << c.dwBuild
            << ", service pack \"" << c.pszServicePack << "\"";
    }
}

TEST(GetOsVersionText, FailedQueryLeavesOnlyTheLabel)
{
    TestDialogHost host;
    SystemCallOverride<decltype(g_SystemCalls.GetVersionExA)> fake(g_SystemCalls.GetVersionExA, FakeGetVersionExA);
    g_bVersionQuerySucceeds = FALSE;
    EXPECT_EQ(std::string(host.Dialog().GetOsVersionText()), "Operating System:   ");
    g_bVersionQuerySucceeds = TRUE;
}

TEST(GetOsVersionText, ServicePackTextFillingItsWholeFieldIsNotReadPastIt)
{
    TestDialogHost host;
    SystemCallOverride<decltype(g_SystemCalls.GetVersionExA)> fake(g_SystemCalls.GetVersionExA, FakeGetVersionExA);
    g_bVersionQuerySucceeds = TRUE;
    g_fakeVersion = OSVERSIONINFOA();
    g_fakeVersion.dwPlatformId = 2;
    g_fakeVersion.dwMajorVersion = 5;
    g_fakeVersion.dwMinorVersion = 1;
    g_fakeVersion.dwBuildNumber = 2600;
    std::memset(g_fakeVersion.szCSDVersion, 'S', sizeof(g_fakeVersion.szCSDVersion));
    EXPECT_EQ(std::string(host.Dialog().GetOsVersionText()),
              "Operating System:   Windows XP " + std::string(128, 'S') + " Build: 2600");
}

TEST(GetOsVersionText, TheTestPrefixReportsWindowsXp)
{
    TestDialogHost host;
    EXPECT_EQ(std::string(host.Dialog().GetOsVersionText()),
              "Operating System:   Windows XP Service Pack 3 Build: 2600");
}
