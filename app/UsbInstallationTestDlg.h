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

// Posted by the end-of-run record: wParam is the finished check thread's handle,
// which the window thread closes.
const UINT WM_APP_RUN_ENDED = WM_APP + 1;

class CUsbInstallationTestDlg : public CDialog
{
    DECLARE_DYNAMIC(CUsbInstallationTestDlg)

public:
    CUsbInstallationTestDlg();
    ~CUsbInstallationTestDlg() override;

    // Report (report/ReportLog.cpp). Called on the check thread.
    void WriteLog(LPCSTR pszText, UINT nKind);
    void WriteResult(ResultRecord record);
    // While a run writes, the report repaints at a bounded rate rather than
    // after every line (report/ReportPainting.cpp). Window thread only.
    void BeginRunPainting();
    void EndRunPainting();

    // Check run (checks/).
    CString GetOsVersionText();
    DWORD CheckCommonRegistry(UINT nIndex);
    DWORD CheckDeviceRegistry(UINT nIndex);

    // Driver and devices (device/).
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
    void OnStart();
    void OnDetails();
    void OnSave();
    LRESULT OnRunEnded(WPARAM wParam, LPARAM lParam);
    void OnTimer(UINT_PTR nIDEvent);

    DECLARE_MESSAGE_MAP()

public:
    // Shared with the check thread without a lock: each one aligned 32-bit value.
    std::atomic<HANDLE> m_hWorkerThread;
    std::atomic<BOOL> m_bCancel;
    HANDLE m_hCancelEvent;
    HANDLE m_hRxEvent;
    std::atomic<BOOL> m_bDetailed;
    HMODULE m_hDriverLib;
    DWORD m_nDevices;
    DRIVER_ENTRY_POINTS DriverEntryPoints;
    CRichEditCtrl m_richLog;
    CButton m_btnStart;
    CButton m_btnDetails;
    CButton m_btnSave;
    CButton m_btnExit;
    HICON m_hIcon;
    // Whether the last run that ended wrote "Check completed successfully!";
    // set by the check run just before its end-of-run record, read once the
    // run's thread has ended (app/ReportCommand.cpp).
    std::atomic<BOOL> m_bLastRunSucceeded{FALSE};

private:
    BOOL m_bRunPainting = FALSE;
};

// The check thread's routine; its parameter is the check dialog.
DWORD WINAPI CheckThreadProc(LPVOID pParam);
