// Painting the report while a run writes. The check thread's lines arrive one
// synchronous message at a time, and between two of them the window thread
// would repaint the whole visible report: about ten times the cost of the
// insertion itself. During a run the report's redraw is therefore off and a
// timer shows the new lines at a bounded rate; at the end of the run the
// report is shown at once. What the report holds, and when a write returns,
// do not change.
#include "app/UsbInstallationTestDlg.h"

namespace
{
const UINT_PTR kRepaintTimer = 1;
const UINT kRepaintIntervalMs = 60;
} // namespace

void CUsbInstallationTestDlg::BeginRunPainting()
{
    if (m_bRunPainting)
        return;
    m_bRunPainting = TRUE;
    m_richLog.SendMessage(WM_SETREDRAW, FALSE, 0);
    ::SetTimer(m_hWnd, kRepaintTimer, kRepaintIntervalMs, nullptr);
}

void CUsbInstallationTestDlg::EndRunPainting()
{
    if (!m_bRunPainting)
        return;
    m_bRunPainting = FALSE;
    ::KillTimer(m_hWnd, kRepaintTimer);
    m_richLog.SendMessage(WM_SETREDRAW, TRUE, 0);
    ::RedrawWindow(m_richLog.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
}

void CUsbInstallationTestDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent != kRepaintTimer || !m_bRunPainting)
        return;
    m_richLog.SendMessage(WM_SETREDRAW, TRUE, 0);
    ::RedrawWindow(m_richLog.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
    m_richLog.SendMessage(WM_SETREDRAW, FALSE, 0);
}
