// The common open/save dialog over GetOpenFileNameW / GetSaveFileNameW: the
// chosen path comes back as the system names the file, never through the
// ANSI code page, which turns what it lacks into look-alikes or '?'.
#pragma once

#include "Wnd.h"

#include <commdlg.h>
#include <string>

class CFileDialog
{
public:
    // pszFilter: entries separated by '|', the list ended by "||".
    CFileDialog(BOOL bOpenFileDialog, LPCSTR pszDefExt = nullptr, LPCSTR pszFileName = nullptr,
                DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCSTR pszFilter = nullptr,
                CWnd* pParentWnd = nullptr);

    // IDOK when the user chose a file, IDCANCEL otherwise.
    INT_PTR DoModal();
    std::wstring GetPathName() const { return m_szFileName; }

    OPENFILENAMEW m_ofn;

private:
    BOOL m_bOpenFileDialog;
    std::wstring m_strDefExt;
    std::wstring m_strFilter;
    WCHAR m_szFileName[MAX_PATH];
};
