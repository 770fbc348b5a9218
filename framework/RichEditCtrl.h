// The rich edit control: one-line wrappers over the messages the report sends.
#pragma once

#include "Wnd.h"

#include <richedit.h>

class CRichEditCtrl : public CWnd
{
public:
    void SetSel(CHARRANGE& cr) { SendMessage(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&cr)); }
    BOOL SetSelectionCharFormat(CHARFORMATA& cf)
    {
        return static_cast<BOOL>(SendMessage(EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf)));
    }
    long StreamIn(int nFormat, EDITSTREAM& es)
    {
        return static_cast<long>(SendMessage(EM_STREAMIN, nFormat, reinterpret_cast<LPARAM>(&es)));
    }
    // The previous background colour.
    COLORREF SetBackgroundColor(BOOL bSysColor, COLORREF cr)
    {
        return static_cast<COLORREF>(SendMessage(EM_SETBKGNDCOLOR, bSysColor, cr));
    }
    long StreamOut(int nFormat, EDITSTREAM& es)
    {
        return static_cast<long>(SendMessage(EM_STREAMOUT, nFormat, reinterpret_cast<LPARAM>(&es)));
    }
};
