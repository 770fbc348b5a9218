// The operating-system line, with the version record and the registry's
// release values supplied through the seam.
#include "checks/OsVersion.h"
#include "support/ExpectedReport.h"
#include "support/SeamFaults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{
// A value of HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion.
struct RegValue
{
    const char* pszName;
    DWORD dwType;
    std::string bytes;
};

std::string Dword(DWORD dwValue)
{
    return std::string(reinterpret_cast<const char*>(&dwValue), sizeof(dwValue));
}

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
    std::vector<RegValue> registry = {};
};
const OsCase* g_pCase = nullptr;

// The case's values are there only in the 64-bit view, as they may be for
// this 32-bit program under WOW64, and only Windows 10 and later are asked.
LONG WINAPI FakeRegOpenKeyExA(HKEY, LPCSTR pszSubKey, DWORD, REGSAM samDesired, PHKEY phKey)
{
    EXPECT_GE(g_pCase->dwMajor, 10u) << "the registry asked on an older Windows";
    if ((samDesired & KEY_WOW64_64KEY) == 0 ||
        std::strcmp(pszSubKey, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion") != 0)
        return ERROR_FILE_NOT_FOUND;
    // A real key, which the check closes as any.
    return ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, phKey);
}

LONG WINAPI FakeRegQueryValueExA(HKEY, LPCSTR pszName, LPDWORD, LPDWORD pdwType, LPBYTE pData, LPDWORD pcbData)
{
    for (const RegValue& value : g_pCase->registry)
    {
        if (std::strcmp(value.pszName, pszName) != 0)
            continue;
        *pdwType = value.dwType;
        if (value.bytes.size() > *pcbData)
            return ERROR_MORE_DATA;
        *pcbData = static_cast<DWORD>(value.bytes.size());
        std::memcpy(pData, value.bytes.data(), value.bytes.size());
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

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

USHORT g_nNativeMachine = IMAGE_FILE_MACHINE_UNKNOWN;

BOOL WINAPI FakeIsWow64Process2(HANDLE, USHORT* pProcessMachine, USHORT* pNativeMachine)
{
    *pProcessMachine = IMAGE_FILE_MACHINE_UNKNOWN;
    *pNativeMachine = g_nNativeMachine;
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
        // Without release values in the registry, the line is the one of before.
        {"10", 2, 10, 0, 19045, "", "Windows 10  Build: 19045"},
        {"10 at its last build", 2, 10, 0, 21999, "", "Windows 10  Build: 21999"},
        {"11 from its first build", 2, 10, 0, 22000, "", "Windows 11  Build: 22000"},
        {"Server 2016", 2, 10, 0, 14393, "", "Windows Server 2016  Build: 14393", VER_NT_SERVER},
        {"2019 17763", 2, 10, 0, 17763, "", "Windows Server 2019  Build: 17763", VER_NT_SERVER},
        {"2022 20348", 2, 10, 0, 20348, "", "Windows Server 2022  Build: 20348", VER_NT_SERVER},
        {"2025 26100", 2, 10, 0, 26100, "", "Windows Server 2025  Build: 26100", VER_NT_DOMAIN_CONTROLLER},
        // The feature release in the service pack's place, the update level
        // after the build; ReleaseId where DisplayVersion is not (before
        // 20H2); no value of another type or form.
        // clang-format off
        {"11 24H2", 2, 10, 0, 26100, "", "Windows 11 24H2 Build: 26100.2605", VER_NT_WORKSTATION,
         {{"ReleaseId", REG_SZ, "2009"}, {"DisplayVersion", REG_SZ, "24H2"}, {"UBR", REG_DWORD, Dword(2605)}}},
        {"10 1909", 2, 10, 0, 18363, "", "Windows 10 1909 Build: 18363", VER_NT_WORKSTATION,
         {{"ReleaseId", REG_SZ, "1909"}}},
        {"odd types and forms", 2, 10, 0, 19045, "", "Windows 10  Build: 19045", VER_NT_WORKSTATION,
         {{"DisplayVersion", REG_BINARY, "22H2"}, {"ReleaseId", REG_SZ, "22H2\r\n"}, {"UBR", REG_SZ, "5247"}}},
        // No long-term server between them, but one named by its feature release.
        {"semi-annual 1903", 2, 10, 0, 18362, "", "Windows Server, version 1903 Build: 18362.1256",
         VER_NT_SERVER, {{"ReleaseId", REG_SZ, "1903"}, {"UBR", REG_DWORD, Dword(1256)}}},
        {"semi-annual without its release", 2, 10, 0, 17134, "", "Windows Server  Build: 17134",
         VER_NT_SERVER},
        // clang-format on
        {"11.0", 2, 11, 0, 30000, "", "Unknown Operating System"},
        {"build above 16 bits", 2, 5, 1, 0x00012345, "", "Windows XP  Build: 74565"},
        {"largest build", 2, 5, 1, 0xFFFFFFFF, "", "Windows XP  Build: 4294967295"},
        {"unknown platform", 3, 5, 1, 2600, "", "Unknown Operating System"},
        {"FailedQueryLeavesOnlyTheLabel", 2, 5, 1, 2600, "", nullptr},
        {"ServicePackTextFillingItsWholeFieldIsNotReadPastIt", 2, 5, 1, 2600, fullField, fullFieldLine.c_str()},
    };
    {
        SystemCallOverride<decltype(g_SystemCalls.GetVersionExA)> fake(g_SystemCalls.GetVersionExA, FakeGetVersionExA);
        SystemCallOverride<decltype(g_SystemCalls.IsWow64Process2)> noWow64Process2(g_SystemCalls.IsWow64Process2,
                                                                                    nullptr);
        SystemCallOverride<decltype(g_SystemCalls.RegOpenKeyExA)> open(g_SystemCalls.RegOpenKeyExA, FakeRegOpenKeyExA);
        SystemCallOverride<decltype(g_SystemCalls.RegQueryValueExA)> query(g_SystemCalls.RegQueryValueExA,
                                                                           FakeRegQueryValueExA);
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

// " (64-bit)" since Vista and Server 2003 on 64-bit Windows, which the 32-bit program asks
// IsWow64Process and the 64-bit one (this test built for x86-64) knows, with ARM64 where
// IsWow64Process2 tells it. The 32-bit names up to Server 2003 stay as they were.
TEST(GetOsVersionText, SixtyFourBitWindowsFromEitherProgram)
{
    const bool b64BitProgram = sizeof(void*) == 8;
    const std::string ten = "Windows 10  Build: 19045";
    const std::string ten64 = ten + " (64-bit)";
    const OsCase kTen = {"10", 2, 10, 0, 19045, "", ten64.c_str()};
    const OsCase k2003 = {"2003", 2, 5, 2, 3790, "Service Pack 2", "", VER_NT_SERVER};
    const OsCase kXp64 = {"XP x64", 2, 5, 2, 3790, "Service Pack 2", ""};
    const std::string server2003 = "Windows Server 2003 Service Pack 2 Build: 3790";
    const std::string xp64 = "Windows XP Professional x64 Edition Service Pack 2 Build: 3790 (64-bit)";
    const struct
    {
        const char* pszName;
        Wow64Seam::Kind wow64;
        const OsCase& version;
        std::string expected32;    // from the 32-bit program
        std::string expected64;    // from the 64-bit program
        USHORT nNativeMachine = 0; // IsWow64Process2's answer; 0: the function is absent
    } kRows[] = {
        {"under WOW64", Wow64Seam::WOW64, kTen, ten64, ten64},
        {"not under WOW64", Wow64Seam::NOT_WOW64, kTen, ten, ten64},
        {"IsWow64Process fails", Wow64Seam::ISWOW64PROCESS_FAILS, kTen, ten, ten64},
        {"no IsWow64Process", Wow64Seam::NO_ISWOW64PROCESS, kTen, ten, ten64},
        {"x64 told by IsWow64Process2", Wow64Seam::WOW64, kTen, ten64, ten64, IMAGE_FILE_MACHINE_AMD64},
        {"ARM64", Wow64Seam::WOW64, kTen, ten + " (64-bit, ARM64)", ten + " (64-bit, ARM64)", IMAGE_FILE_MACHINE_ARM64},
        {"Server 2003 x64 under WOW64", Wow64Seam::WOW64, k2003, server2003 + " (64-bit)", server2003 + " (64-bit)"},
        {"XP x64 under WOW64", Wow64Seam::WOW64, kXp64, xp64, xp64},
        // A 32-bit Windows of that version is a server, whatever it says.
        {"5.2 workstation, 32-bit", Wow64Seam::NOT_WOW64, kXp64, server2003, xp64},
    };
    SystemCallOverride<decltype(g_SystemCalls.GetVersionExA)> fake(g_SystemCalls.GetVersionExA, FakeGetVersionExA);
    SystemCallOverride<decltype(g_SystemCalls.RegOpenKeyExA)> open(g_SystemCalls.RegOpenKeyExA, FakeRegOpenKeyExA);
    for (const auto& row : kRows)
    {
        SCOPED_TRACE(row.pszName);
        g_pCase = &row.version;
        g_nNativeMachine = row.nNativeMachine;
        const Wow64Seam wow64(row.wow64);
        SystemCallOverride<decltype(g_SystemCalls.IsWow64Process2)> wow64Process2(
            g_SystemCalls.IsWow64Process2, row.nNativeMachine != 0 ? FakeIsWow64Process2 : nullptr);
        EXPECT_EQ(std::string(GetOsVersionText()), Text::kOs + (b64BitProgram ? row.expected64 : row.expected32));
    }
}
