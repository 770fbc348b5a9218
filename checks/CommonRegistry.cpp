// The common registry check: is the device registered below the USB
// enumeration key, how many instances does it have, and did the installation
// put the driver library, the uninstaller and its INI file into the system
// directory?
#include "app/UsbInstallationTestDlg.h"
#include "checks/RegistryAccess.h"
#include "checks/SupportedDevices.h"

namespace
{
const DWORD kSubkeyNameSize = 255; // characters, terminating zero included
} // namespace

DWORD CUsbInstallationTestDlg::CheckCommonRegistry(UINT nIndex)
{
    if (nIndex >= g_DeviceTable.nEntries)
    {
        WriteResult({ERROR_INVALID_PARAMETER, "Check common registry entries", LOG_HEADING});
        return ERROR_INVALID_PARAMETER;
    }
    const DEVICE_INFO& device = g_DeviceTable.pEntries[nIndex];
    const CString deviceKeyName = FormatDeviceKeyName(device.nVendorId, device.nProductId);

    CString line;
    line.Format("Check common registry entries for devices:   %s", static_cast<LPCSTR>(deviceKeyName));
    WriteLog(line, LOG_HEADING);

    DWORD dwPending = ERROR_SUCCESS;
    // A failed count query is an error of the check, but the files are still
    // searched and reported; the count's code decides the result only when the
    // searches themselves went through.
    DWORD dwCountError = ERROR_SUCCESS;
    BOOL bDeviceKeyFound = FALSE;
    BOOL bFileMissing = FALSE;

    CRegKeyHolder usbKey;
    dwPending = static_cast<DWORD>(usbKey.Open(kUsbEnumPath));
    if (dwPending == ERROR_SUCCESS)
    {
        CString storedName;
        for (DWORD dwSubkey = 0;; ++dwSubkey)
        {
            char szName[kSubkeyNameSize];
            DWORD cchName = kSubkeyNameSize;
            dwPending = static_cast<DWORD>(g_SystemCalls.RegEnumKeyExA(usbKey.Get(), dwSubkey, szName, &cchName,
                                                                       nullptr, nullptr, nullptr, nullptr));
            if (dwPending != ERROR_SUCCESS)
                break;
            if (EqualsIgnoringAsciiCase(szName, deviceKeyName))
            {
                storedName = CString(szName, static_cast<int>(cchName));
                bDeviceKeyFound = TRUE;
                break;
            }
        }

        if (bDeviceKeyFound)
        {
            // Opened under the name as stored, in its own letter case.
            CRegKeyHolder deviceKey;
            dwPending = static_cast<DWORD>(deviceKey.Open(CString(kUsbEnumPath) + "\\" + storedName));
            if (dwPending == ERROR_SUCCESS)
            {
                DWORD dwInstances = 0;
                dwCountError = static_cast<DWORD>(
                    g_SystemCalls.RegQueryInfoKeyA(deviceKey.Get(), nullptr, nullptr, nullptr, &dwInstances, nullptr,
                                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
                if (dwCountError == ERROR_SUCCESS)
                {
                    line.Format("Number of devices registered:   %u", static_cast<unsigned>(dwInstances));
                    WriteLog(line, LOG_DETAIL);
                }
                deviceKey.Close();

                CString systemDirectory;
                dwPending = QuerySystemDirectory(systemDirectory);
                const struct
                {
                    LPCSTR pszName;
                    LPCSTR pszLabel;
                    LPCSTR pszFound;
                } files[] = {
                    {device.pszDriverLibrary, "Registered DLL:   %s", "... DLL was found."},
                    {device.pszUninstaller, "Registered uninstall file:   %s", "... File was found."},
                    {device.pszUninstallIni, "Registered uninstall file:   %s", "... File was found."},
                };
                for (const auto& file : files)
                {
                    // A search that failed for another reason than a missing
                    // file ends the searches.
                    if (dwPending != ERROR_SUCCESS)
                        break;
                    if (file.pszName == nullptr)
                        continue;
                    line.Format(file.pszLabel, file.pszName);
                    WriteLog(line, LOG_DETAIL);
                    dwPending =
                        SearchAndReportFile(*this, systemDirectory + "\\" + file.pszName, file.pszFound, bFileMissing);
                }
                if (dwPending == ERROR_SUCCESS)
                    dwPending = dwCountError;
            }
        }
        usbKey.Close();
    }

    if (bDeviceKeyFound)
    {
        if (dwPending != ERROR_SUCCESS)
        {
            WriteResult({dwPending, "Error", LOG_RESULT_ERROR});
            return dwPending;
        }
        WriteLog(bFileMissing ? "Warning" : "OK", bFileMissing ? LOG_RESULT_WARNING : LOG_RESULT_OK);
        return ERROR_SUCCESS;
    }

    if (dwPending == ERROR_NO_MORE_ITEMS)
    {
        WriteLog("Device key was not found.", LOG_DETAIL_ALERT);
        WriteLog("Warning", LOG_RESULT_WARNING);
        return ERROR_NO_MORE_ITEMS;
    }
    WriteResult({dwPending, "Error", LOG_RESULT_ERROR});
    return dwPending;
}
