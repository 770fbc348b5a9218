#include "app/UsbInstallationTestDlg.h"

#include "report/ReportLog.h"
#include "report/SaveReport.h"
#include "res/resource.h"

IMPLEMENT_DYNAMIC(CUsbInstallationTestDlg, CDialog)

BEGIN_MESSAGE_MAP(CUsbInstallationTestDlg, CDialog)
    ON_WM_DESTROY()
    ON_WM_QUERYENDSESSION()
    ON_WM_ENDSESSION()
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
// While a run's thread lives, its driver call is looked at this often, by a
// timer of the window (the report's repaint timer is 1) or by a closing wait.
const UINT_PTR kRunWatchTimer = 2;
const DWORD kRunWatchIntervalMs = 250;
} // namespace

CUsbInstallationTestDlg::CUsbInstallationTestDlg()
    : CDialog(IDD_USBINSTALLATIONTEST_DIALOG, nullptr),
      m_hIcon(::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME)))
{
}

// A thread still in a driver call that was given up on (the process is
// ending) keeps the run, with its library and the events the driver may
// still signal.
CUsbInstallationTestDlg::~CUsbInstallationTestDlg()
{
    if (m_hWorkerThread != nullptr)
        ::CloseHandle(m_hWorkerThread);
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
    // would otherwise start a thread on a dialog about to be freed. A run
    // given up on is still in the driver, whose library a run would load.
    if (m_bClosing || m_bRunGivenUp)
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
        ::SetTimer(m_hWnd, kRunWatchTimer, kRunWatchIntervalMs, nullptr);
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
    m_bDetailed = caption == kDetailsCaption;
    m_btnDetails.SetWindowText(m_bDetailed ? kSimpleCaption : kDetailsCaption);
    OnStart();
}

// The check thread's hand-over: the outcome is the report's to show.
LRESULT CUsbInstallationTestDlg::OnRunEnded(WPARAM /*wParam*/, LPARAM /*lParam*/)
{
    RunEnded();
    return 0;
}

// The end of a run, in one step on the window thread: no click can come
// between the run's end and Start being handed back, so the buttons follow
// the run actually in progress.
void CUsbInstallationTestDlg::RunEnded()
{
    // A closing dialog waits for the thread itself.
    if (m_bClosing)
        return;
    EndRunPainting();
    // The thread of a run given up on is still in the driver: Start waits for
    // its end (WatchRun), and so does Details, which would empty the report
    // for a run that cannot start.
    if (m_bRunGivenUp)
    {
        m_btnDetails.EnableWindow(FALSE);
        return;
    }
    ::KillTimer(m_hWnd, kRunWatchTimer);
    if (m_hWorkerThread != nullptr)
    {
        ::CloseHandle(m_hWorkerThread);
        m_hWorkerThread = nullptr;
    }
    m_btnStart.EnableWindow(TRUE);
    // A click after the run's last line (Details, to switch the view) emptied
    // the report, and no run would write it again: that run starts now.
    if (m_bReportEmptiedDuringRun && m_richLog.GetWindowTextLength() == 0)
        OnStart();
    m_bReportEmptiedDuringRun = FALSE;
    if (m_hWorkerThread == nullptr)
        GiveFocusToStart();
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
    CancelRunAndWait();
    CDialog::OnDestroy();
}

// The closing of Exit, Escape and the close box, and of the end of the
// session: no run starts from now on, and a run in progress is cancelled and
// waited for. Once done, a second call finds nothing to do.
void CUsbInstallationTestDlg::CancelRunAndWait()
{
    m_bClosing = TRUE;
    // A run is cancelled and waited for even without a cancel event: the
    // process may end, and unload the driver library the run is in, once the
    // dialog has gone. Its hand-over is served during the wait.
    if (m_hWorkerThread != nullptr)
    {
        m_pRun->Cancel();
        WaitForRunEnd();
        // A thread still in a driver call that was given up on keeps its
        // handle: the destructor must see that the call is out.
        if (!m_bRunGivenUp)
        {
            ::CloseHandle(m_hWorkerThread);
            m_hWorkerThread = nullptr;
        }
    }
    ::KillTimer(m_hWnd, kRunWatchTimer);
    EndRunPainting();
}

