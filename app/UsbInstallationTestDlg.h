// The check dialog: it owns the report, the buttons, the check thread with its
// cancel flag and events, and the driver library with its entry points. It is
// the report the checks write to and the caller of every check: each check
// member is a short call into the folder of its concern (report/, checks/,
// device/) with the state the dialog holds.
#pragma once

#include "checks/CheckRun.h"
#include "device/Communication.h"
#include "device/D2xx.h"
#include "device/DriverCallWatch.h"
#include "device/DriverEntryPoints.h"
#include "framework/Afx.h"
#include "report/ReportPainting.h"
#include "report/ReportWriter.h"

#include <atomic>
#include <memory>

// Sent by the end-of-run record: wParam is TRUE when the run wrote no
// Warning or Error result.
const UINT WM_APP_RUN_ENDED = WM_APP + 1;
// Sent by WriteLog on another thread than the window's: wParam is the kind,
// lParam the text.
const UINT WM_APP_WRITE_LOG = WM_APP + 2;

class CUsbInstallationTestDlg : public CDialog, public CReportWriter, public CCheckRunSteps
{
    DECLARE_DYNAMIC(CUsbInstallationTestDlg)

public:
    CUsbInstallationTestDlg();
    ~CUsbInstallationTestDlg() override;

    // The report. Called on the check thread as well as the window's.
    void WriteLog(LPCSTR pszText, UINT nKind) override;
    // The end-of-run record's last step, on the check thread: the window
    // thread takes the run back (OnRunEnded).
    void HandOverRun(BOOL bNothingToLookAt) override;
    // While a run writes, the report repaints at a bounded rate rather than
    // after every line. Window thread only.
    void BeginRunPainting();
    void EndRunPainting();

    // Check run (checks/).
    CString GetOsVersionText() override;
    DWORD CheckCommonRegistry(UINT nIndex) override;
    DWORD CheckDeviceRegistry(UINT nIndex) override;

    // Driver and devices (device/), with the results named there.
    DWORD LoadDriverLibrary(LPCSTR pszName) override;
    int FreeDriverLibrary() override;
    static CString GetStatusText(FT_STATUS status);
    int SearchDevices() override;
    DWORD CheckCommunication() override;
    FT_STATUS ReceiveResponse(FT_HANDLE hDevice, CString& response);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    void OnDestroy();
    BOOL OnQueryEndSession();
    void OnEndSession(BOOL bEnding);
    // Windows ends the session: called inside WM_ENDSESSION once the run has
    // ended, for what must be done before the process may be ended.
    virtual void OnSessionEnded() {}
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

public:
    // The check thread of the run in progress; window thread only.
    HANDLE m_hWorkerThread;
    // Shared with the check thread without a lock: each one aligned 32-bit value.
    std::atomic<BOOL> m_bCancel;
    HANDLE m_hCancelEvent;
    HANDLE m_hRxEvent;
    std::atomic<BOOL> m_bDetailed;
    HMODULE m_hDriverLib;
    DWORD m_nDevices;
    DRIVER_ENTRY_POINTS m_DriverEntryPoints;
    CRichEditCtrl m_richLog;
    CButton m_btnStart;
    CButton m_btnDetails;
    CButton m_btnSave;
    CButton m_btnExit;
    HICON m_hIcon;

    // Set by OnRunEnded on the window thread, before Start is handed back:
    // how many runs have ended, and whether the last one ended uncancelled
    // with no Warning or Error result.
    UINT m_nRunsEnded = 0;
    BOOL m_bLastRunSucceeded = FALSE;
    // Whether the last run was given up on a driver call that did not return.
    BOOL m_bLastRunGivenUp = FALSE;

private:
    void GiveFocusToStart();
    void CancelRunAndWait();
    CDeviceCommunication DeviceCommunication();
    void WatchRun();
    BOOL GiveUpStuckCall();
    void WaitForRunEnd();

    // Set when the window is being destroyed: no run starts from then on.
    BOOL m_bClosing = FALSE;
    // The driver calls of the run in progress; each run has its own, which
    // its thread keeps for as long as it lives.
    std::shared_ptr<CDriverCallWatch> m_pDriverCallWatch = std::make_shared<CDriverCallWatch>();
    // The run's thread is in a driver call that was given up: the run has
    // ended, but no run starts and the library stays until the thread ends.
    BOOL m_bRunGivenUp = FALSE;
    // A click during a run (Details) emptied the report for the run in progress.
    BOOL m_bReportEmptiedDuringRun = FALSE;
    // The report has the focus because a click on a button that a run
    // disables gave it away.
    BOOL m_bFocusLentToReport = FALSE;
    CReportPainting m_reportPainting;
};

// The check thread's routine; its parameter is the check dialog.
DWORD WINAPI CheckThreadProc(LPVOID pParam);
