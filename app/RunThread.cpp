#include "app/RunThread.h"

#include "framework/SystemCalls.h"
#include "framework/ThreadWait.h"

IMPLEMENT_DYNAMIC(CRunThread, CObject)

namespace
{
// While a run's thread lives, its driver call is looked at this often, by the
// owner's timer or by a closing wait.
const DWORD kRunWatchIntervalMs = 250;
} // namespace

CRunThread::~CRunThread()
{
    if (m_hThread == nullptr)
        return;
    if (!m_bGivenUp)
        ::WaitForSingleObject(m_hThread, INFINITE);
    ::CloseHandle(m_hThread);
}

BOOL CRunThread::Start(HWND hwndOwner, CReportWriter& report)
{
    m_hwndOwner = hwndOwner;
    m_pReport = &report;
    DWORD dwThreadId;
    const HANDLE hThread =
        g_SystemCalls.CreateThread(nullptr, 0, CheckThreadProc, static_cast<CObject*>(this), 0, &dwThreadId);
    if (hThread == nullptr)
        return FALSE;
    // The last run's thread has handed its run back and only leaves; it may
    // still be in its hand-over, if this run starts from there.
    if (m_hThread != nullptr)
        ::CloseHandle(m_hThread);
    m_hThread = hThread;
    m_bRunning = TRUE;
    ::SetTimer(m_hwndOwner, TIMER_RUN_WATCH, kRunWatchIntervalMs, nullptr);
    return TRUE;
}

RunOutcome CRunThread::TakeBack(WPARAM wParam)
{
    m_bRunning = FALSE;
    ::KillTimer(m_hwndOwner, TIMER_RUN_WATCH);
    return static_cast<RunOutcome>(wParam);
}

// A driver call out too long is given up; the thread of a run given up on is
// watched until its call has returned and it has ended.
RunWatch CRunThread::Watch()
{
    if (GiveUpStuckCall())
        return RUN_WATCH_GAVE_UP;
    if (!m_bGivenUp || ::WaitForSingleObject(m_hThread, 0) != WAIT_OBJECT_0)
        return RUN_WATCH_NOTHING;
    m_bGivenUp = FALSE;
    ::KillTimer(m_hwndOwner, TIMER_RUN_WATCH);
    return RUN_WATCH_THREAD_ENDED;
}

// A run is cancelled and waited for even without a cancel event: the process
// may end, and unload the driver library the run is in, once its owner has
// gone. Its hand-over is served during the wait.
void CRunThread::CancelAndWait()
{
    if (m_hThread == nullptr)
        return;
    if (m_bRunning)
    {
        m_pRun->Cancel();
        WaitForThreadServingSentMessages(m_hThread, kRunWatchIntervalMs, [this] { return GiveUpStuckCall(); });
    }
    ::KillTimer(m_hwndOwner, TIMER_RUN_WATCH);
}

// The run's driver call, if it has been out kDriverCallBoundMs, is given up:
// the report gets the error naming it and the run's end, written here on the
// window thread, and the run counts as ended. Its thread, should the call
// return, writes nothing more.
BOOL CRunThread::GiveUpStuckCall()
{
    if (!m_bRunning || !m_pRun->GiveUpStuckCall(*m_pReport))
        return FALSE;
    m_bRunning = FALSE;
    m_bGivenUp = TRUE;
    return TRUE;
}

DWORD WINAPI CheckThreadProc(LPVOID pParam)
{
    CObject* pObject = static_cast<CObject*>(pParam);
    if (pObject == nullptr || !pObject->IsKindOf(RUNTIME_CLASS(CRunThread)))
        return ERROR_INVALID_PARAMETER;
    const CRunThread& thread = *static_cast<CRunThread*>(pObject);
    const std::shared_ptr<CCheckRun> pRun = thread.m_pRun;
    const HWND hwndOwner = thread.m_hwndOwner;
    const RunOutcome outcome = pRun->Run(*thread.m_pReport);
    // The window thread has written the run's end, and the owner may be
    // gone: nothing of it is touched.
    if (outcome == RUN_GIVEN_UP)
        return outcome;
    // Synchronous, like every report write: the run is in progress until the
    // window thread has taken it back, and a closing owner waits for it.
    g_SystemCalls.SendMessageA(hwndOwner, WM_APP_RUN_ENDED, outcome, 0);
    return outcome;
}

void CRunWindow::WriteLogOnWindowThread(LPCSTR pszText, UINT nKind)
{
    // From the run's thread the whole write is one step on the window's
    // thread. Between separate messages that thread serves the user and the
    // dialog manager: a selection made there (a drag in the report, or the
    // select-all of a focus restored on activation) was replaced by the line.
    const HWND hwnd = WindowHandle();
    if (::GetWindowThreadProcessId(hwnd, nullptr) == ::GetCurrentThreadId())
        OnWriteLog(pszText, nKind);
    else
        ::SendMessageA(hwnd, WM_APP_WRITE_LOG, nKind, reinterpret_cast<LPARAM>(pszText));
}

BOOL CRunWindow::OnRunMessage(UINT nMessage, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    *pResult = 0;
    switch (nMessage)
    {
    case WM_APP_WRITE_LOG:
        OnWriteLog(reinterpret_cast<LPCSTR>(lParam), static_cast<UINT>(wParam));
        return TRUE;
    case WM_APP_RUN_ENDED:
        OnRunEnded(m_runThread.TakeBack(wParam));
        return TRUE;
    // A driver call out kDriverCallBoundMs ends the run; its thread, once the
    // call has returned and it has ended, no longer holds the driver.
    case WM_TIMER:
        if (wParam != TIMER_RUN_WATCH)
            return FALSE;
        switch (m_runThread.Watch())
        {
        case RUN_WATCH_GAVE_UP:
            OnRunEnded(RUN_GIVEN_UP);
            break;
        case RUN_WATCH_THREAD_ENDED:
            OnRunThreadEnded();
            break;
        default:
            break;
        }
        return TRUE;
    // Log-off, shutdown, or an installer's restart (Restart Manager's
    // ENDSESSION_CLOSEAPP comes the same way) is never held up.
    case WM_QUERYENDSESSION:
        *pResult = TRUE;
        return TRUE;
    // Windows may end the process as soon as this returns, without
    // WM_DESTROY: the run is cancelled, waited for and its driver library
    // freed here.
    case WM_ENDSESSION:
        if (wParam != FALSE)
        {
            OnEndSession();
            CancelRunAndWait();
        }
        return TRUE;
    default:
        return FALSE;
    }
}

// A close that comes during the wait (the session's end during Exit's, a
// second close of the report command's window) waits once more where the
// window asks for it, as the process may end once that close returns; else it
// finds the first close under way and returns at once.
void CRunWindow::CancelRunAndWait()
{
    if (m_bClosing && !m_bNestedCloseWaits)
        return;
    m_bClosing = TRUE;
    m_runThread.CancelAndWait();
}
