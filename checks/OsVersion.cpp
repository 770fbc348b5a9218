// The first line of every report: the running Windows version.
#include "checks/OsVersion.h"

#include "framework/SystemCalls.h"

namespace
{
enum BuildForm
{
    NAME_ONLY, // nothing follows the name
    BUILD_9X,  // service pack directly, then the low 16 bits of the build
    BUILD_NT,  // a blank, the service pack, then the full build
};

const DWORD kAny = 0xFFFFFFFF;

struct OsRow
{
    DWORD dwPlatformId;
    DWORD dwMajor;
    DWORD dwMinor;
    LPCSTR pszName;
    BuildForm form;
};

// First match from the top.
const OsRow kOsTable[] = {
    {VER_PLATFORM_WIN32s, kAny, kAny, "Windows 3.1", NAME_ONLY},
    {VER_PLATFORM_WIN32_WINDOWS, kAny, 0, "Windows 95", BUILD_9X},
    {VER_PLATFORM_WIN32_WINDOWS, kAny, 10, "Windows 98", BUILD_9X},
    {VER_PLATFORM_WIN32_WINDOWS, kAny, 90, "Windows Me", BUILD_9X},
    {VER_PLATFORM_WIN32_WINDOWS, kAny, kAny, "Unknown Operating System", NAME_ONLY},
    {VER_PLATFORM_WIN32_NT, 3, kAny, "Windows NT 3.51", BUILD_NT},
    {VER_PLATFORM_WIN32_NT, 4, kAny, "Windows NT 4.0", BUILD_NT},
    {VER_PLATFORM_WIN32_NT, 5, 0, "Windows 2000", BUILD_NT},
    {VER_PLATFORM_WIN32_NT, 5, 1, "Windows XP", BUILD_NT},
    {VER_PLATFORM_WIN32_NT, 5, 2, "Windows Server 2003", BUILD_NT},
    {kAny, kAny, kAny, "Unknown Operating System", NAME_ONLY},
};

bool Matches(DWORD dwPattern, DWORD dwValue)
{
    return dwPattern == kAny || dwPattern == dwValue;
}
} // namespace

CString GetOsVersionText()
{
    CString line = "Operating System:   ";

    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!g_SystemCalls.GetVersionExA(&version))
        return line;

    for (const OsRow& row : kOsTable)
    {
        if (!Matches(row.dwPlatformId, version.dwPlatformId) || !Matches(row.dwMajor, version.dwMajorVersion) ||
            !Matches(row.dwMinor, version.dwMinorVersion))
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
        else if (row.form == BUILD_NT)
        {
            build.Format(" %s Build: %u", static_cast<LPCSTR>(servicePack),
                         static_cast<unsigned>(version.dwBuildNumber));
            line += build;
        }
        break;
    }
    return line;
}
