// Painting the report while a run writes. Inserting a line into the visible
// control costs about ten times the insertion itself: under Wine the control
// scrolls its content and redraws its scroll bars inside EM_STREAMIN, not
// through WM_PAINT, so holding back WM_PAINT alone saves nothing, and turning
// the drawing off and on around every insertion still costs 1.6 to 1.7 times
// a hidden report. During a run a subclass of the control therefore turns its
// drawing off at an insertion (WM_SETREDRAW, which also hides it), and a timer
// turns it on again and repaints it at a bounded rate. So the report is hidden
// only while lines come back to back, for at most one tick after the last;
// through every wait of a run it is visible and answers the user (scrolling,
// selecting, the wheel) at once. What the report holds, and when a write
// returns, do not change.
#include "app/ReportPainting.h"

#include "app/AppMessages.h"

#include <richedit.h>

namespace
{
const UINT kRepaintIntervalMs = 60;
} // namespace

LRESULT CALLBACK CReportPainting::ReportWndProc(HWND hwnd, UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    CReportPainting* pPainting = reinterpret_cast<CReportPainting*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    const WNDPROC pfnControl = pPainting->m_pfnReportWndProc;
    if (nMessage == EM_STREAMIN && pPainting->m_bRunPainting && !pPainting->m_bReportHeld)
    {
        ::CallWindowProcA(pfnControl, hwnd, WM_SETREDRAW, FALSE, 0);
        pPainting->m_bReportHeld = TRUE;
        // A focused control moves its caret after every insertion, a few
        // trips to the window server each, whether it draws or not: a third
        // more per line. Held, it is told that it lost the focus, and told
        // that it has it again when it is shown. The focus itself stays.
        if (::GetFocus() == hwnd)
            ::CallWindowProcA(pfnControl, hwnd, WM_KILLFOCUS, 0, 0);
    }
    LRESULT lResult = 0;
    if (pPainting->m_colours.OnReportMessage(nMessage, wParam, lParam, &lResult))
        return lResult;
    return ::CallWindowProcA(pfnControl, hwnd, nMessage, wParam, lParam);
}

// The control keeps the subclass for its life, as a later subclass on top of
// it could not be taken off.
void CReportPainting::Attach(HWND hwndOwner, HWND hwndReport)
{
    if (m_pfnReportWndProc != nullptr)
        return;
    m_hwndOwner = hwndOwner;
    m_hwndReport = hwndReport;
    ::SetWindowLongPtrA(hwndReport, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_pfnReportWndProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hwndReport, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ReportWndProc)));
    m_colours.Attach(hwndReport, m_pfnReportWndProc);
    FollowTheme();
}

void CReportPainting::FollowTheme()
{
    if (m_pfnReportWndProc != nullptr)
        m_colours.Show(HighContrastOn());
}

void CReportPainting::Begin()
{
    if (m_bRunPainting || m_pfnReportWndProc == nullptr)
        return;
    m_bRunPainting = TRUE;
    ::SetTimer(m_hwndOwner, TIMER_REPAINT, kRepaintIntervalMs, nullptr);
}

void CReportPainting::End()
{
    if (!m_bRunPainting)
        return;
    m_bRunPainting = FALSE;
    ::KillTimer(m_hwndOwner, TIMER_REPAINT);
    ShowHeldReport();
}

void CReportPainting::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == TIMER_REPAINT)
        ShowHeldReport();
}

// Turns the report's drawing on again and shows what was inserted meanwhile.
void CReportPainting::ShowHeldReport()
{
    if (!m_bReportHeld)
        return;
    m_bReportHeld = FALSE;
    ::SendMessageA(m_hwndReport, WM_SETREDRAW, TRUE, 0);
    // Only where the focus still is: a real move away has told it already.
    if (::GetFocus() == m_hwndReport)
        ::SendMessageA(m_hwndReport, WM_SETFOCUS, 0, 0);
    ::RedrawWindow(m_hwndReport, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
}
