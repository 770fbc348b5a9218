// The device-specific registry check: follows every registered instance of
// the device to the driver its installation assigned, and looks for the
// driver file and the installation (INF) file that the driver's keys name.
#include "app/UsbInstallationTestDlg.h"
#include "checks/RegistryAccess.h"
#include "checks/SupportedDevices.h"

namespace
{
const DWORD kSubkeyNameSize = 255; // characters, terminating zero included
const DWORD kDriverValueSize = 255;
const DWORD kFileValueSize = 256;
const char kFileFound[] = "... File was found.";

// Reads a value as text without asking for its type. The buffer holds one byte
// more than the registry may fill, so a value whose data do not end in a zero
// (binary data, a number, a text stored without its terminator) is taken as
// the text of its bytes up to the first zero or to the end of its data, and
// never read past them. 234 when the data exceed cbMax.
LONG ReadTextValue(HKEY hKey, LPCSTR pszValueName, DWORD cbMax, CString& text)
{
    char buffer[kFileValueSize + 1] = {};
    DWORD cbData = cbMax;
    const LONG lResult =
        g_SystemCalls.RegQueryValueExA(hKey, pszValueName, nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &cbData);
    if (lResult != ERROR_SUCCESS)
        return lResult;
    buffer[cbData < cbMax ? cbData : cbMax] = '\0';
    text = buffer;
    return ERROR_SUCCESS;
}
} // namespace

DWORD CUsbInstallationTestDlg::CheckDeviceRegistry(UINT nIndex)
{
    if (nIndex >= g_DeviceTable.nEntries)
    {
        WriteResult({ERROR_INVALID_PARAMETER, "Check device specific registry entries", LOG_HEADING});
        return ERROR_INVALID_PARAMETER;
    }
    const DEVICE_INFO& device = g_DeviceTable.pEntries[nIndex];
    const CString deviceKeyName = FormatDeviceKeyName(device.nVendorId, device.nProductId);
    CString deviceHeading;
    deviceHeading.Format("Check specific registry entries for device:   %s", static_cast<LPCSTR>(deviceKeyName));

    CString systemDirectory;
    CString windowsDirectory;
    DWORD dwError = QuerySystemDirectory(systemDirectory);
    if (dwError == ERROR_SUCCESS)
        dwError = QueryWindowsDirectory(windowsDirectory);
    if (dwError != ERROR_SUCCESS)
    {
        WriteLog(deviceHeading, LOG_HEADING);
        WriteResult({dwError, "Error", LOG_RESULT_ERROR});
        return dwError;
    }

    CString deviceKeyPath;
    deviceKeyPath.Format("%sEnum\\USB\\%s", kControlSetPath, static_cast<LPCSTR>(deviceKeyName));
    CRegKeyHolder deviceKey;
    dwError = static_cast<DWORD>(deviceKey.Open(deviceKeyPath));
    if (dwError != ERROR_SUCCESS)
    {
        WriteLog(deviceHeading, LOG_HEADING);
        WriteResult({dwError, "Error", LOG_RESULT_ERROR});
        return dwError;
    }

    BOOL bInstanceSeen = FALSE;
    CString line;
    for (DWORD dwSubkey = 0;; ++dwSubkey)
    {
        char szInstance[kSubkeyNameSize];
        DWORD cchInstance = kSubkeyNameSize;
        dwError = static_cast<DWORD>(g_SystemCalls.RegEnumKeyExA(deviceKey.Get(), dwSubkey, szInstance, &cchInstance,
                                                                 nullptr, nullptr, nullptr, nullptr));
        if (dwError != ERROR_SUCCESS)
            break;

        line.Format("Check specific registry entries for device:   %s#%s", static_cast<LPCSTR>(deviceKeyName),
                    szInstance);
        WriteLog(line, LOG_HEADING);
        bInstanceSeen = TRUE;
        BOOL bFileMissing = FALSE;

        CString instancePath;
        instancePath.Format("%s\\%s", static_cast<LPCSTR>(deviceKeyPath), szInstance);
        CRegKeyHolder instanceKey;
        LONG lResult = instanceKey.Open(instancePath);
        if (lResult != ERROR_SUCCESS)
        {
            WriteResult({static_cast<DWORD>(lResult), "Error", LOG_RESULT_ERROR});
            continue;
        }
        CString driver;
        lResult = ReadTextValue(instanceKey.Get(), "Driver", kDriverValueSize, driver);
        instanceKey.Close();
        if (lResult != ERROR_SUCCESS)
        {
            WriteResult({static_cast<DWORD>(lResult), "Error", LOG_RESULT_ERROR});
            continue;
        }

        CString classPath;
        classPath.Format("%sControl\\Class\\%s", kControlSetPath, static_cast<LPCSTR>(driver));
        CRegKeyHolder classKey;
        lResult = classKey.Open(classPath);
        if (lResult != ERROR_SUCCESS)
        {
            WriteResult({static_cast<DWORD>(lResult), "Error", LOG_RESULT_ERROR});
            continue;
        }

        CString driverFile;
        lResult = ReadTextValue(classKey.Get(), "NTMPDriver", kFileValueSize, driverFile);
        if (lResult != ERROR_SUCCESS)
        {
            WriteResult({static_cast<DWORD>(lResult), "Error", LOG_RESULT_ERROR});
            continue;
        }
        line.Format("Registered driver file:   %s", static_cast<LPCSTR>(driverFile));
        WriteLog(line, LOG_DETAIL);
        DWORD dwSearch =
            SearchAndReportFile(*this, systemDirectory + "\\Drivers\\" + driverFile, kFileFound, bFileMissing);
        if (dwSearch != ERROR_SUCCESS)
        {
            // The driver file cannot be looked at: that is this instance's
            // result, and the check goes on with the next instance.
            WriteResult({dwSearch, "Error", LOG_RESULT_ERROR});
            continue;
        }

        CString infFile;
        lResult = ReadTextValue(classKey.Get(), "InfPath", kFileValueSize, infFile);
        if (lResult != ERROR_SUCCESS)
        {
            WriteResult({static_cast<DWORD>(lResult), "Error", LOG_RESULT_ERROR});
            continue;
        }
        line.Format("Registered installation file:   %s", static_cast<LPCSTR>(infFile));
        WriteLog(line, LOG_DETAIL);
        dwSearch = SearchAndReportFile(*this, windowsDirectory + "\\inf\\" + infFile, kFileFound, bFileMissing);
        classKey.Close();
        if (dwSearch != ERROR_SUCCESS)
        {
            WriteResult({dwSearch, "Error", LOG_RESULT_ERROR});
            return dwSearch;
        }

        WriteLog(bFileMissing ? "Warning" : "OK", bFileMissing ? LOG_RESULT_WARNING : LOG_RESULT_OK);
    }

    if (dwError == ERROR_NO_MORE_ITEMS)
    {
        if (!bInstanceSeen)
        {
            WriteLog(deviceHeading, LOG_HEADING);
            WriteLog("No device was found.", LOG_DETAIL_ALERT);
            WriteLog("Warning", LOG_RESULT_WARNING);
        }
        return ERROR_SUCCESS;
    }
    WriteLog(deviceHeading, LOG_HEADING);
    WriteResult({dwError, "Error", LOG_RESULT_ERROR});
    return dwError;
}
