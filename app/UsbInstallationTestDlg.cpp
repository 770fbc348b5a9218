#include "app/UsbInstallationTestDlg.h"

#include "checks/CommonRegistry.h"
#include "checks/DeviceRegistry.h"
#include "checks/OsVersion.h"
#include "device/Communication.h"
#include "device/DriverLibrary.h"
#include "device/StatusText.h"
#include "report/ReportLog.h"
#include "report/SaveReport.h"
#include "res/resource.h"

IMPLEMENT_DYNAMIC(CUsbInstallationTestDlg, CDialog)

BEGIN_MESSAGE_MAP(CUsbInstallationTestDlg, CDialog)
    ON_WM_DESTROY()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_SIZE()
    ON_WM_ACTIVATE()
    ON_BN_CLICKED(IDC_BUTTON_START, &CUsbInstallationTestDlg::OnStart)
    ON_BN_CLICKED(IDC_BUTTON_DETAILS, &CUsbInstallationTestDlg::OnDetails)
    ON_BN_CLICKED(IDC_BUTTON_SAVE, &CUsbInstallationTestDlg::OnSave)
    ON_MESSAGE(WM_APP_RUN_ENDED, &CUsbInstallationTestDlg::OnRunEnded)
    ON_MESSAGE(WM_APP_WRITE_LOG, &CUsbInstallationTestDlg::OnWriteLog)
    ON_WM_TIMER()
END_MESSAGE_MAP()

namespace
{
const char kDetailsCaption[] = "Details >>";
const char kSimpleCaption[] = "<< Simple";

// Waits for hObject while carrying out the messages other threads send to this
// one: the check thread's report writes are such messages, and it must be able
// to finish them to end.
void WaitServingSentMessages(HANDLE hObject)
{
    for (;;)
    {
        const DWORD dwWait = ::MsgWaitForMultipleObjects(1, &hObject, FALSE, INFINITE, QS_SENDMESSAGE);
        if (dwWait != WAIT_OBJECT_0 + 1)
            return;
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
} // namespace

CUsbInstallationTestDlg::CUsbInstallationTestDlg()
    : CDialog(IDD_USBINSTALLATIONTEST_DIALOG, nullptr),
      m_hWorkerThread(nullptr),
      m_bCancel(FALSE),
      // Manual reset: a cancel ends every wait after it, not only the one in progress.
      m_hCancelEvent(g_SystemCalls.CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_hRxEvent(g_SystemCalls.CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_bDetailed(FALSE),
      m_hDriverLib(nullptr),
      m_nDevices(0),
      m_DriverEntryPoints(),
      m_hIcon(::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME)))
{
}

CUsbInstallationTestDlg::~CUsbInstallationTestDlg()
{
    if (m_hDriverLib != nullptr)
    {
        ::FreeLibrary(m_hDriverLib);
        m_hDriverLib = nullptr;
    }
    if (m_hRxEvent != nullptr)
    {
        ::CloseHandle(m_hRxEvent);
        m_hRxEvent = nullptr;
    }
    if (m_hCancelEvent != nullptr)
    {
        ::CloseHandle(m_hCancelEvent);
        m_hCancelEvent = nullptr;
    }
}

void CUsbInstallationTestDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_RICHEDIT_LOG, m_richLog);
    DDX_Control(pDX, IDC_BUTTON_START, m_btnStart);
    DDX_Control(pDX, IDC_BUTTON_DETAILS, m_btnDetails);
    DDX_Control(pDX, IDC_BUTTON_SAVE, m_btnSave);
    DDX_Control(pDX, IDCANCEL, m_btnExit);
}

