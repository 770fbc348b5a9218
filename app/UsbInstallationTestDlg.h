// The check dialog: the report, the buttons, the check thread and its
// closing. Its run thread carries out the check run (checks/) with the
// dialog as the report that run writes to.
#pragma once

#include "app/ReportPainting.h"
#include "app/RunThread.h"
#include "framework/Afx.h"

class CUsbInstallationTestDlg : public CDialog, public CRunWindow
{
    DECLARE_DYNAMIC(CUsbInstallationTestDlg)

public:
    CUsbInstallationTestDlg();
    ~CUsbInstallationTestDlg() override;

    // The report. Called on the check thread as well as the window's.
    void WriteLog(LPCSTR pszText, UINT nKind) override { WriteLogOnWindowThread(pszText, nKind); }
    // While a run writes, the report repaints at a bounded rate rather than
    // after every line. Window thread only.
    void BeginRunPainting();
    void EndRunPainting();

    BOOL OnWndMsg(UINT nMessage, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    void OnDestroy();
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnSize(UINT nType, int cx, int cy);
    void OnActivate(UINT nState, BOOL bMinimized);
    void OnStart();
    void OnDetails();
    void OnSave();
    void OnTimer(UINT_PTR nIDEvent);
    void OnSettingChange(UINT nFlags, LPCSTR pszSection);
    void OnSysColorChange();

    HWND WindowHandle() const override { return m_hWnd; }
    void OnWriteLog(LPCSTR pszText, UINT nKind) override;
    void OnRunEnded(RunOutcome outcome) override;
    void OnRunThreadEnded() override;
    void OnEndSession() override;

    DECLARE_MESSAGE_MAP()

private:
    struct ButtonPlacement;
    static const ButtonPlacement kButtons[4];

    void GiveFocusToStart();

    // The view the report's lines are written in; window thread only.
    BOOL m_bDetailed = FALSE;
    CRichEditCtrl m_richLog;
    CButton m_btnStart;
    CButton m_btnDetails;
    CButton m_btnSave;
    CButton m_btnExit;
    // The window's icons at the sizes the system asks for: the big one for
    // Alt+Tab and the minimized window, the small one for the caption and
    // the taskbar.
    HICON m_hIcon;
    HICON m_hSmallIcon;
    HFONT m_hReportFont = nullptr;
    // The layout the window had at its restored size: a restore gives it back.
    UINT m_nLastSizeType = SIZE_RESTORED;
    int m_nRestoredHeight = 0;
    int m_yRestoredRow = 0;

    // A click during a run (Details) emptied the report for the run in progress.
    BOOL m_bReportEmptiedDuringRun = FALSE;
    // The report has the focus because a click on a button that a run
    // disables gave it away.
    BOOL m_bFocusLentToReport = FALSE;
    CReportPainting m_reportPainting;
};
