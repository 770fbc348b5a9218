// The report's colours on the screen: as designed (a white background and a
// colour for each kind of line), or, in a high-contrast theme, the system's
// window and text colours that the user chose to read by. Whatever the
// screen shows, the report's RTF (Save) keeps the designed colours.
#pragma once

#include <windows.h>

#include <vector>

// The user's high-contrast setting (SPI_GETHIGHCONTRAST).
BOOL HighContrastOn();

class CReportColours
{
public:
    CReportColours() = default;
    CReportColours(const CReportColours&) = delete;
    CReportColours& operator=(const CReportColours&) = delete;

    // hwndReport's own window procedure, to which the messages below go on,
    // is pfnControl; the report starts in the designed colours.
    void Attach(HWND hwndReport, WNDPROC pfnControl);
    // Shows the system's colours (bSystem) or the designed ones; what the
    // report holds and where the user is in it stay.
    void Show(BOOL bSystem);
    BOOL ShowsSystemColours() const { return m_bSystem; }

    // A message to the report, before its own procedure: the lines'
    // formats and insertions (AppendReportLine), its emptying and its
    // stream-out. TRUE when handled here, with the control's result.
    BOOL OnReportMessage(UINT nMessage, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

private:
    // The text up to cpEnd, from the previous run's end, is designed in crText.
    struct ColourRun
    {
        LONG cpEnd;
        COLORREF crText;
    };

    LRESULT CallControl(UINT nMessage, WPARAM wParam, LPARAM lParam) const;
    void ApplyDesignedColours() const;
    void ApplySystemColours() const;

    HWND m_hwndReport = nullptr;
    WNDPROC m_pfnControl = nullptr;
    BOOL m_bSystem = FALSE;
    // The designed colour of the line being inserted.
    COLORREF m_crLine = RGB(0, 0, 0);
    std::vector<ColourRun> m_runs;
};
