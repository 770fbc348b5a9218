// The check dialog: the report, the buttons, the check thread and its
// closing. It holds the check run (checks/) that its thread carries out, and
// is the report that run writes to.
#pragma once

#include "checks/CheckRun.h"
#include "framework/Afx.h"
#include "report/ReportPainting.h"
#include "report/ReportWriter.h"

#include <memory>

// Sent by the check thread once its run has ended: wParam is the RunOutcome.
const UINT WM_APP_RUN_ENDED = WM_APP + 1;
// Sent by WriteLog on another thread than the window's: wParam is the kind,
// lParam the text.
const UINT WM_APP_WRITE_LOG = WM_APP + 2;

class CUsbInstallationTestDlg : public CDialog, public CReportWriter
{
    DECLARE_DYNAMIC(CUsbInstallationTestDlg)

public:
    CUsbInstallationTestDlg();
    ~CUsbInstallationTestDlg() override;

    // The report. Called on the check thread as well as the window's.
    void WriteLog(LPCSTR pszText, UINT nKind) override;
    // While a run writes, the report repaints at a bounded rate rather than
    // after every line. Window thread only.
    void BeginRunPainting();
    void EndRunPainting();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    void OnDestroy();
    BOOL OnQueryEndSession();
    void OnEndSession(BOOL bEnding);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnSize(UINT nType, int cx, int cy);
    void OnActivate(UINT nState, BOOL bMinimized);
    void OnStart();
    void OnDetails();
    void OnSave();
    LRESULT OnRunEnded(WPARAM wParam, LPARAM lParam);
    LRESULT OnWriteLog(WPARAM wParam, LPARAM lParam);
    void OnTimer(UINT_PTR nIDEvent);

    DECLARE_MESSAGE_MAP()

private:
    friend DWORD WINAPI CheckThreadProc(LPVOID pParam);
    struct ButtonPlacement;
    static const ButtonPlacement kButtons[4];

    void RunEnded();
    void GiveFocusToStart();
    void CancelRunAndWait();
    void WatchRun();
    void GiveUpStuckCall();
    void WaitForRunEnd();

    // Shared with the check thread, which holds it for as long as it lives:
    // a driver call given up on may return after the dialog has gone.
    const std::shared_ptr<CCheckRun> m_pRun = std::make_shared<CCheckRun>();
    // The check thread of the run in progress; window thread only.
    HANDLE m_hWorkerThread = nullptr;
    // The view the report's lines are written in; window thread only.
    BOOL m_bDetailed = FALSE;
    CRichEditCtrl m_richLog;
    CButton m_btnStart;
    CButton m_btnDetails;
    CButton m_btnSave;
    CButton m_btnExit;
    HICON m_hIcon;

    // Set when the window is being destroyed: no run starts from then on.
    BOOL m_bClosing = FALSE;
    // The run's thread is in a driver call that was given up: the run has
    // ended, but no run starts until the thread has ended.
    BOOL m_bRunGivenUp = FALSE;
    // A click during a run (Details) emptied the report for the run in progress.
    BOOL m_bReportEmptiedDuringRun = FALSE;
    // The report has the focus because a click on a button that a run
    // disables gave it away.
    BOOL m_bFocusLentToReport = FALSE;
    CReportPainting m_reportPainting;
};

// The check thread's routine; its parameter is the check dialog, whose run it
// carries out with the dialog as its report. Gives the RunOutcome.
DWORD WINAPI CheckThreadProc(LPVOID pParam);
