// The first line of every report: the running Windows version.
#include "checks/OsVersion.h"

#include "checks/RegistryAccess.h"
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
    // As BUILD_NT_64, with the feature release in the service pack's place
    // where there is one, and the update level after the build: "Windows 11
    // 24H2 Build: 26100.2605 (64-bit)".
    BUILD_RELEASE,
    // As BUILD_RELEASE, but the feature release names the system:
    // "Windows Server, version 1809 Build: 17763.107".
    NAMED_BY_RELEASE,
};

const DWORD kAny = 0xFFFFFFFF;

// Which kind of system a row names: wProductType tells a workstation
// (VER_NT_WORKSTATION) from a server or domain controller.
enum ProductKind
{
    ANY_PRODUCT,
    WORKSTATION,
    WORKSTATION_64, // a workstation on 64-bit Windows
    SERVER,
};

struct OsRow
{
    DWORD dwPlatformId;
    DWORD dwMajor;
    DWORD dwMinor;
    ProductKind product;
    DWORD dwMinBuild; // the row's first build; 0 for any
    DWORD dwMaxBuild; // its last; kAny for any
    LPCSTR pszName;
    BuildForm form;
};

// First match from the top; within one version, the later builds first.
const OsRow kOsTable[] = {
    {VER_PLATFORM_WIN32s, kAny, kAny, ANY_PRODUCT, 0, kAny, "Windows 3.1", NAME_ONLY},
    {VER_PLATFORM_WIN32_WINDOWS, kAny, 0, ANY_PRODUCT, 0, kAny, "Windows 95", BUILD_9X},
    {VER_PLATFORM_WIN32_WINDOWS, kAny, 10, ANY_PRODUCT, 0, kAny, "Windows 98", BUILD_9X},
    {VER_PLATFORM_WIN32_WINDOWS, kAny, 90, ANY_PRODUCT, 0, kAny, "Windows Me", BUILD_9X},
    {VER_PLATFORM_WIN32_WINDOWS, kAny, kAny, ANY_PRODUCT, 0, kAny, "Unknown Operating System", NAME_ONLY},
    {VER_PLATFORM_WIN32_NT, 3, kAny, ANY_PRODUCT, 0, kAny, "Windows NT 3.51", BUILD_NT},
    {VER_PLATFORM_WIN32_NT, 4, kAny, ANY_PRODUCT, 0, kAny, "Windows NT 4.0", BUILD_NT},
    {VER_PLATFORM_WIN32_NT, 5, 0, ANY_PRODUCT, 0, kAny, "Windows 2000", BUILD_NT},
    {VER_PLATFORM_WIN32_NT, 5, 1, ANY_PRODUCT, 0, kAny, "Windows XP", BUILD_NT},
    // XP x64 shares its version with Server 2003, which came as 32- and 64-bit.
    {VER_PLATFORM_WIN32_NT, 5, 2, WORKSTATION_64, 0, kAny, "Windows XP Professional x64 Edition", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 5, 2, ANY_PRODUCT, 0, kAny, "Windows Server 2003", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 6, 0, WORKSTATION, 0, kAny, "Windows Vista", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 6, 0, SERVER, 0, kAny, "Windows Server 2008", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 6, 1, WORKSTATION, 0, kAny, "Windows 7", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 6, 1, SERVER, 0, kAny, "Windows Server 2008 R2", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 6, 2, WORKSTATION, 0, kAny, "Windows 8", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 6, 2, SERVER, 0, kAny, "Windows Server 2012", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 6, 3, WORKSTATION, 0, kAny, "Windows 8.1", BUILD_NT_64},
    {VER_PLATFORM_WIN32_NT, 6, 3, SERVER, 0, kAny, "Windows Server 2012 R2", BUILD_NT_64},
    // 11 and the servers since 2016 still say 10.0; the build tells them apart.
    {VER_PLATFORM_WIN32_NT, 10, 0, WORKSTATION, 22000, kAny, "Windows 11", BUILD_RELEASE},
    {VER_PLATFORM_WIN32_NT, 10, 0, WORKSTATION, 0, kAny, "Windows 10", BUILD_RELEASE},
    // The long-term servers each have a build of their own. Every other
    // server build (the semi-annual channel's 1709 to 20H2, the annual
    // channel's 23H2, previews, and what comes after 2025) is no release of
    // the long-term server before it, and is named by its feature release.
    {VER_PLATFORM_WIN32_NT, 10, 0, SERVER, 14393, 14393, "Windows Server 2016", BUILD_RELEASE},
    {VER_PLATFORM_WIN32_NT, 10, 0, SERVER, 17763, 17763, "Windows Server 2019", BUILD_RELEASE},
    {VER_PLATFORM_WIN32_NT, 10, 0, SERVER, 20348, 20348, "Windows Server 2022", BUILD_RELEASE},
    {VER_PLATFORM_WIN32_NT, 10, 0, SERVER, 26100, 26100, "Windows Server 2025", BUILD_RELEASE},
    {VER_PLATFORM_WIN32_NT, 10, 0, SERVER, 0, kAny, "Windows Server", NAMED_BY_RELEASE},
    {kAny, kAny, kAny, ANY_PRODUCT, 0, kAny, "Unknown Operating System", NAME_ONLY},
};

const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
// Longer than any release name ("22H2", "1809"); a longer value is none.
const DWORD kReleaseSize = 16;

bool Matches(DWORD dwPattern, DWORD dwValue)
{
    return dwPattern == kAny || dwPattern == dwValue;
}

bool MatchesProduct(ProductKind product, const OsVersionInfo& info)
{
    const bool bWorkstation = info.version.wProductType == VER_NT_WORKSTATION;
    switch (product)
    {
    case WORKSTATION:
        return bWorkstation;
    case WORKSTATION_64:
        return bWorkstation && info.bWindows64;
    case SERVER:
        return !bWorkstation;
    default:
        return true;
    }
}

