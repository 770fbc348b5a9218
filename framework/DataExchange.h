// Data exchange between a dialog and its members: here only the binding of
// control members to the dialog's child windows.
#pragma once

#include "Wnd.h"

class CDataExchange
{
public:
    explicit CDataExchange(CWnd* pDlgWnd) : m_pDlgWnd(pDlgWnd) {}

    CWnd* m_pDlgWnd;
};

// Binds rControl to the dialog's child window nIDC; a member already bound stays as it is.
inline void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    if (rControl.m_hWnd == nullptr)
        rControl.m_hWnd = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
}
