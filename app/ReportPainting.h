// Painting the report: while a run writes, it repaints at a bounded rate
// rather than after every line; and it shows the user's high-contrast colours
// (see the sources).
#pragma once

#include "app/ReportColours.h"

#include <windows.h>

class CReportPainting
{
public:
    CReportPainting() = default;
    CReportPainting(const CReportPainting&) = delete;
    CReportPainting& operator=(const CReportPainting&) = delete;

    // Subclasses the report for its life, once its window exists, and shows
    // it in the colours of the user's theme. The repaint timer is
    // hwndOwner's, whose WM_TIMER goes to OnTimer.
    void Attach(HWND hwndOwner, HWND hwndReport);
    // From the start of a run to its end; window thread only.
    void Begin();
    void End();
    // The owner's timers; the others are left alone.
    void OnTimer(UINT_PTR nIDEvent);
    // The theme changed (WM_SETTINGCHANGE, WM_SYSCOLORCHANGE): the report
    // takes the system's colours in high contrast, the designed ones otherwise.
    void FollowTheme();

private:
    static LRESULT CALLBACK ReportWndProc(HWND hwnd, UINT nMessage, WPARAM wParam, LPARAM lParam);
    void ShowHeldReport();

    HWND m_hwndOwner = nullptr;
    HWND m_hwndReport = nullptr;
    BOOL m_bRunPainting = FALSE;
    // The report's drawing is off for lines not yet shown.
    BOOL m_bReportHeld = FALSE;
    WNDPROC m_pfnReportWndProc = nullptr;
    CReportColours m_colours;
};