// button: "Start Check Routine"
void CUsbInstallationTestDlg::OnStart()
{
    // A click that other threads send while the closing waits for the run
    // would otherwise start a thread on a dialog about to be freed.
    if (m_bClosing)
        return;
    // A disabled button loses the focus to no control, and the keyboard then
    // reaches nothing: the report takes it first.
    const HWND hwndFocus = ::GetFocus();
    if (hwndFocus == m_btnStart.m_hWnd || hwndFocus == m_btnDetails.m_hWnd || hwndFocus == m_btnSave.m_hWnd)
    {
        GotoDlgCtl(m_richLog);
        m_bFocusLentToReport = TRUE;
    }
    m_richLog.SetWindowText("");
    m_btnDetails.EnableWindow(FALSE);
    m_btnSave.EnableWindow(FALSE);
    // A run in progress goes on writing into the emptied report.
    if (m_hWorkerThread == nullptr)
    {
        DWORD dwThreadId;
        const HANDLE hThread = g_SystemCalls.CreateThread(nullptr, 0, CheckThreadProc, this, 0, &dwThreadId);
        if (hThread == nullptr)
            return;
        m_hWorkerThread = hThread;
        m_bReportEmptiedDuringRun = FALSE;
        BeginRunPainting();
    }
    else
    {
        m_bReportEmptiedDuringRun = TRUE;
    }
    m_btnStart.EnableWindow(FALSE);
}

// button: "Details >>" / "<< Simple"
void CUsbInstallationTestDlg::OnDetails()
{
    CString caption;
    m_btnDetails.GetWindowText(caption);
    if (caption == kDetailsCaption)
    {
        m_bDetailed.store(TRUE);
        m_btnDetails.SetWindowText(kSimpleCaption);
    }
    else
    {
        m_bDetailed.store(FALSE);
        m_btnDetails.SetWindowText(kDetailsCaption);
    }
    OnStart();
}

void CUsbInstallationTestDlg::HandOverRun(BOOL bSucceeded)
{
    // Synchronous, like every report write: the run is in progress until the
    // window thread has taken it back, and a closing dialog waits for it.
    g_SystemCalls.SendMessageA(m_hWnd, WM_APP_RUN_ENDED, bSucceeded, 0);
}

// The end of a run, in one step on the window thread: no click can come
// between the run's end and Start being handed back, so the buttons follow
// the run actually in progress.
LRESULT CUsbInstallationTestDlg::OnRunEnded(WPARAM wParam, LPARAM /*lParam*/)
{
    ++m_nRunsEnded;
    m_bLastRunSucceeded = wParam != 0 ? TRUE : FALSE;
    // A closing dialog has taken the handle already and waits for the thread.
    if (m_hWorkerThread != nullptr)
    {
        ::CloseHandle(m_hWorkerThread);
        m_hWorkerThread = nullptr;
    }
    if (m_bClosing)
        return 0;
    EndRunPainting();
    m_btnStart.EnableWindow(TRUE);
    // A click after the run's last line (Details, to switch the view) emptied
    // the report, and no run would write it again: that run starts now.
    if (m_bReportEmptiedDuringRun && m_richLog.GetWindowTextLength() == 0)
        OnStart();
    m_bReportEmptiedDuringRun = FALSE;
    if (m_hWorkerThread == nullptr)
        GiveFocusToStart();
    return 0;
}

// Start takes the focus back from the report that held it for the run, or
// when no control has it; a focus that the user put elsewhere meanwhile
// stays. A dialog that is not active takes it when it is activated again.
void CUsbInstallationTestDlg::GiveFocusToStart()
{
    if (::GetActiveWindow() != m_hWnd)
        return;
    const HWND hwndFocus = ::GetFocus();
    const BOOL bLent = m_bFocusLentToReport && hwndFocus == m_richLog.m_hWnd;
    m_bFocusLentToReport = FALSE;
    if (bLent || hwndFocus == nullptr)
        GotoDlgCtl(m_btnStart);
}

void CUsbInstallationTestDlg::OnActivate(UINT nState, BOOL bMinimized)
{
    // The dialog manager keeps the focus of a dialog that is left and gives
    // it back on return; a report that only held it for a run hands it to Start.
    if (nState == WA_INACTIVE && ::GetFocus() != m_richLog.m_hWnd)
        m_bFocusLentToReport = FALSE;
    if (nState != WA_INACTIVE && !bMinimized && m_bFocusLentToReport && m_hWorkerThread == nullptr && !m_bClosing)
    {
        m_bFocusLentToReport = FALSE;
        GotoDlgCtl(m_btnStart);
        return;
    }
    Default();
}

