#include "report/ReportOrigin.h"

#include "ProgramVersion.h"

#include <cstring>
#include <vector>

namespace
{
// 100-ns intervals, as a FILETIME counts them.
const LONGLONG kIntervalsPerMinute = 60LL * 10000000LL;

LONGLONG ToIntervals(const FILETIME& ft)
{
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

CString ProgramFileName()
{
    // A path may be longer than MAX_PATH.
    std::vector<char> path(32768);
    const DWORD nLength = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (nLength == 0 || nLength >= path.size())
        return sizeof(void*) == 8 ? "UsbInstallationTest64.exe" : "UsbInstallationTest.exe";
    const CString fullPath(path.data(), static_cast<int>(nLength));
    const char* pszName = std::strrchr(fullPath, '\\');
    return pszName != nullptr ? CString(pszName + 1) : fullPath;
}
} // namespace

ReportOrigin CurrentReportOrigin()
{
    ReportOrigin origin = {};
    origin.program = ProgramFileName();
    origin.version = PROGRAM_VERSION_DOTTED;
    origin.nBits = sizeof(void*) * 8;
    // One reading of the clock gives both times, so they never straddle a
    // second or a change of the offset. The offset is the one in force now.
    FILETIME ftUtc;
    FILETIME ftLocal;
    ::GetSystemTimeAsFileTime(&ftUtc);
    if (!::FileTimeToLocalFileTime(&ftUtc, &ftLocal))
        ftLocal = ftUtc;
    ::FileTimeToSystemTime(&ftLocal, &origin.localTime);
    origin.nUtcOffsetMinutes = static_cast<int>((ToIntervals(ftLocal) - ToIntervals(ftUtc)) / kIntervalsPerMinute);
    return origin;
}

CString FormatReportOrigin(const ReportOrigin& origin)
{
    const SYSTEMTIME& t = origin.localTime;
    const int nOffset = origin.nUtcOffsetMinutes < 0 ? -origin.nUtcOffsetMinutes : origin.nUtcOffsetMinutes;
    CString line;
    line.Format("%s %s (%u-bit), %04u-%02u-%02u %02u:%02u:%02u %c%02d:%02d", static_cast<LPCSTR>(origin.program),
                static_cast<LPCSTR>(origin.version), origin.nBits, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond, origin.nUtcOffsetMinutes < 0 ? '-' : '+', nOffset / 60, nOffset % 60);
    return line;
}
