// A push button: one-line wrappers over the button messages the product sends.
#pragma once

#include "Wnd.h"

class CButton : public CWnd
{
public:
    void SetButtonStyle(UINT nStyle, BOOL bRedraw = TRUE) { SendMessage(BM_SETSTYLE, nStyle, bRedraw); }
    UINT GetButtonStyle() const { return static_cast<UINT>(::GetWindowLongA(m_hWnd, GWL_STYLE)); }
};
