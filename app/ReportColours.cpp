// The report in the user's high-contrast colours. A rich edit control writes
// into its RTF the colours its text has; so in the system's colours the
// control knows each line's designed colour only from here: every line's
// format and insertion passes by on its way to the control, and the designed
// colour of each stretch of the report is kept. A stream-out in the system's
// colours gives the control the designed ones back for its time.
#include "app/ReportColours.h"

#include "framework/SystemCalls.h"

#include <richedit.h>

#include <algorithm>
#include <cstring>

namespace
{
// The report's own background: its line colours are chosen to be read on it.
const COLORREF kDesignedBackground = RGB(255, 255, 255);
const COLORREF kDesignedDefault = RGB(0, 0, 0);

// What the user sees of the report while its formats change: the selection
// and scroll position, which every format change moves, and its drawing, off
// until they are back.
struct HeldView
{
    CHARRANGE crSelection;
    POINT ptScroll;
    BOOL bDrawing;
};
} // namespace

BOOL HighContrastOn()
{
    HIGHCONTRASTA highContrast = {};
    highContrast.cbSize = sizeof(highContrast);
    return g_SystemCalls.SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof(highContrast), &highContrast, 0) &&
           (highContrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

void CReportColours::Attach(HWND hwndReport, WNDPROC pfnControl)
{
    m_hwndReport = hwndReport;
    m_pfnControl = pfnControl;
    m_bSystem = FALSE;
    CallControl(EM_SETBKGNDCOLOR, FALSE, kDesignedBackground);
}

LRESULT CReportColours::CallControl(UINT nMessage, WPARAM wParam, LPARAM lParam) const
{
    return ::CallWindowProcA(m_pfnControl, m_hwndReport, nMessage, wParam, lParam);
}

void CReportColours::Show(BOOL bSystem)
{
    if (bSystem == m_bSystem)
    {
        // The theme's colours may have changed, and the control holds a brush
        // of the old window colour.
        if (bSystem)
        {
            CallControl(EM_SETBKGNDCOLOR, TRUE, 0);
            ::RedrawWindow(m_hwndReport, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
        }
        return;
    }

    HeldView view = {};
    CallControl(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&view.crSelection));
    CallControl(EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&view.ptScroll));
    // Turned off already while a run's lines come in (CReportPainting).
    view.bDrawing = (::GetWindowLongA(m_hwndReport, GWL_STYLE) & WS_VISIBLE) != 0;
    if (view.bDrawing)
        CallControl(WM_SETREDRAW, FALSE, 0);

    if (bSystem)
        ApplySystemColours();
    else
        ApplyDesignedColours();
    m_bSystem = bSystem;

    CallControl(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&view.crSelection));
    CallControl(EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&view.ptScroll));
    if (view.bDrawing)
    {
        CallControl(WM_SETREDRAW, TRUE, 0);
        ::RedrawWindow(m_hwndReport, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    }
}

// Only the colour changes: a line's weight stays, and with its prefix tells
// its kind in the system's colours too.
void CReportColours::ApplySystemColours() const
{
    CHARRANGE crAll = {0, -1};
    CallControl(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&crAll));
    CHARFORMATA format = {};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_COLOR;
    format.dwEffects = CFE_AUTOCOLOR;
    CallControl(EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    CallControl(EM_SETBKGNDCOLOR, TRUE, 0);
}

void CReportColours::ApplyDesignedColours() const
{
    CHARFORMATA format = {};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_COLOR;
    LONG cpStart = 0;
    for (const ColourRun& run : m_runs)
    {
        CHARRANGE crRun = {cpStart, run.cpEnd};
        CallControl(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&crRun));
        format.crTextColor = run.crText;
        CallControl(EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        cpStart = run.cpEnd;
    }
    CallControl(EM_SETBKGNDCOLOR, FALSE, kDesignedBackground);
}

BOOL CReportColours::OnReportMessage(UINT nMessage, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    switch (nMessage)
    {
    case EM_SETCHARFORMAT: {
        // The common head of every CHARFORMAT, A or W, 1 or 2.
        const CHARFORMATA* pFormat = reinterpret_cast<const CHARFORMATA*>(lParam);
        if ((wParam & SCF_SELECTION) == 0 || pFormat == nullptr || (pFormat->dwMask & CFM_COLOR) == 0 ||
            (pFormat->dwEffects & CFE_AUTOCOLOR) != 0)
            return FALSE;
        m_crLine = pFormat->crTextColor;
        if (!m_bSystem)
            return FALSE;
        CHARFORMAT2W format;
        std::memcpy(&format, pFormat, std::min<size_t>(pFormat->cbSize, sizeof(format)));
        format.cbSize = std::min<UINT>(pFormat->cbSize, sizeof(format));
        reinterpret_cast<CHARFORMATA*>(&format)->dwEffects |= CFE_AUTOCOLOR;
        *pResult = CallControl(nMessage, wParam, reinterpret_cast<LPARAM>(&format));
        return TRUE;
    }
    case EM_STREAMIN: {
        if ((wParam & SFF_SELECTION) == 0)
            return FALSE;
        *pResult = CallControl(nMessage, wParam, lParam);
        // The caret stands behind the text inserted.
        CHARRANGE crInserted = {};
        CallControl(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&crInserted));
        if (!m_runs.empty() && m_runs.back().crText == m_crLine)
            m_runs.back().cpEnd = crInserted.cpMax;
        else
            m_runs.push_back({crInserted.cpMax, m_crLine});
        return TRUE;
    }
    case WM_SETTEXT:
        *pResult = CallControl(nMessage, wParam, lParam);
        m_runs.clear();
        m_crLine = kDesignedDefault;
        return TRUE;
    case EM_STREAMOUT: {
        if (!m_bSystem)
            return FALSE;
        Show(FALSE);
        *pResult = CallControl(nMessage, wParam, lParam);
        Show(TRUE);
        return TRUE;
    }
    default:
        return FALSE;
    }
}
