// The device-specific registry check: follows every registered instance of
// the device to the driver its installation assigned, and looks for the
// driver file and the installation (INF) file that the driver's keys name.
#include "checks/DeviceRegistry.h"

#include "checks/RegistryAccess.h"
#include "checks/SupportedDevices.h"

namespace
{
const DWORD kSubkeyNameSize = 255; // characters, terminating zero included
const DWORD kDriverValueSize = 255;
const DWORD kFileValueSize = 256;
const char kFileFound[] = "... File was found.";
// What an instance's check returns when the check goes on with the next one.
const DWORD kNextInstance = ERROR_SUCCESS;

// Reads a value as text without asking for its type. The buffer holds one byte
// more than the registry may fill, so a value whose data do not end in a zero
// (binary data, a number, a text stored without its terminator) is taken as
// the text of its bytes up to the first zero or to the end of its data, and
// never read past them. 234 when the data exceed cbMax.
DWORD ReadTextValue(HKEY hKey, LPCSTR pszValueName, DWORD cbMax, CString& text)
{
    char buffer[kFileValueSize + 1] = {};
    DWORD cbData = cbMax;
    const LONG lResult =
        g_SystemCalls.RegQueryValueExA(hKey, pszValueName, nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &cbData);
    if (lResult != ERROR_SUCCESS)
        return static_cast<DWORD>(lResult);
    buffer[cbData < cbMax ? cbData : cbMax] = '\0';
    text = buffer;
    return ERROR_SUCCESS;
}

// What every instance of one call shares.
struct DeviceContext
{
    CString deviceKeyName;
    CString deviceKeyPath;
    CString systemDirectory;
    CString windowsDirectory;
};

// Follows an instance's "Driver" value to its class key below the class root.
// The instance key is closed as soon as the value is read.
DWORD OpenClassKey(const CString& instancePath, CRegKeyHolder& classKey)
{
    CRegKeyHolder instanceKey;
    DWORD dwError = static_cast<DWORD>(instanceKey.Open(instancePath));
    CString driver;
    if (dwError == ERROR_SUCCESS)
        dwError = ReadTextValue(instanceKey.Get(), "Driver", kDriverValueSize, driver);
    instanceKey.Close();
    if (dwError != ERROR_SUCCESS)
        return dwError;
    CString classPath;
    classPath.Format("%sControl\\Class\\%s", kControlSetPath, static_cast<LPCSTR>(driver));
    return static_cast<DWORD>(classKey.Open(classPath));
}

// One instance: its heading, the driver's two files and exactly one result.
// kNextInstance, or the code of a failure that ends the whole check.
DWORD CheckInstance(CReportWriter& report, const DeviceContext& context, LPCSTR pszInstance)
{
    CString line;
    line.Format("Check specific registry entries for device:   %s#%s", static_cast<LPCSTR>(context.deviceKeyName),
                pszInstance);
    report.WriteLog(line, LOG_HEADING);
    BOOL bFileMissing = FALSE;

    CString instancePath;
    instancePath.Format("%s\\%s", static_cast<LPCSTR>(context.deviceKeyPath), pszInstance);
    CRegKeyHolder classKey;
    DWORD dwError = OpenClassKey(instancePath, classKey);
    CString driverFile;
    if (dwError == ERROR_SUCCESS)
        dwError = ReadTextValue(classKey.Get(), "NTMPDriver", kFileValueSize, driverFile);
    if (dwError != ERROR_SUCCESS)
    {
        report.WriteErrorResult(dwError);
        return kNextInstance;
    }
    line.Format("Registered driver file:   %s", static_cast<LPCSTR>(driverFile));
    report.WriteLog(line, LOG_DETAIL);
    dwError = ReportFileSearch(report, FindNativeSystemFile(context.systemDirectory + "\\Drivers\\" + driverFile),
                               kFileFound, bFileMissing);
    if (dwError != ERROR_SUCCESS)
    {
        // The driver file cannot be looked at: that is this instance's
        // result alone, and the check goes on with the next instance.
        report.WriteErrorResult(dwError);
        return kNextInstance;
    }

    CString infFile;
    dwError = ReadTextValue(classKey.Get(), "InfPath", kFileValueSize, infFile);
    if (dwError != ERROR_SUCCESS)
    {
        report.WriteErrorResult(dwError);
        return kNextInstance;
    }
    line.Format("Registered installation file:   %s", static_cast<LPCSTR>(infFile));
    report.WriteLog(line, LOG_DETAIL);
    dwError = SearchAndReportFile(report, context.windowsDirectory + "\\inf\\" + infFile, kFileFound, bFileMissing);
    classKey.Close();
    if (dwError != ERROR_SUCCESS)
    {
        // Unlike the driver file's, a failed search of the installation file
        // ends the whole check: the instances that follow are not examined.
        return report.WriteErrorResult(dwError);
    }

    if (bFileMissing)
        report.WriteWarningResult();
    else
        report.WriteOkResult();
    return kNextInstance;
}
} // namespace

DWORD CheckDeviceRegistry(CReportWriter& report, UINT nIndex)
{
    if (nIndex >= g_DeviceTable.nEntries)
    {
        report.WriteResult({ERROR_INVALID_PARAMETER, "Check device specific registry entries", LOG_HEADING});
        return ERROR_INVALID_PARAMETER;
    }
    const DEVICE_INFO& device = g_DeviceTable.pEntries[nIndex];
    DeviceContext context;
    context.deviceKeyName = FormatDeviceKeyName(device.nVendorId, device.nProductId);
    context.deviceKeyPath.Format("%sEnum\\USB\\%s", kControlSetPath, static_cast<LPCSTR>(context.deviceKeyName));
    // Written only where the check ends without an instance heading of its own.
    CString deviceHeading;
    deviceHeading.Format("Check specific registry entries for device:   %s",
                         static_cast<LPCSTR>(context.deviceKeyName));

    DWORD dwError = QuerySystemDirectory(context.systemDirectory);
    if (dwError == ERROR_SUCCESS)
        dwError = QueryWindowsDirectory(context.windowsDirectory);
    CRegKeyHolder deviceKey;
    if (dwError == ERROR_SUCCESS)
        dwError = static_cast<DWORD>(deviceKey.Open(context.deviceKeyPath));
    if (dwError != ERROR_SUCCESS)
    {
        report.WriteLog(deviceHeading, LOG_HEADING);
        return report.WriteErrorResult(dwError);
    }

    BOOL bInstanceSeen = FALSE;
    for (DWORD dwSubkey = 0;; ++dwSubkey)
    {
        char szInstance[kSubkeyNameSize];
        DWORD cchInstance = kSubkeyNameSize;
        dwError = static_cast<DWORD>(g_SystemCalls.RegEnumKeyExA(deviceKey.Get(), dwSubkey, szInstance, &cchInstance,
                                                                 nullptr, nullptr, nullptr, nullptr));
        if (dwError != ERROR_SUCCESS)
            break;
        bInstanceSeen = TRUE;
        const DWORD dwEnd = CheckInstance(report, context, szInstance);
        if (dwEnd != kNextInstance)
            return dwEnd;
    }

    if (dwError != ERROR_NO_MORE_ITEMS)
    {
        report.WriteLog(deviceHeading, LOG_HEADING);
        return report.WriteErrorResult(dwError);
    }
    if (!bInstanceSeen)
    {
        report.WriteLog(deviceHeading, LOG_HEADING);
        report.WriteLog("No device was found.", LOG_DETAIL_ALERT);
        report.WriteWarningResult();
    }
    return ERROR_SUCCESS;
}
