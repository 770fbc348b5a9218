// A push button: one-line wrappers over the button messages the product sends.
#pragma once

#include "Wnd.h"

class CButton : public CWnd
{
public:
    void SetButtonStyle(UINT nStyle, BOOL bRedraw = TRUE) { SendMessage(BM_SETSTYLE, nStyle, bRedraw); }
};
