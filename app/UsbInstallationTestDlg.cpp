#include "app/UsbInstallationTestDlg.h"

#include "res/resource.h"

IMPLEMENT_DYNAMIC(CUsbInstallationTestDlg, CDialog)

BEGIN_MESSAGE_MAP(CUsbInstallationTestDlg, CDialog)
    ON_WM_DESTROY()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_SIZE()
    ON_BN_CLICKED(IDC_BUTTON_START, &CUsbInstallationTestDlg::OnStart)
    ON_BN_CLICKED(IDC_BUTTON_DETAILS, &CUsbInstallationTestDlg::OnDetails)
    ON_BN_CLICKED(IDC_BUTTON_SAVE, &CUsbInstallationTestDlg::OnSave)
    ON_MESSAGE(WM_APP_RUN_ENDED, &CUsbInstallationTestDlg::OnRunEnded)
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
      m_hCancelEvent(g_SystemCalls.CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_hRxEvent(g_SystemCalls.CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_bDetailed(FALSE),
      m_hDriverLib(nullptr),
      m_nDevices(0),
      DriverEntryPoints(),
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
    m_richLog.SetWindowText("");
    m_btnDetails.EnableWindow(FALSE);
    m_btnSave.EnableWindow(FALSE);
    // A run in progress goes on writing into the emptied report.
    if (m_hWorkerThread.load() == nullptr)
    {
        DWORD dwThreadId;
        const HANDLE hThread = g_SystemCalls.CreateThread(nullptr, 0, CheckThreadProc, this, 0, &dwThreadId);
        if (hThread == nullptr)
            return;
        m_hWorkerThread.store(hThread);
        BeginRunPainting();
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

// The end-of-run record hands over the finished thread's handle.
LRESULT CUsbInstallationTestDlg::OnRunEnded(WPARAM wParam, LPARAM /*lParam*/)
{
    ::CloseHandle(reinterpret_cast<HANDLE>(wParam));
    // A run started since keeps the paced painting.
    if (m_hWorkerThread.load() == nullptr)
        EndRunPainting();
    return 0;
}

void CUsbInstallationTestDlg::OnDestroy()
{
    // Taken with the same exchange as the end-of-run record's, so the handle is
    // closed exactly once. A run is cancelled and waited for even without a
    // cancel event: the destructor unloads the driver library the run may be in.
    const HANDLE hThread = m_hWorkerThread.exchange(nullptr);
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
