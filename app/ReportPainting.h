// Painting the report while a run writes: the report repaints at a bounded
// rate rather than after every line (see the source).
#pragma once

#include <windows.h>

class CReportPainting
{
public:
    CReportPainting() = default;
    CReportPainting(const CReportPainting&) = delete;
    CReportPainting& operator=(const CReportPainting&) = delete;

    // From the start of a run to its end; window thread only. The repaint
    // timer is hwndOwner's, whose WM_TIMER goes to OnTimer.
    void Begin(HWND hwndOwner, HWND hwndReport);
    void End();
    // The owner's timers; the others are left alone.
    void OnTimer(UINT_PTR nIDEvent);

private:
    static LRESULT CALLBACK ReportWndProc(HWND hwnd, UINT nMessage, WPARAM wParam, LPARAM lParam);
    void ShowHeldReport();

    HWND m_hwndOwner = nullptr;
    HWND m_hwndReport = nullptr;
    BOOL m_bRunPainting = FALSE;
    // The report's drawing is off for lines not yet shown.
    BOOL m_bReportHeld = FALSE;
    WNDPROC m_pfnReportWndProc = nullptr;
};
