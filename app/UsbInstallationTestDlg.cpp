#include "app/UsbInstallationTestDlg.h"

#include "app/SaveReport.h"
#include "report/ReportLog.h"
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
    ON_WM_TIMER()
    ON_WM_SETTINGCHANGE()
    ON_WM_SYSCOLORCHANGE()
END_MESSAGE_MAP()

namespace
{
const char kDetailsCaption[] = "Details >>";
const char kSimpleCaption[] = "<< Simple";
} // namespace

// A session's end during Exit's wait for the run waits too.
CUsbInstallationTestDlg::CUsbInstallationTestDlg()
    : CDialog(IDD_USBINSTALLATIONTEST_DIALOG, nullptr),
      CRunWindow(TRUE),
      // LoadIcon gives the size of SM_CXICON, shared; the small one is the
      // dialog's own.
      m_hIcon(::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME))),
      m_hSmallIcon(static_cast<HICON>(::LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                                   ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                   LR_DEFAULTCOLOR)))
{
}

// The window, and with it the report that used the font, is gone by now.
CUsbInstallationTestDlg::~CUsbInstallationTestDlg()
{
    if (m_hSmallIcon != nullptr)
        ::DestroyIcon(m_hSmallIcon);
    if (m_hReportFont != nullptr)
        ::DeleteObject(m_hReportFont);
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
    if (IsClosing() || IsInGivenUpCall())
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
    if (!IsRunning())
    {
        if (!StartRun())
            return;
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
    m_bDetailed = caption == kDetailsCaption;
    m_btnDetails.SetWindowText(m_bDetailed ? kSimpleCaption : kDetailsCaption);
    OnStart();
}

// The end of a run, in one step on the window thread: no click can come
// between the run's end and Start being handed back, so the buttons follow
// the run actually in progress. The outcome is the report's to show.
void CUsbInstallationTestDlg::OnRunEnded(RunOutcome /*outcome*/)
{
    // A closing dialog waits for the thread itself.
    if (IsClosing())
        return;
    EndRunPainting();
    // The thread of a run given up on is still in the driver: Start waits for
    // its end (OnRunThreadEnded), and so does Details, which would empty the
    // report for a run that cannot start.
    if (IsInGivenUpCall())
    {
        m_btnDetails.EnableWindow(FALSE);
        return;
    }
    m_btnStart.EnableWindow(TRUE);
    // A click after the run's last line (Details, to switch the view) emptied
    // the report, and no run would write it again: that run starts now.
    if (m_bReportEmptiedDuringRun && m_richLog.GetWindowTextLength() == 0)
        OnStart();
    m_bReportEmptiedDuringRun = FALSE;
    if (!IsRunning())
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
    if (nState != WA_INACTIVE && !bMinimized && m_bFocusLentToReport && !IsRunning() && !IsInGivenUpCall() &&
        !IsClosing())
    {
        m_bFocusLentToReport = FALSE;
        GotoDlgCtl(m_btnStart);
        return;
    }
    Default();
}

// Exit, Escape and the close box: no run starts from now on, and a run in
// progress is cancelled and waited for.
void CUsbInstallationTestDlg::OnDestroy()
{
    CancelRunAndWait();
    EndRunPainting();
    CDialog::OnDestroy();
}

// The dialog ends as Exit ends it; the run is then cancelled and waited for.
void CUsbInstallationTestDlg::OnEndSession()
{
    OnCancel();
}

// A run given up on has ended; its thread, once its call has returned and it
// has ended, hands Start back.
void CUsbInstallationTestDlg::OnRunThreadEnded()
{
    m_btnStart.EnableWindow(TRUE);
    m_btnDetails.EnableWindow(TRUE);
    GiveFocusToStart();
}

// The run's messages go to the run's plumbing, all others to the message table.
BOOL CUsbInstallationTestDlg::OnWndMsg(UINT nMessage, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    return OnRunMessage(nMessage, wParam, lParam, pResult) || CDialog::OnWndMsg(nMessage, wParam, lParam, pResult);
}

// The report.

void CUsbInstallationTestDlg::OnWriteLog(LPCSTR pszText, UINT nKind)
{
    AppendReportLine(m_richLog, pszText, nKind, m_bDetailed);
    if (m_richLog.GetWindowTextLength() > 0)
    {
        m_btnDetails.EnableWindow(TRUE);
        m_btnSave.EnableWindow(TRUE);
    }
}

void CUsbInstallationTestDlg::BeginRunPainting()
{
    m_reportPainting.Begin();
}

void CUsbInstallationTestDlg::EndRunPainting()
{
    m_reportPainting.End();
}

void CUsbInstallationTestDlg::OnTimer(UINT_PTR nIDEvent)
{
    m_reportPainting.OnTimer(nIDEvent);
}

// A high-contrast theme switched on or off, also during a run: the report
// follows it.
void CUsbInstallationTestDlg::OnSettingChange(UINT /*nFlags*/, LPCSTR /*pszSection*/)
{
    m_reportPainting.FollowTheme();
}

void CUsbInstallationTestDlg::OnSysColorChange()
{
    m_reportPainting.FollowTheme();
}

// button: "Save Informations"
void CUsbInstallationTestDlg::OnSave()
{
    SaveReportAsChosen(m_richLog, m_hWnd);
}
