#include "Wnd.h"

#include <vector>

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

void CWnd::GetWindowText(CString& rString) const
{
    std::vector<char> buffer(static_cast<size_t>(GetWindowTextLength()) + 1, '\0');
    const int nLength = ::GetWindowTextA(m_hWnd, buffer.data(), static_cast<int>(buffer.size()));
    rString = CString(buffer.data(), nLength > 0 ? nLength : 0);
}

BOOL CWnd::OnWndMsg(UINT nMessage, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    *pResult = 0;
    if (nMessage == WM_COMMAND)
        return OnCmdMsg(LOWORD(wParam), HIWORD(wParam));

    const AFX_MSGMAP_ENTRY* pEntry = FindMessageEntry(GetMessageMap(), nMessage, 0, 0);
    if (pEntry == nullptr)
        return FALSE;

    // Handlers send messages that come back here; each keeps its own request.
    const BOOL bOuterRequest = m_bDefaultRequested;
    m_bDefaultRequested = FALSE;
    *pResult = pEntry->pfnHandler(this, wParam, lParam);
    const BOOL bDefault = m_bDefaultRequested;
    m_bDefaultRequested = bOuterRequest;
    return !bDefault;
}
