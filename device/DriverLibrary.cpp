#include "device/DriverLibrary.h"

#include "framework/Afx.h"
#include "framework/ModuleVersion.h"

#include <cstring>

namespace
{
// "File version:   2.12.36.4", or the reason the library has none, with its
// code and the system's text.
CString FileVersionLine(HMODULE hLibrary)
{
    CString version;
    const DWORD dwError = QueryModuleFileVersion(hLibrary, version);
    if (dwError == ERROR_SUCCESS)
        return CString("File version:   ") + version;
    CString entry;
    FormatErrorEntry(dwError, entry);
    const LPCSTR pszEntry = entry;
    const LPCSTR pszTextBreak = std::strstr(pszEntry, "\n\t");
    if (pszTextBreak == nullptr)
        return CString("File version:   none, ") + entry;
    return CString("File version:   none, ") + CString(pszEntry, static_cast<int>(pszTextBreak - pszEntry)) + ": " +
           (pszTextBreak + 2);
}
} // namespace

CheckResult LoadDriverLibrary(CReportWriter& report, LPCSTR pszName, HMODULE& hDriverLib,
                              DRIVER_ENTRY_POINTS& entryPoints)
{
    CString heading;
    heading.Format("Load DLL:   %s", pszName);
    report.WriteLog(heading, LOG_HEADING);

    // A library left loaded by an earlier call; its handle is overwritten below.
    if (hDriverLib != nullptr)
        ::FreeLibrary(hDriverLib);

    // A bare file name, as the device table gives it, is the installed library
    // in the system directory: a copy beside the program or in the current
    // directory must never be tested, and run, in its place. A name with a
    // folder is loaded from there.
    const bool bBareName = std::strpbrk(pszName, "\\/:") == nullptr;
    hDriverLib = bBareName ? LoadSystemLibrary(pszName) : g_SystemCalls.LoadLibraryExA(pszName, nullptr, 0);
    // A failed load that leaves no reason must not pass as a loaded library.
    // "OK" states only that the file was loaded: a missing entry point is
    // reported where it would be called.
    const CheckResult result =
        hDriverLib != nullptr ? CheckResult::Ok() : CheckResult::Error(LastErrorOr(ERROR_GEN_FAILURE));
    if (hDriverLib != nullptr)
        report.WriteLog(FileVersionLine(hDriverLib), LOG_DETAIL);
    report.WriteResult(result);
    entryPoints = DRIVER_ENTRY_POINTS();
    if (hDriverLib == nullptr)
        return result;

    const auto bind = [&hDriverLib](auto& pfnSlot, LPCSTR pszFunction) {
        pfnSlot = reinterpret_cast<std::remove_reference_t<decltype(pfnSlot)>>(
            reinterpret_cast<void*>(::GetProcAddress(hDriverLib, pszFunction)));
    };
    bind(entryPoints.FT_ListDevices, "FT_ListDevices");
    bind(entryPoints.FT_OpenEx, "FT_OpenEx");
    bind(entryPoints.FT_Close, "FT_Close");
    bind(entryPoints.FT_GetQueueStatus, "FT_GetQueueStatus");
    bind(entryPoints.FT_Read, "FT_Read");
    bind(entryPoints.FT_Write, "FT_Write");
    bind(entryPoints.FT_EE_Read, "FT_EE_Read");
    bind(entryPoints.FT_SetEventNotification, "FT_SetEventNotification");
    return result;
}

CheckResult FreeDriverLibrary(CReportWriter& report, HMODULE& hDriverLib)
{
    report.WriteLog("Deallocate DLL Memory", LOG_HEADING);
    const CheckResult result =
        hDriverLib != nullptr ? CheckResult::Ok() : CheckResult::Warning("The DLL has not been loaded yet.");
    if (hDriverLib != nullptr)
        ::FreeLibrary(hDriverLib);
    hDriverLib = nullptr;
    report.WriteResult(result);
    return result;
}
