// The check dialog: it owns the report, the buttons, the check thread with its
// cancel flag and events, and the driver library with its entry points. Every
// check is one of its member operations; their bodies live beside the part of
// the system they belong to (report/, checks/, device/).
#pragma once

#include "framework/Afx.h"
#include "device/D2xx.h"
#include "device/DriverEntryPoints.h"
#include "report/LogKind.h"

#include <atomic>

// Sent by the end-of-run record: wParam is TRUE when the run's summary was
// SUMMARY_SUCCESS.
const UINT WM_APP_RUN_ENDED = WM_APP + 1;
// Sent by WriteLog on another thread than the window's: wParam is the kind,
// lParam the text.
const UINT WM_APP_WRITE_LOG = WM_APP + 2;

class CUsbInstallationTestDlg : public CDialog
{
    DECLARE_DYNAMIC(CUsbInstallationTestDlg)

public:
    CUsbInstallationTestDlg();
    ~CUsbInstallationTestDlg() override;

    // Report (report/ReportLog.cpp). Called on the check thread.
    void WriteLog(LPCSTR pszText, UINT nKind);
    void WriteResult(ResultRecord record);
    // The end-of-run record's last step, on the check thread: the window
    // thread takes the run back (OnRunEnded).
    void HandOverRun(BOOL bSucceeded);
    // While a run writes, the report repaints at a bounded rate rather than
    // after every line (report/ReportPainting.cpp). Window thread only.
    void BeginRunPainting();
    void EndRunPainting();

    // Check run (checks/).
    CString GetOsVersionText();
    DWORD CheckCommonRegistry(UINT nIndex);
    DWORD CheckDeviceRegistry(UINT nIndex);

    // Driver and devices (device/). FreeDriverLibrary's 1 for an unloaded
    // library and SearchDevices' 0, 1 and 2 differ from the 0-for-success of
    // the other checks on purpose: the check run relies on these conventions.
    DWORD LoadDriverLibrary(LPCSTR pszName);
    int FreeDriverLibrary();
    static LPCSTR GetStatusText(FT_STATUS status);
    int SearchDevices();
    DWORD CheckCommunication();
    FT_STATUS ReceiveResponse(FT_HANDLE hDevice, CString& response);

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
    // how many runs have ended, and whether the last one ended with
    // SUMMARY_SUCCESS.
    UINT m_nRunsEnded = 0;
    BOOL m_bLastRunSucceeded = FALSE;

private:
    static LRESULT CALLBACK ReportWndProc(HWND hwnd, UINT nMessage, WPARAM wParam, LPARAM lParam);
    void ShowHeldReport();
    void GiveFocusToStart();

    // Set when the window is being destroyed: no run starts from then on.
    BOOL m_bClosing = FALSE;
    // A click during a run (Details) emptied the report for the run in progress.
    BOOL m_bReportEmptiedDuringRun = FALSE;
    // The report has the focus because a click on a button that a run
    // disables gave it away.
    BOOL m_bFocusLentToReport = FALSE;
    BOOL m_bRunPainting = FALSE;
    // The report's drawing is off for lines not yet shown.
    BOOL m_bReportHeld = FALSE;
    WNDPROC m_pfnReportWndProc = nullptr;
};

// The check thread's routine; its parameter is the check dialog.
DWORD WINAPI CheckThreadProc(LPVOID pParam);
