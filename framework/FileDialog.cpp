#include "FileDialog.h"

#include "WinApp.h"

#include <algorithm>
#include <vector>

namespace
{
// The program's own texts (the extension, the filter), in the ANSI code page.
std::wstring Widened(LPCSTR psz)
{
    if (psz == nullptr || *psz == '\0')
        return std::wstring();
    const int cch = ::MultiByteToWideChar(CP_ACP, 0, psz, -1, nullptr, 0);
    std::vector<WCHAR> buffer(cch > 0 ? cch : 1, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, psz, -1, buffer.data(), static_cast<int>(buffer.size()));
    return buffer.data();
}
} // namespace

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCSTR pszDefExt, LPCSTR pszFileName, DWORD dwFlags, LPCSTR pszFilter,
                         CWnd* pParentWnd)
    : m_ofn(),
      m_bOpenFileDialog(bOpenFileDialog),
      m_strDefExt(Widened(pszDefExt)),
      m_strFilter(Widened(pszFilter)),
      m_szFileName()
{
    lstrcpynW(m_szFileName, Widened(pszFileName).c_str(), MAX_PATH);
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
