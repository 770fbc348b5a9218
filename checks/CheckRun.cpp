#include "checks/CheckRun.h"

#include "checks/SupportedDevices.h"
#include "device/Communication.h"
#include "device/DriverLibrary.h"

DWORD RunChecks(CCheckRunSteps& steps, CReportWriter& report, const std::atomic<BOOL>& bCancel)
{
    BOOL bFailed = FALSE;
    DWORD dwLastResult = 0;

    if (!bCancel.load())
    {
        report.WriteLog(steps.GetOsVersionText(), LOG_TEXT);
        report.WriteLog(REPORT_SEPARATOR, LOG_TEXT);
    }

    for (UINT nIndex = 0; nIndex < g_DeviceTable.nEntries; ++nIndex)
    {
        if (bCancel.load())
            break;
        dwLastResult = 0;
        const DEVICE_INFO& device = g_DeviceTable.pEntries[nIndex];
        if (device.nVendorId < 0 || device.nProductId < 0)
            continue;
        dwLastResult = steps.CheckCommonRegistry(nIndex);
        if (bCancel.load())
            break;
        if (dwLastResult != 0)
        {
            bFailed = TRUE;
            continue;
        }
        dwLastResult = steps.CheckDeviceRegistry(nIndex);
        if (dwLastResult != 0)
            bFailed = TRUE;
    }

    for (UINT nIndex = 0; nIndex < g_DeviceTable.nEntries; ++nIndex)
    {
        if (bCancel.load())
            break;
        dwLastResult = 0;
        const DEVICE_INFO& device = g_DeviceTable.pEntries[nIndex];
        if (device.pszDriverLibrary == nullptr)
            continue;
        report.WriteLog(REPORT_SEPARATOR, LOG_TEXT);
        dwLastResult = steps.LoadDriverLibrary(device.pszDriverLibrary);
        if (!bCancel.load() && dwLastResult == ERROR_SUCCESS)
            dwLastResult = static_cast<DWORD>(steps.SearchDevices());
        if (!bCancel.load() && dwLastResult == SEARCH_DEVICES_FOUND)
            dwLastResult = steps.CheckCommunication();
        if (steps.FreeDriverLibrary() == DRIVER_LIBRARY_NOT_LOADED || dwLastResult != 0)
            bFailed = TRUE;
    }

    const BOOL bCancelled = bCancel.load();
    const LPCSTR pszSummary = bCancelled || bFailed ? SUMMARY_FINISHED : SUMMARY_SUCCESS;
    report.WriteResult({RESULT_END_OF_RUN, pszSummary, LOG_HEADING});
    return dwLastResult;
}
