// The common open/save dialog over GetOpenFileNameA / GetSaveFileNameA.
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
    CString GetPathName() const { return CString(m_szFileName); }

    OPENFILENAMEA m_ofn;

private:
    BOOL m_bOpenFileDialog;
    std::string m_strDefExt;
    std::string m_strFilter;
    char m_szFileName[MAX_PATH];
};
