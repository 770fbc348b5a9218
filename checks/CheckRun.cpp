// The check run: the body of the check thread. It fixes the order of the
// checks, where a cancel is honoured and when a run counts as successful;
// every line of the report comes from the checks it calls.
#include "app/UsbInstallationTestDlg.h"
#include "checks/SupportedDevices.h"

DWORD WINAPI CheckThreadProc(LPVOID pParam)
{
    CObject* pObject = static_cast<CObject*>(pParam);
    if (pObject == nullptr || !pObject->IsKindOf(RUNTIME_CLASS(CUsbInstallationTestDlg)))
        return ERROR_INVALID_PARAMETER;
    CUsbInstallationTestDlg& dlg = *static_cast<CUsbInstallationTestDlg*>(pObject);

    BOOL bFailed = FALSE;
    DWORD dwLastResult = 0;

    if (!dlg.m_bCancel.load())
    {
        dlg.WriteLog(dlg.GetOsVersionText(), LOG_TEXT);
        dlg.WriteLog(REPORT_SEPARATOR, LOG_TEXT);
    }

    for (UINT nIndex = 0; nIndex < g_DeviceTable.nEntries; ++nIndex)
    {
        if (dlg.m_bCancel.load())
            break;
        dwLastResult = 0;
        const DEVICE_INFO& device = g_DeviceTable.pEntries[nIndex];
        if (device.nVendorId < 0 || device.nProductId < 0)
            continue;
        dwLastResult = dlg.CheckCommonRegistry(nIndex);
        if (dlg.m_bCancel.load())
            break;
        if (dwLastResult != 0)
        {
            bFailed = TRUE;
            continue;
        }
        dwLastResult = dlg.CheckDeviceRegistry(nIndex);
        if (dwLastResult != 0)
            bFailed = TRUE;
    }

    for (UINT nIndex = 0; nIndex < g_DeviceTable.nEntries; ++nIndex)
    {
        if (dlg.m_bCancel.load())
            break;
        dwLastResult = 0;
        const DEVICE_INFO& device = g_DeviceTable.pEntries[nIndex];
        if (device.pszDriverLibrary == nullptr)
            continue;
        dlg.WriteLog(REPORT_SEPARATOR, LOG_TEXT);
        dwLastResult = dlg.LoadDriverLibrary(device.pszDriverLibrary);
        if (!dlg.m_bCancel.load() && dwLastResult == 0)
            dwLastResult = static_cast<DWORD>(dlg.SearchDevices());
        if (!dlg.m_bCancel.load() && dwLastResult == 0)
            dwLastResult = dlg.CheckCommunication();
        if (dlg.FreeDriverLibrary() == 0 || dwLastResult != 0)
            bFailed = TRUE;
    }

    const BOOL bCancelled = dlg.m_bCancel.load();
    const LPCSTR pszSummary = bCancelled || bFailed ? SUMMARY_FINISHED : SUMMARY_SUCCESS;
    dlg.WriteResult({RESULT_END_OF_RUN, pszSummary, LOG_HEADING});
    return dwLastResult;
}
