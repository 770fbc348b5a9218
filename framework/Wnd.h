// A window wrapper: the handle, one-line wrappers over the messages and calls
// the product makes, and dispatch through the class's message table.
#pragma once

#include "CmdTarget.h"
#include "String.h"

class CWnd : public CCmdTarget
{
    DECLARE_DYNAMIC(CWnd)

public:
    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }

    void SetWindowText(LPCSTR pszText) { ::SetWindowTextA(m_hWnd, pszText); }
    void GetWindowText(CString& rString) const;
    int GetWindowTextLength() const { return ::GetWindowTextLengthA(m_hWnd); }
    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE)
    {
        ::MoveWindow(m_hWnd, x, y, nWidth, nHeight, bRepaint);
    }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    void GetWindowRect(LPRECT lpRect) const { ::GetWindowRect(m_hWnd, lpRect); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    LRESULT SendMessage(UINT nMessage, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, nMessage, wParam, lParam);
    }
    HICON SetIcon(HICON hIcon, BOOL bBigIcon)
    {
        return reinterpret_cast<HICON>(SendMessage(WM_SETICON, bBigIcon, reinterpret_cast<LPARAM>(hIcon)));
    }

    // Handles a message through the message table. FALSE when the table has no
    // entry for it or its handler asked for the default processing.
    virtual BOOL OnWndMsg(UINT nMessage, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

protected:
    // Asks for the window system's default processing of the message being handled.
    void Default() { m_bDefaultRequested = TRUE; }

    void OnDestroy() { Default(); }
    void OnPaint() { Default(); }
    void OnSize(UINT /*nType*/, int /*cx*/, int /*cy*/) { Default(); }
    void OnActivate(UINT /*nState*/, BOOL /*bMinimized*/) { Default(); }

    DECLARE_MESSAGE_MAP()

private:
    BOOL m_bDefaultRequested = FALSE;
};