void CUsbInstallationTestDlg::OnDestroy()
{
    m_bClosing = TRUE;
    // A run is cancelled and waited for even without a cancel event: the
    // destructor unloads the driver library the run may be in. Its end-of-run
    // record is served during the wait and finds the handle taken.
    const HANDLE hThread = m_hWorkerThread;
    m_hWorkerThread = nullptr;
    if (hThread != nullptr)
    {
        m_bCancel.store(TRUE);
        if (m_hCancelEvent != nullptr)
            g_SystemCalls.SetEvent(m_hCancelEvent);
        WaitServingSentMessages(hThread);
        ::CloseHandle(hThread);
    }
    EndRunPainting();
    CDialog::OnDestroy();
}

// The report.

void CUsbInstallationTestDlg::WriteLog(LPCSTR pszText, UINT nKind)
{
    // From the check thread the whole write is one step on the window thread.
    // Between separate messages the window thread serves the user and the
    // dialog manager: a selection made there (a drag in the report, or the
    // select-all of a focus restored on activation) was replaced by the line.
    if (::GetWindowThreadProcessId(m_hWnd, nullptr) != ::GetCurrentThreadId())
    {
        SendMessage(WM_APP_WRITE_LOG, nKind, reinterpret_cast<LPARAM>(pszText));
        return;
    }
    AppendReportLine(m_richLog, pszText, nKind, m_bDetailed.load());
    if (m_richLog.GetWindowTextLength() > 0)
    {
        m_btnDetails.EnableWindow(TRUE);
        m_btnSave.EnableWindow(TRUE);
    }
}

LRESULT CUsbInstallationTestDlg::OnWriteLog(WPARAM wParam, LPARAM lParam)
{
    WriteLog(reinterpret_cast<LPCSTR>(lParam), static_cast<UINT>(wParam));
    return 0;
}

void CUsbInstallationTestDlg::BeginRunPainting()
{
    m_reportPainting.Begin(m_hWnd, m_richLog.m_hWnd);
}

void CUsbInstallationTestDlg::EndRunPainting()
{
    m_reportPainting.End();
}

void CUsbInstallationTestDlg::OnTimer(UINT_PTR nIDEvent)
{
    m_reportPainting.OnTimer(nIDEvent);
}

// button: "Save Informations"
void CUsbInstallationTestDlg::OnSave()
{
    SaveReportAsChosen(m_richLog);
}

// The checks, with the state the dialog holds.

CString CUsbInstallationTestDlg::GetOsVersionText()
{
    return ::GetOsVersionText();
}

DWORD CUsbInstallationTestDlg::CheckCommonRegistry(UINT nIndex)
{
    return ::CheckCommonRegistry(*this, nIndex);
}

DWORD CUsbInstallationTestDlg::CheckDeviceRegistry(UINT nIndex)
{
    return ::CheckDeviceRegistry(*this, nIndex);
}

DWORD CUsbInstallationTestDlg::LoadDriverLibrary(LPCSTR pszName)
{
    return ::LoadDriverLibrary(*this, pszName, m_hDriverLib, m_DriverEntryPoints);
}

int CUsbInstallationTestDlg::FreeDriverLibrary()
{
    return ::FreeDriverLibrary(*this, m_hDriverLib);
}

CString CUsbInstallationTestDlg::GetStatusText(FT_STATUS status)
{
    return ::GetStatusText(status);
}

// Made for each call: it reads the members as they are then.
CDeviceCommunication CUsbInstallationTestDlg::DeviceCommunication()
{
    return CDeviceCommunication(*this, m_DriverEntryPoints, m_hRxEvent, m_hCancelEvent, m_bCancel, m_nDevices);
}

int CUsbInstallationTestDlg::SearchDevices()
{
    return DeviceCommunication().SearchDevices();
}

DWORD CUsbInstallationTestDlg::CheckCommunication()
{
    return DeviceCommunication().CheckCommunication();
}

FT_STATUS CUsbInstallationTestDlg::ReceiveResponse(FT_HANDLE hDevice, CString& response)
{
    return DeviceCommunication().ReceiveResponse(hDevice, response);
}

DWORD WINAPI CheckThreadProc(LPVOID pParam)
{
    CObject* pObject = static_cast<CObject*>(pParam);
    if (pObject == nullptr || !pObject->IsKindOf(RUNTIME_CLASS(CUsbInstallationTestDlg)))
        return ERROR_INVALID_PARAMETER;
    CUsbInstallationTestDlg& dlg = *static_cast<CUsbInstallationTestDlg*>(pObject);
    return RunChecks(dlg, dlg, dlg.m_bCancel);
}
