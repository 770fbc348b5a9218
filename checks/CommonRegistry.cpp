// The common registry check: is the device registered below the USB
// enumeration key, how many instances does it have, and did the installation
// put the driver library, the uninstaller and its INI file into the system
// directory?
#include "checks/CommonRegistry.h"

#include "checks/RegistryAccess.h"

namespace
{
const DWORD kSubkeyNameSize = 255; // characters, terminating zero included

// Looks for the device key among the subkeys of the USB enumeration key,
// without regard to letter case. 0 with the name as stored, which the key is
// then opened under; else the failed open's or enumeration's result, 259 when
// no subkey matched. The enumeration key is closed before it returns.
DWORD FindDeviceKey(const CString& deviceKeyName, CString& storedName)
{
    CRegKeyHolder usbKey;
    const LONG lOpen = usbKey.Open(kUsbEnumPath);
    if (lOpen != ERROR_SUCCESS)
        return static_cast<DWORD>(lOpen);
    for (DWORD dwSubkey = 0;; ++dwSubkey)
    {
        char szName[kSubkeyNameSize];
        DWORD cchName = kSubkeyNameSize;
        const LONG lEnum =
            g_SystemCalls.RegEnumKeyExA(usbKey.Get(), dwSubkey, szName, &cchName, nullptr, nullptr, nullptr, nullptr);
        if (lEnum != ERROR_SUCCESS)
            return static_cast<DWORD>(lEnum);
        if (EqualsIgnoringAsciiCase<char>(szName, deviceKeyName))
        {
            storedName = CString(szName, static_cast<int>(cchName));
            return ERROR_SUCCESS;
        }
    }
}

// The device key was found: its instance count and the three files. The
// check's result: an Error with the code of a failure, else a Warning when a
// file is missing.
CheckResult CheckRegisteredDevice(CReportWriter& report, const DEVICE_INFO& device, const CString& storedName)
{
    CRegKeyHolder deviceKey;
    const LONG lOpen = deviceKey.Open(CString(kUsbEnumPath) + "\\" + storedName);
    if (lOpen != ERROR_SUCCESS)
        return CheckResult::Error(static_cast<DWORD>(lOpen));
    DWORD dwInstances = 0;
    // A failed count query is an error of the check, but the files are still
    // searched and reported. A search that fails is the more specific finding,
    // so the count's code is given only when the searches went through.
    const DWORD dwCountError = static_cast<DWORD>(
        g_SystemCalls.RegQueryInfoKeyA(deviceKey.Get(), nullptr, nullptr, nullptr, &dwInstances, nullptr, nullptr,
                                       nullptr, nullptr, nullptr, nullptr, nullptr));
    CString line;
    if (dwCountError == ERROR_SUCCESS)
    {
        line.Format("Number of devices registered:   %u", static_cast<unsigned>(dwInstances));
        report.WriteLog(line, LOG_DETAIL);
    }
    deviceKey.Close();

    // Searched where they lie, also for the 32-bit program under WOW64, so
    // that the path a writer notes is the folder they were looked for in.
    CString systemDirectory;
    const DWORD dwDirectory = QueryReachedSystemDirectory(systemDirectory);
    if (dwDirectory != ERROR_SUCCESS)
        return CheckResult::Error(dwDirectory);
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
    CheckResult found = CheckResult::Ok();
    for (const auto& file : files)
    {
        if (file.pszName == nullptr)
            continue;
        line.Format(file.pszLabel, file.pszName);
        report.WriteLog(line, LOG_DETAIL);
        // Any failure but a missing file ends the searches.
        const CheckResult search = SearchAndReportFile(report, systemDirectory + "\\" + file.pszName, file.pszFound);
        if (search.kind == RESULT_ERROR)
            return search;
        found = Worse(found, search);
    }
    return dwCountError != ERROR_SUCCESS ? CheckResult::Error(dwCountError) : found;
}
} // namespace

CheckResult CheckCommonRegistry(CReportWriter& report, const DEVICE_INFO& device)
{
    const CString deviceKeyName = FormatDeviceKeyName(device.nVendorId, device.nProductId);
    CString line;
    line.Format("Check common registry entries for devices:   %s", static_cast<LPCSTR>(deviceKeyName));
    report.WriteLog(line, LOG_HEADING);

    CString storedName;
    const DWORD dwLookup = FindDeviceKey(deviceKeyName, storedName);
    const CheckResult result = dwLookup == ERROR_SUCCESS ? CheckRegisteredDevice(report, device, storedName)
                               : dwLookup == ERROR_NO_MORE_ITEMS
                                   ? CheckResult::Warning("Device key was not found.", ERROR_NO_MORE_ITEMS)
                                   : CheckResult::Error(dwLookup);
    report.WriteResult(result);
    return result;
}
