// Painting the report while a run writes. Inserting a line into the visible
// control costs about ten times the insertion itself: under Wine the control
// scrolls its content and redraws its scroll bars inside EM_STREAMIN, not
// through WM_PAINT, so deferring WM_PAINT alone would not help. During a run
// a subclass of the control therefore makes each insertion with the
// control's drawing off, for the length of that one message, and a timer
// shows what was inserted at a bounded rate. Between insertions the control
// stays visible and answers the user (scrolling, selecting, the wheel) at
// once. What the report holds, and when a write returns, do not change.
#include "app/UsbInstallationTestDlg.h"

namespace
{
const UINT_PTR kRepaintTimer = 1;
const UINT kRepaintIntervalMs = 60;

void RepaintReport(HWND hwndLog)
{
    ::RedrawWindow(hwndLog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
}
} // namespace

LRESULT CALLBACK CUsbInstallationTestDlg::ReportWndProc(HWND hwnd, UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    CUsbInstallationTestDlg* pDlg =
        reinterpret_cast<CUsbInstallationTestDlg*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    const WNDPROC pfnControl = pDlg->m_pfnReportWndProc;
    if (nMessage != EM_STREAMIN || !pDlg->m_bRunPainting)
        return ::CallWindowProcA(pfnControl, hwnd, nMessage, wParam, lParam);

    // WM_SETREDRAW FALSE hides the control (it clears WS_VISIBLE) and drops
    // its pending repaints; the next tick repaints it whole.
    ::CallWindowProcA(pfnControl, hwnd, WM_SETREDRAW, FALSE, 0);
    const LRESULT lResult = ::CallWindowProcA(pfnControl, hwnd, nMessage, wParam, lParam);
    ::CallWindowProcA(pfnControl, hwnd, WM_SETREDRAW, TRUE, 0);
    pDlg->m_bReportChanged = TRUE;
    return lResult;
}

void CUsbInstallationTestDlg::BeginRunPainting()
{
    if (m_bRunPainting)
        return;
    // Subclassed once, at the first run; the control keeps the subclass for
    // its life, as a later subclass on top of it could not be taken off.
    if (m_pfnReportWndProc == nullptr)
    {
        ::SetWindowLongPtrA(m_richLog.m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        m_pfnReportWndProc = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrA(m_richLog.m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ReportWndProc)));
    }
    m_bRunPainting = TRUE;
    m_bReportChanged = FALSE;
    ::SetTimer(m_hWnd, kRepaintTimer, kRepaintIntervalMs, nullptr);
}

void CUsbInstallationTestDlg::EndRunPainting()
{
    if (!m_bRunPainting)
        return;
    m_bRunPainting = FALSE;
    ::KillTimer(m_hWnd, kRepaintTimer);
    if (m_bReportChanged)
        RepaintReport(m_richLog.m_hWnd);
    m_bReportChanged = FALSE;
}

void CUsbInstallationTestDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent != kRepaintTimer || !m_bRunPainting || !m_bReportChanged)
        return;
    m_bReportChanged = FALSE;
    RepaintReport(m_richLog.m_hWnd);
}
