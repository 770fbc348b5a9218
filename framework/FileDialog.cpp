#include "FileDialog.h"

#include "WinApp.h"

#include <algorithm>

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCSTR pszDefExt, LPCSTR pszFileName, DWORD dwFlags, LPCSTR pszFilter,
                         CWnd* pParentWnd)
    : m_ofn(),
      m_bOpenFileDialog(bOpenFileDialog),
      m_strDefExt(WideFromAnsi(pszDefExt)),
      m_strFilter(WideFromAnsi(pszFilter)),
      m_szFileName()
{
    lstrcpynW(m_szFileName, WideFromAnsi(pszFileName).c_str(), MAX_PATH);
    // The dialog's filter form: every '|' becomes a string end.
    std::replace(m_strFilter.begin(), m_strFilter.end(), L'|', L'\0');

    if (pParentWnd == nullptr && AfxGetApp() != nullptr)
        pParentWnd = AfxGetApp()->m_pMainWnd;

    m_ofn.lStructSize = sizeof(m_ofn);
    m_ofn.hwndOwner = pParentWnd != nullptr ? pParentWnd->m_hWnd : nullptr;
    m_ofn.hInstance = AfxGetInstanceHandle();
    m_ofn.lpstrFilter = m_strFilter.empty() ? nullptr : m_strFilter.c_str();
    m_ofn.nFilterIndex = 1;
    m_ofn.lpstrFile = m_szFileName;
    m_ofn.nMaxFile = MAX_PATH;
    m_ofn.lpstrDefExt = m_strDefExt.empty() ? nullptr : m_strDefExt.c_str();
    m_ofn.Flags = dwFlags | OFN_EXPLORER | OFN_ENABLESIZING;
}

INT_PTR CFileDialog::DoModal()
{
    const BOOL bChosen = m_bOpenFileDialog ? ::GetOpenFileNameW(&m_ofn) : ::GetSaveFileNameW(&m_ofn);
    return bChosen ? IDOK : IDCANCEL;
}