// The 64-bit program runs only on 64-bit Windows; the 32-bit one is on
// 64-bit Windows when it runs under WOW64.
BOOL IsWindows64Bit()
{
    if (sizeof(void*) == 8)
        return TRUE;
    BOOL bWow64 = FALSE;
    return QueryWow64(bWow64) == ERROR_SUCCESS && bWow64;
}

// A release name as Windows writes it: a few letters and digits. Any other
// type or text (empty, too long, with blanks or control characters) is none.
BOOL ReadReleaseName(HKEY hKey, LPCSTR pszName, CString& release)
{
    char szValue[kReleaseSize + 1] = {};
    DWORD dwType = REG_NONE;
    DWORD cbValue = kReleaseSize;
    if (g_SystemCalls.RegQueryValueExA(hKey, pszName, nullptr, &dwType, reinterpret_cast<LPBYTE>(szValue), &cbValue) !=
            ERROR_SUCCESS ||
        dwType != REG_SZ)
        return FALSE;
    szValue[cbValue] = '\0';
    if (szValue[0] == '\0')
        return FALSE;
    for (const char* pch = szValue; *pch != '\0'; ++pch)
    {
        if (!(*pch >= '0' && *pch <= '9') && !(*pch >= 'A' && *pch <= 'Z') && !(*pch >= 'a' && *pch <= 'z'))
            return FALSE;
    }
    release = szValue;
    return TRUE;
}

// In the 64-bit view: this 32-bit program under WOW64 would read a copy of
// the key of its own, which need not hold the values.
void ReadReleaseAndUpdateLevel(OsVersionInfo& info)
{
    CRegKeyHolder key;
    if (key.Open(kCurrentVersionKey, KEY_WOW64_64KEY) != ERROR_SUCCESS)
        return;
    if (!ReadReleaseName(key.Get(), "DisplayVersion", info.release))
        ReadReleaseName(key.Get(), "ReleaseId", info.release);
    DWORD dwType = REG_NONE;
    DWORD dwValue = 0;
    DWORD cbValue = sizeof(dwValue);
    if (g_SystemCalls.RegQueryValueExA(key.Get(), "UBR", nullptr, &dwType, reinterpret_cast<LPBYTE>(&dwValue),
                                       &cbValue) == ERROR_SUCCESS &&
        dwType == REG_DWORD && cbValue == sizeof(dwValue))
    {
        info.bHasUpdateLevel = TRUE;
        info.dwUpdateLevel = dwValue;
    }
}
} // namespace

OsVersionInfo QueryOsVersion()
{
    OsVersionInfo info;
    // The extended record carries the product type; XP and later take it.
    info.version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    if (!g_SystemCalls.GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info.version)))
        return info;
    info.bKnown = TRUE;
    info.bWindows64 = IsWindows64Bit();
    USHORT nProcessMachine = IMAGE_FILE_MACHINE_UNKNOWN;
    USHORT nNativeMachine = IMAGE_FILE_MACHINE_UNKNOWN;
    if (g_SystemCalls.IsWow64Process2 != nullptr &&
        g_SystemCalls.IsWow64Process2(::GetCurrentProcess(), &nProcessMachine, &nNativeMachine))
        info.nNativeMachine = nNativeMachine;
    // Only Windows 10 and later have them; earlier ones are not asked.
    if (info.version.dwPlatformId == VER_PLATFORM_WIN32_NT && info.version.dwMajorVersion >= 10)
        ReadReleaseAndUpdateLevel(info);
    return info;
}

CString FormatOsVersionLine(const OsVersionInfo& info)
{
    CString line = "Operating System:   ";
    if (!info.bKnown)
        return line;

    const OSVERSIONINFOEXA& version = info.version;
    for (const OsRow& row : kOsTable)
    {
        if (!Matches(row.dwPlatformId, version.dwPlatformId) || !Matches(row.dwMajor, version.dwMajorVersion) ||
            !Matches(row.dwMinor, version.dwMinorVersion) || !MatchesProduct(row.product, info) ||
            version.dwBuildNumber < row.dwMinBuild || version.dwBuildNumber > row.dwMaxBuild)
            continue;

        line += row.pszName;
        if (row.form == NAME_ONLY)
            break;
        // The record's text is at most 128 characters and need not end in a zero.
        CString servicePack(version.szCSDVersion,
                            static_cast<int>(strnlen(version.szCSDVersion, sizeof(version.szCSDVersion))));
        CString build;
        if (row.form == BUILD_9X)
        {
            build.Format("%s Build: %u", static_cast<LPCSTR>(servicePack), LOWORD(version.dwBuildNumber));
            line += build;
            break;
        }
        const BOOL bRelease = row.form >= BUILD_RELEASE && !info.release.IsEmpty();
        if (bRelease)
            servicePack = info.release;
        build.Format(row.form == NAMED_BY_RELEASE && bRelease ? ", version %s Build: %u" : " %s Build: %u",
                     static_cast<LPCSTR>(servicePack), static_cast<unsigned>(version.dwBuildNumber));
        line += build;
        if (row.form >= BUILD_RELEASE && info.bHasUpdateLevel)
        {
            build.Format(".%u", static_cast<unsigned>(info.dwUpdateLevel));
            line += build;
        }
        if (row.form != BUILD_NT && info.bWindows64)
            line += info.nNativeMachine == IMAGE_FILE_MACHINE_ARM64 ? " (64-bit, ARM64)" : " (64-bit)";
        break;
    }
    return line;
}

CString GetOsVersionText()
{
    return FormatOsVersionLine(QueryOsVersion());
}
