#include "checks/RegistryAccess.h"

const char kControlSetPath[] = "System\\CurrentControlSet\\";
const char kUsbEnumPath[] = "System\\CurrentControlSet\\Enum\\USB";

CString FormatDeviceKeyName(int nVendorId, int nProductId)
{
    CString name;
    name.Format("Vid_%04X&Pid_%04X", static_cast<unsigned>(nVendorId), static_cast<unsigned>(nProductId));
    return name;
}

LONG CRegKeyHolder::Open(LPCSTR pszPath, REGSAM samView)
{
    Close();
    const LONG lResult = g_SystemCalls.RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszPath, 0, KEY_READ | samView, &m_hKey);
    if (lResult != ERROR_SUCCESS)
        m_hKey = nullptr;
    return lResult;
}

void CRegKeyHolder::Close()
{
    if (m_hKey != nullptr)
    {
        g_SystemCalls.RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }
}

DWORD FindExistingFile(LPCSTR pszPath)
{
    WIN32_FIND_DATAA findData;
    const HANDLE hFind = g_SystemCalls.FindFirstFileA(pszPath, &findData);
    if (hFind == INVALID_HANDLE_VALUE)
        return LastErrorOr(ERROR_FILE_NOT_FOUND);
    g_SystemCalls.FindClose(hFind);
    return ERROR_SUCCESS;
}

// A 32-bit program under WOW64 has its accesses to the system directory sent
// to SysWOW64, where the 32-bit files of an installation lie, but a kernel
// driver lies only in the native System32\Drivers. So redirection is turned
// off for this one search and on again at once, and nothing else is searched
// or loaded by this thread meanwhile. Where it cannot be turned off (or back
// on), the search is reported as failed with the reason: a search in
// SysWOW64 would call every sound installation's driver file missing.
DWORD FindNativeSystemFile(LPCSTR pszPath)
{
    BOOL bWow64 = FALSE;
    const DWORD dwWow64 = QueryWow64(bWow64);
    if (dwWow64 != ERROR_SUCCESS)
        return dwWow64;
    if (!bWow64)
        return FindExistingFile(pszPath);
    if (g_SystemCalls.Wow64DisableWow64FsRedirection == nullptr ||
        g_SystemCalls.Wow64RevertWow64FsRedirection == nullptr)
        return ERROR_CALL_NOT_IMPLEMENTED;
    PVOID pRedirection = nullptr;
    if (!g_SystemCalls.Wow64DisableWow64FsRedirection(&pRedirection))
        return LastErrorOr(ERROR_CALL_NOT_IMPLEMENTED);
    const DWORD dwSearch = FindExistingFile(pszPath);
    if (!g_SystemCalls.Wow64RevertWow64FsRedirection(pRedirection))
        return LastErrorOr(ERROR_CALL_NOT_IMPLEMENTED);
    return dwSearch;
}

CheckResult ReportFileSearch(CReportWriter& report, LPCSTR pszPath, DWORD dwSearch, LPCSTR pszFoundText)
{
    report.NoteSearchedPath(pszPath);
    if (dwSearch == ERROR_SUCCESS)
    {
        report.WriteLog(pszFoundText, LOG_DETAIL);
        return CheckResult::Ok();
    }
    if (dwSearch != ERROR_FILE_NOT_FOUND && dwSearch != ERROR_PATH_NOT_FOUND)
        return CheckResult::Error(dwSearch);
    report.WriteLog("... File was not found.", LOG_DETAIL_ALERT);
    return CheckResult::Warning();
}

CheckResult SearchAndReportFile(CReportWriter& report, LPCSTR pszPath, LPCSTR pszFoundText)
{
    return ReportFileSearch(report, pszPath, FindExistingFile(pszPath), pszFoundText);
}