// Log-off, shutdown, or an installer's restart (Restart Manager's
// ENDSESSION_CLOSEAPP comes the same way) is never held up.
BOOL CUsbInstallationTestDlg::OnQueryEndSession()
{
    return TRUE;
}

// Windows may end the process as soon as this returns, without WM_DESTROY:
// the dialog ends as Exit ends it, and the run is cancelled, waited for and
// its driver library freed here. The process then ends by itself.
void CUsbInstallationTestDlg::OnEndSession(BOOL bEnding)
{
    if (!bEnding)
        return;
    OnCancel();
    CancelRunAndWait();
}

// Waits for the run's thread to end while carrying out its report writes. A
// driver call that has been out kDriverCallBoundMs is given up, and the wait
// with it.
void CUsbInstallationTestDlg::WaitForRunEnd()
{
    if (m_bRunGivenUp)
        return;
    WaitForThreadServingSentMessages(m_hWorkerThread, kRunWatchIntervalMs, [this] {
        GiveUpStuckCall();
        return m_bRunGivenUp;
    });
}

// Every kRunWatchIntervalMs while a run's thread lives. A driver call out too
// long is given up; the thread of a run given up on, once its call has
// returned and it has ended, hands Start back.
void CUsbInstallationTestDlg::WatchRun()
{
    if (!m_bRunGivenUp)
    {
        GiveUpStuckCall();
        return;
    }
    if (::WaitForSingleObject(m_hWorkerThread, 0) != WAIT_OBJECT_0)
        return;
    ::KillTimer(m_hWnd, kRunWatchTimer);
    ::CloseHandle(m_hWorkerThread);
    m_hWorkerThread = nullptr;
    m_bRunGivenUp = FALSE;
    m_btnStart.EnableWindow(TRUE);
    m_btnDetails.EnableWindow(TRUE);
    GiveFocusToStart();
}

// The run's driver call, if it has been out kDriverCallBoundMs, is given up:
// the report gets the error naming it and the run's end, written here on the
// window thread, and the run counts as ended. Its thread, should the call
// return, writes nothing more.
void CUsbInstallationTestDlg::GiveUpStuckCall()
{
    if (!m_pRun->GiveUpStuckCall(*this))
        return;
    m_bRunGivenUp = TRUE;
    RunEnded();
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
    AppendReportLine(m_richLog, pszText, nKind, m_bDetailed);
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
    if (nIDEvent == kRunWatchTimer)
        WatchRun();
    else
        m_reportPainting.OnTimer(nIDEvent);
}

// button: "Save Informations"
void CUsbInstallationTestDlg::OnSave()
{
    SaveReportAsChosen(m_richLog, m_hWnd);
}

DWORD WINAPI CheckThreadProc(LPVOID pParam)
{
    CObject* pObject = static_cast<CObject*>(pParam);
    if (pObject == nullptr || !pObject->IsKindOf(RUNTIME_CLASS(CUsbInstallationTestDlg)))
        return ERROR_INVALID_PARAMETER;
    CUsbInstallationTestDlg& dlg = *static_cast<CUsbInstallationTestDlg*>(pObject);
    const std::shared_ptr<CCheckRun> pRun = dlg.m_pRun;
    const RunOutcome outcome = pRun->Run(dlg);
    // The window thread has written the run's end, and the dialog may be
    // gone: nothing of it is touched.
    if (outcome == RUN_GIVEN_UP)
        return outcome;
    // Synchronous, like every report write: the run is in progress until the
    // window thread has taken it back, and a closing dialog waits for it.
    g_SystemCalls.SendMessageA(dlg.m_hWnd, WM_APP_RUN_ENDED, outcome, 0);
    return outcome;
}
