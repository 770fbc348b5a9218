// Small pieces the two registry checks share: the device key name, key and
// search handles that close themselves, and file searches.
#pragma once

#include "framework/Afx.h"
#include "report/ReportWriter.h"

extern const char kControlSetPath[]; // "System\CurrentControlSet\"
extern const char kUsbEnumPath[];    // "System\CurrentControlSet\Enum\USB"

// "Vid_%04X&Pid_%04X".
CString FormatDeviceKeyName(int nVendorId, int nProductId);

// An open registry key, closed when the holder goes.
class CRegKeyHolder
{
public:
    CRegKeyHolder() = default;
    ~CRegKeyHolder() { Close(); }
    CRegKeyHolder(const CRegKeyHolder&) = delete;
    CRegKeyHolder& operator=(const CRegKeyHolder&) = delete;

    // Opens HKEY_LOCAL_MACHINE\pszPath for reading, in the view samView
    // (KEY_WOW64_64KEY) where one is given; the registry's result.
    LONG Open(LPCSTR pszPath, REGSAM samView = 0);
    void Close();
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

// 0 when the file exists (its search handle closed at once), else the search's
// error code (2 or 3 for a missing file or path).
DWORD FindExistingFile(LPCSTR pszPath);

// FindExistingFile for a path in the system directory that must be searched in
// the native one, also by this 32-bit program under WOW64 (see the source).
DWORD FindNativeSystemFile(LPCSTR pszPath);

// The finding of the search of pszPath that gave dwSearch, the path noted
// first: OK, with pszFoundText written, when the file exists; a Warning, with
// "... File was not found." written, when it or its path does not (a missing
// file is a warning, never an error); else an Error with the search's code,
// with nothing written for it.
CheckResult ReportFileSearch(CReportWriter& report, LPCSTR pszPath, DWORD dwSearch, LPCSTR pszFoundText);
// FindExistingFile, then ReportFileSearch.
CheckResult SearchAndReportFile(CReportWriter& report, LPCSTR pszPath, LPCSTR pszFoundText);
