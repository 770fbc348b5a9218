// The device-specific registry check: follows every registered instance of
// the device to the driver its installation assigned, and looks for the
// driver file and the installation (INF) file that the driver's keys name.
#include "checks/DeviceRegistry.h"

#include "checks/RegistryAccess.h"

#include <algorithm>

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
// never read past them. 234 when the data exceed cbMax. The value's type
// into pdwType where given.
DWORD ReadTextValue(HKEY hKey, LPCSTR pszValueName, DWORD cbMax, CString& text, LPDWORD pdwType = nullptr)
{
    char buffer[kFileValueSize + 1] = {};
    DWORD cbData = cbMax;
    const LONG lResult =
        g_SystemCalls.RegQueryValueExA(hKey, pszValueName, nullptr, pdwType, reinterpret_cast<LPBYTE>(buffer), &cbData);
    if (lResult != ERROR_SUCCESS)
        return static_cast<DWORD>(lResult);
    buffer[cbData < cbMax ? cbData : cbMax] = '\0';
    text = buffer;
    return ERROR_SUCCESS;
}

// "Driver version:   " and the class key's DriverVersion, DriverDate and
// ProviderName, those that are texts, in that order. They only inform:
// whether they are there changes no result.
CString DriverVersionLine(HKEY hClassKey)
{
    CString version;
    for (const LPCSTR pszName : {"DriverVersion", "DriverDate", "ProviderName"})
    {
        CString value;
        DWORD dwType = REG_NONE;
        if (ReadTextValue(hClassKey, pszName, kFileValueSize, value, &dwType) != ERROR_SUCCESS || dwType != REG_SZ ||
            value.IsEmpty())
            continue;
        version += version.IsEmpty() ? "" : ", ";
        version += value;
    }
    return CString("Driver version:   ") + (version.IsEmpty() ? "not registered" : version);
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

// One instance: its heading, the driver's two files, and its result, which
// it gives. bEndsCheck when its failure ends the whole check.
CheckResult CheckInstance(CReportWriter& report, const DeviceContext& context, LPCSTR pszInstance, BOOL& bEndsCheck)
{
    CString line;
    line.Format("Check specific registry entries for device:   %s#%s", static_cast<LPCSTR>(context.deviceKeyName),
                pszInstance);
    report.WriteLog(line, LOG_HEADING);

    CString instancePath;
    instancePath.Format("%s\\%s", static_cast<LPCSTR>(context.deviceKeyPath), pszInstance);
    CRegKeyHolder classKey;
    DWORD dwError = OpenClassKey(instancePath, classKey);
    CString driverFile;
    if (dwError == ERROR_SUCCESS)
        dwError = ReadTextValue(classKey.Get(), "NTMPDriver", kFileValueSize, driverFile);
    if (dwError != ERROR_SUCCESS)
        return CheckResult::Error(dwError);
    line.Format("Registered driver file:   %s", static_cast<LPCSTR>(driverFile));
    report.WriteLog(line, LOG_DETAIL);
    const CString driverPath = context.systemDirectory + "\\Drivers\\" + driverFile;
    const CheckResult driverSearch = ReportFileSearch(report, driverPath, FindNativeSystemFile(driverPath), kFileFound);
    // The driver file cannot be looked at: that is this instance's result
    // alone, and the check goes on with the next instance.
    if (driverSearch.kind == RESULT_ERROR)
        return driverSearch;

    CString infFile;
    dwError = ReadTextValue(classKey.Get(), "InfPath", kFileValueSize, infFile);
    if (dwError != ERROR_SUCCESS)
        return CheckResult::Error(dwError);
    line.Format("Registered installation file:   %s", static_cast<LPCSTR>(infFile));
    report.WriteLog(line, LOG_DETAIL);
    const CheckResult infSearch =
        SearchAndReportFile(report, context.windowsDirectory + "\\inf\\" + infFile, kFileFound);
    // Unlike the driver file's, a failed search of the installation file
    // ends the whole check: the instances that follow are not examined.
    bEndsCheck = infSearch.kind == RESULT_ERROR;
    if (!bEndsCheck)
        report.WriteLog(DriverVersionLine(classKey.Get()), LOG_DETAIL);
    return Worse(driverSearch, infSearch);
}

// A result of the device as a whole, where the check ends without an
// instance heading to write it under.
CheckResult WriteDeviceResult(CReportWriter& report, const DeviceContext& context, const CheckResult& result)
{
    CString heading;
    heading.Format("Check specific registry entries for device:   %s", static_cast<LPCSTR>(context.deviceKeyName));
    report.WriteLog(heading, LOG_HEADING);
    report.WriteResult(result);
    return result;
}
} // namespace

CheckResult CheckDeviceRegistry(CReportWriter& report, const DEVICE_INFO& device)
{
    DeviceContext context;
    context.deviceKeyName = FormatDeviceKeyName(device.nVendorId, device.nProductId);
    context.deviceKeyPath.Format("%sEnum\\USB\\%s", kControlSetPath, static_cast<LPCSTR>(context.deviceKeyName));

    DWORD dwError = QuerySystemDirectory(context.systemDirectory);
    if (dwError == ERROR_SUCCESS)
        dwError = QueryWindowsDirectory(context.windowsDirectory);
    CRegKeyHolder deviceKey;
    if (dwError == ERROR_SUCCESS)
        dwError = static_cast<DWORD>(deviceKey.Open(context.deviceKeyPath));
    if (dwError != ERROR_SUCCESS)
        return WriteDeviceResult(report, context, CheckResult::Error(dwError));

    CheckResult found = CheckResult::Ok();
    for (DWORD dwSubkey = 0;; ++dwSubkey)
    {
        char szInstance[kSubkeyNameSize];
        DWORD cchInstance = kSubkeyNameSize;
        dwError = static_cast<DWORD>(g_SystemCalls.RegEnumKeyExA(deviceKey.Get(), dwSubkey, szInstance, &cchInstance,
                                                                 nullptr, nullptr, nullptr, nullptr));
        if (dwError == ERROR_NO_MORE_ITEMS && dwSubkey > 0)
            return found;
        if (dwError == ERROR_NO_MORE_ITEMS)
            return WriteDeviceResult(report, context, CheckResult::Warning("No device was found."));
        if (dwError != ERROR_SUCCESS)
            return WriteDeviceResult(report, context, CheckResult::Error(dwError));
        BOOL bEndsCheck = FALSE;
        const CheckResult instance = CheckInstance(report, context, szInstance, bEndsCheck);
        report.WriteResult(instance);
        if (bEndsCheck)
            return instance;
        found.kind = std::max(found.kind, instance.kind);
    }
}
