// The first line of every report: the running Windows version.
#include "checks/OsVersion.h"

#include "framework/SystemCalls.h"
#include "framework/SystemDirectory.h"

namespace
{
enum BuildForm
{
    NAME_ONLY,   // nothing follows the name
    BUILD_9X,    // service pack directly, then the low 16 bits of the build
    BUILD_NT,    // a blank, the service pack, then the full build
    BUILD_NT_64, // as BUILD_NT, then " (64-bit)" on 64-bit Windows
};

const DWORD kAny = 0xFFFFFFFF;

// Which kind of system a row names: wProductType tells a workstation
// (VER_NT_WORKSTATION) from a server or domain controller.
enum ProductKind
{
    ANY_PRODUCT,
    WORKSTATION,
    SERVER,
};

struct OsRow
{
    DWORD dwPlatformId;
    DWORD dwMajor;
    DWORD dwMinor;
    ProductKind product;
    DWORD dwMinBuild; // the row's first build; 0 for any
    LPCSTR pszName;
    BuildForm form;
};

// First match from the top; within one version, the later builds first.
const OsRow kOsTable[] = {
    {VER_PLATFORM_WIN32s, kAny, kAny, ANY_PRODUCT, 0, "Windows 3.1", NAME_ONLY},
    {VER_PLATFORM_WIN32_WINDOWS, kAny, 0, ANY_PRODUCT, 0, "Windows 95", BUILD_9X},
    {VER_PLATFORM_WIN32_WINDOWS, kAny, 10, ANY_PRODUCT, 0, "Windows 98", BUILD_9X},
    {VER_PLATFORM_WIN32_WINDOWS, kAny, 90, ANY_PRODUCT, 0, "Windows Me", BUILD_9X},
    {VER_PLATFORM_WIN32_WINDOWS, kAny, kAny, ANY_PRODUCT, 0, "Unknown Operating System", NAME_ONLY},
    {VER_PLATFORM_WIN32_NT, 3, kAny, ANY_PRODUCT, 0, "Windows NT 3.51", BUILD_NT},
    {VER_PLATFORM_WIN32_NT, 4, kAny, ANY_PRODUCT, 0, "Windows NT 4.0", BUILD_NT},
    {VER_PLATFORM_WIN32_NT, 5, 0, ANY_PRODUCT, 0, "Windows 2000", BUILD_NT},
    {VER_PLATFORM_WIN32_NT, 5, 1, ANY_PRODUCT, 0, "Windows XP", BUILD_NT},
    {VER_PLATFORM_WIN32_NT, 5, 2, ANY_PRODUCT, 0, "Windows Server 2003", BUILD_NT},
    {VER_PLATFORM_WIN32_NT, 6, 0, WORKSTATION, 0, "Windows Vista", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 6, 0, SERVER, 0, "Windows Server 2008", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 6, 1, WORKSTATION, 0, "Windows 7", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 6, 1, SERVER, 0, "Windows Server 2008 R2", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 6, 2, WORKSTATION, 0, "Windows 8", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 6, 2, SERVER, 0, "Windows Server 2012", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 6, 3, WORKSTATION, 0, "Windows 8.1", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 6, 3, SERVER, 0, "Windows Server 2012 R2", BUILD_NT_64},
    // 11 and the servers since 2016 still say 10.0; the build tells them apart.
    {VER_PLATFORM_WIN32_NT, 10, 0, WORKSTATION, 22000, "Windows 11", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 10, 0, WORKSTATION, 0, "Windows 10", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 10, 0, SERVER, 26100, "Windows Server 2025", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 10, 0, SERVER, 20348, "Windows Server 2022", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 10, 0, SERVER, 17763, "Windows Server 2019", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 10, 0, SERVER, 0, "Windows Server 2016", BUILD_NT_64},
    {kAny, kAny, kAny, ANY_PRODUCT, 0, "Unknown Operating System", NAME_ONLY},
};

bool Matches(DWORD dwPattern, DWORD dwValue)
{
    return dwPattern == kAny || dwPattern == dwValue;
}

bool MatchesProduct(ProductKind product, BYTE wProductType)
{
    if (product == ANY_PRODUCT)
        return true;
    return (wProductType == VER_NT_WORKSTATION) == (product == WORKSTATION);
}

// The 64-bit program runs only on 64-bit Windows; the 32-bit one is on
// 64-bit Windows when it runs under WOW64.
bool IsWindows64Bit()
{
    if (sizeof(void*) == 8)
        return true;
    BOOL bWow64 = FALSE;
    return QueryWow64(bWow64) == ERROR_SUCCESS && bWow64;
}
} // namespace

CString GetOsVersionText()
{
    CString line = "Operating System:   ";

    // The extended record carries the product type; XP and later take it.
    OSVERSIONINFOEXA version = {};
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    if (!g_SystemCalls.GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&version)))
        return line;

    for (const OsRow& row : kOsTable)
    {
        if (!Matches(row.dwPlatformId, version.dwPlatformId) || !Matches(row.dwMajor, version.dwMajorVersion) ||
            !Matches(row.dwMinor, version.dwMinorVersion) || !MatchesProduct(row.product, version.wProductType) ||
            version.dwBuildNumber < row.dwMinBuild)
            continue;

        line += row.pszName;
        CString build;
        // The record's text is at most 128 characters and need not end in a zero.
        const CString servicePack(version.szCSDVersion,
                                  static_cast<int>(strnlen(version.szCSDVersion, sizeof(version.szCSDVersion))));
        if (row.form == BUILD_9X)
        {
            build.Format("%s Build: %u", static_cast<LPCSTR>(servicePack), LOWORD(version.dwBuildNumber));
            line += build;
        }
        else if (row.form == BUILD_NT || row.form == BUILD_NT_64)
        {
            build.Format(" %s Build: %u", static_cast<LPCSTR>(servicePack),
                         static_cast<unsigned>(version.dwBuildNumber));
            line += build;
            if (row.form == BUILD_NT_64 && IsWindows64Bit())
                line += " (64-bit)";
        }
        break;
    }
    return line;
}
