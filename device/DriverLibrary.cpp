// Loading the driver library and binding its entry points by name.
#include "app/UsbInstallationTestDlg.h"

#include <cstring>

DWORD CUsbInstallationTestDlg::LoadDriverLibrary(LPCSTR pszName)
{
    CString heading;
    heading.Format("Load DLL:   %s", pszName);
    WriteLog(heading, LOG_HEADING);

    // A library left loaded by an earlier call; the member is overwritten below.
    if (m_hDriverLib != nullptr)
        ::FreeLibrary(m_hDriverLib);

    // A bare file name, as the device table gives it, is the installed library
    // in the system directory: a copy beside the program or in the current
    // directory must never be tested, and run, in its place. A name with a
    // folder is loaded from there.
    const bool bBareName = std::strpbrk(pszName, "\\/:") == nullptr;
    m_hDriverLib = bBareName ? LoadSystemLibrary(pszName) : g_SystemCalls.LoadLibraryExA(pszName, nullptr, 0);
    if (m_hDriverLib == nullptr)
    {
        // A failed load that leaves no reason must not pass as a loaded library.
        const DWORD dwError = LastErrorOr(ERROR_GEN_FAILURE);
        WriteResult({dwError, "Error", LOG_RESULT_ERROR});
        m_DriverEntryPoints = DRIVER_ENTRY_POINTS();
        return dwError;
    }

    // States only that the file was loaded: a missing entry point is reported
    // where it would be called.
    WriteLog("OK", LOG_RESULT_OK);

    const auto bind = [this](auto& pfnSlot, LPCSTR pszFunction) {
        pfnSlot = reinterpret_cast<std::remove_reference_t<decltype(pfnSlot)>>(
            reinterpret_cast<void*>(::GetProcAddress(m_hDriverLib, pszFunction)));
    };
    bind(m_DriverEntryPoints.FT_ListDevices, "FT_ListDevices");
    bind(m_DriverEntryPoints.FT_OpenEx, "FT_OpenEx");
    bind(m_DriverEntryPoints.FT_Close, "FT_Close");
    bind(m_DriverEntryPoints.FT_GetQueueStatus, "FT_GetQueueStatus");
    bind(m_DriverEntryPoints.FT_Read, "FT_Read");
    bind(m_DriverEntryPoints.FT_Write, "FT_Write");
    bind(m_DriverEntryPoints.FT_EE_Read, "FT_EE_Read");
    bind(m_DriverEntryPoints.FT_SetEventNotification, "FT_SetEventNotification");
    return 0;
}

int CUsbInstallationTestDlg::FreeDriverLibrary()
{
    WriteLog("Deallocate DLL Memory", LOG_HEADING);
    if (m_hDriverLib == nullptr)
    {
        WriteLog("The DLL has not been loaded yet.", LOG_DETAIL_ALERT);
        WriteLog("Warning", LOG_RESULT_WARNING);
        return 0;
    }
    ::FreeLibrary(m_hDriverLib);
    m_hDriverLib = nullptr;
    WriteLog("OK", LOG_RESULT_OK);
    return 1;
}
